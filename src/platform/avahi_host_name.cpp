#include "platform/avahi_host_name.h"

namespace vesker::platform {

void AvahiHostNameWatch::clientStateChanged(AvahiClientState state)
{
    if (state != AVAHI_CLIENT_S_RUNNING) {
        // Still claiming it, or renaming after a collision: not this host's name yet.
        setName({});
        return;
    }
    resetBackoff();
    const char* fqdn = avahi_client_get_host_name_fqdn(client());
    setName(fqdn ? QString::fromUtf8(fqdn) : QString());
}

void AvahiHostNameWatch::clientFailed(const QString& reason)
{
    Q_UNUSED(reason) // the publishers of the services say it in the log
    setName({});
}

void AvahiHostNameWatch::setName(const QString& name)
{
    if (name == m_name)
        return;
    m_name = name;
    Q_EMIT hostNameChanged(name);
}

} // namespace vesker::platform
