#include "platform/dns_sd.h"

#include "platform/avahi_host_name.h"
#include "platform/avahi_publication.h"

namespace vesker::platform {

DnsSdPublisher::DnsSdPublisher(DnsSdService service, QObject* parent)
    : QObject(parent)
    , m_service(std::move(service))
    , m_work(new AvahiPublication(m_service))
{
    // Connected before the work starts on the other thread, so no report is missed; queued to
    // this thread, so the owner has connected its slots before the first one arrives.
    connect(m_work, &AvahiPublication::nameChanged, this, [this](const QString& name) {
        m_registeredName = name;
        if (!name.isEmpty())
            Q_EMIT registered(name);
    });
    connect(m_work, &AvahiPublication::failed, this, &DnsSdPublisher::failed);
    m_work->start();
}

DnsSdPublisher::~DnsSdPublisher()
{
    // Freed on the DNS-SD thread, which tells the daemon; reports still on their way to this
    // object are dropped with it.
    m_work->deleteLater();
}

DnsSdHostName::DnsSdHostName(QObject* parent)
    : QObject(parent)
    , m_work(new AvahiHostNameWatch)
{
    connect(m_work, &AvahiHostNameWatch::hostNameChanged, this, [this](const QString& name) {
        m_hostName = name;
        Q_EMIT hostNameChanged(name);
    });
    m_work->start();
}

DnsSdHostName::~DnsSdHostName()
{
    m_work->deleteLater();
}

} // namespace vesker::platform
