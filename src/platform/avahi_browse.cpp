#include "platform/avahi_browse.h"

#include "platform/log.h"

#include <avahi-common/address.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

#include <net/if.h>

namespace vesker::platform {

namespace {

// The address to connect to, with the interface a link-local IPv6 address only means
// something on.
QString addressText(const AvahiAddress& address, AvahiIfIndex interface)
{
    char text[AVAHI_ADDRESS_STR_MAX] = {};
    avahi_address_snprint(text, sizeof text, &address);
    QString result = QString::fromLatin1(text);
    const bool linkLocal = address.proto == AVAHI_PROTO_INET6
        && address.data.ipv6.address[0] == 0xfe && (address.data.ipv6.address[1] & 0xc0) == 0x80;
    char name[IF_NAMESIZE] = {};
    if (linkLocal && interface >= 0 && if_indextoname(unsigned(interface), name))
        result += u'%' + QString::fromLatin1(name);
    return result;
}

// Lower is better: IPv4 works everywhere, a link-local IPv6 address only with its scope.
int rank(const DnsSdFound& found)
{
    if (!found.address.contains(u':'))
        return 0;
    return found.address.contains(u'%') ? 2 : 1;
}

QMap<QString, QString> txtMap(AvahiStringList* list)
{
    QMap<QString, QString> txt;
    for (; list; list = avahi_string_list_get_next(list)) {
        char* key = nullptr;
        char* value = nullptr;
        size_t size = 0;
        if (avahi_string_list_get_pair(list, &key, &value, &size) == 0) {
            txt.insert(QString::fromUtf8(key),
                value ? QString::fromUtf8(value, qsizetype(size)) : QString());
            avahi_free(key);
            avahi_free(value);
        }
    }
    return txt;
}

} // namespace

AvahiBrowse::AvahiBrowse(QString type)
    : m_type(type.toUtf8())
{ }

void AvahiBrowse::clientStateChanged(AvahiClientState state)
{
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
    case AVAHI_CLIENT_S_REGISTERING:
    case AVAHI_CLIENT_S_COLLISION:
        // Browsing does not need this host's own name settled.
        startBrowsing();
        break;
    case AVAHI_CLIENT_CONNECTING:
        forgetAll(true);
        Q_EMIT waiting(QStringLiteral("avahi-daemon is not running"));
        break;
    case AVAHI_CLIENT_FAILURE:
        break;
    }
}

void AvahiBrowse::clientFailed(const QString& reason)
{
    forgetAll(true);
    Q_EMIT failed(reason);
}

void AvahiBrowse::startBrowsing()
{
    if (m_browser)
        return;
    m_browser = avahi_service_browser_new(client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
        m_type.constData(), nullptr, AvahiLookupFlags(0), onBrowse, this);
    if (!m_browser) {
        const QString reason = QStringLiteral("avahi-daemon refused to browse (%1)")
                                   .arg(avahiError(avahi_client_errno(client())));
        forgetAll(true);
        Q_EMIT failed(reason);
        restartLater();
        return;
    }
    resetBackoff();
    Q_EMIT browsing();
}

void AvahiBrowse::forgetAll(bool freeBrowser)
{
    // The client frees what is left when it goes, but a resolver could still call back into an
    // instance forgotten here before that.
    if (client()) {
        for (auto& [key, instance] : m_instances)
            avahi_service_resolver_free(instance->resolver);
        if (m_browser && freeBrowser)
            avahi_service_browser_free(m_browser);
    }
    m_browser = nullptr;
    m_instances.clear();
    for (const QString& name : m_reported.keys())
        Q_EMIT removed(name);
    m_reported.clear();
}

void AvahiBrowse::addInstance(const Key& key)
{
    if (m_instances.count(key))
        return;
    auto instance = std::make_unique<Instance>(Instance {this, key});
    const QByteArray name = std::get<0>(key).toUtf8();
    // Kept while the instance lives: it reports again when the record changes.
    instance->resolver = avahi_service_resolver_new(client(), std::get<1>(key), std::get<2>(key),
        name.constData(), m_type.constData(), nullptr, AVAHI_PROTO_UNSPEC, AvahiLookupFlags(0),
        onResolve, instance.get());
    if (!instance->resolver) {
        qCWarning(lcDnsSd).noquote()
            << QStringLiteral("[bonjour] cannot resolve \"%1\" (%2)")
                   .arg(std::get<0>(key), avahiError(avahi_client_errno(client())));
        return;
    }
    m_instances.emplace(key, std::move(instance));
}

void AvahiBrowse::removeInstance(const Key& key)
{
    const auto it = m_instances.find(key);
    if (it == m_instances.end())
        return;
    avahi_service_resolver_free(it->second->resolver);
    m_instances.erase(it);
    publishName(std::get<0>(key));
}

void AvahiBrowse::resolved(Instance& instance, DnsSdFound found)
{
    instance.found = std::move(found);
    publishName(std::get<0>(instance.key));
}

void AvahiBrowse::publishName(const QString& name)
{
    const DnsSdFound* best = nullptr;
    for (const auto& [key, instance] : m_instances) {
        if (std::get<0>(key) == name && instance->found
            && (!best || rank(*instance->found) < rank(*best)))
            best = &*instance->found;
    }
    if (!best) {
        if (m_reported.remove(name))
            Q_EMIT removed(name);
        return;
    }
    const auto known = m_reported.constFind(name);
    if (known != m_reported.cend() && *known == *best)
        return;
    m_reported.insert(name, *best);
    Q_EMIT found(*best);
}

void AvahiBrowse::onBrowse(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
    AvahiBrowserEvent event, const char* name, const char*, const char*, AvahiLookupResultFlags,
    void* userdata)
{
    auto* self = static_cast<AvahiBrowse*>(userdata);
    switch (event) {
    case AVAHI_BROWSER_NEW:
        self->addInstance({QString::fromUtf8(name), interface, protocol});
        break;
    case AVAHI_BROWSER_REMOVE:
        self->removeInstance({QString::fromUtf8(name), interface, protocol});
        break;
    case AVAHI_BROWSER_FAILURE: {
        const QString reason = QStringLiteral("browsing failed (%1)")
                                   .arg(avahiError(avahi_client_errno(self->client())));
        // Not freed inside its own callback: it goes with the client, which the session makes
        // anew.
        self->forgetAll(false);
        Q_EMIT self->failed(reason);
        self->restartLater();
        break;
    }
    case AVAHI_BROWSER_CACHE_EXHAUSTED:
    case AVAHI_BROWSER_ALL_FOR_NOW:
        break;
    }
}

void AvahiBrowse::onResolve(AvahiServiceResolver*, AvahiIfIndex interface, AvahiProtocol,
    AvahiResolverEvent event, const char* name, const char*, const char*, const char* hostName,
    const AvahiAddress* address, uint16_t port, AvahiStringList* txt, AvahiLookupResultFlags,
    void* userdata)
{
    auto* instance = static_cast<Instance*>(userdata);
    if (event != AVAHI_RESOLVER_FOUND || !address) {
        // Announced but not answering (yet): not listed until it does.
        return;
    }
    instance->owner->resolved(*instance,
        {QString::fromUtf8(name), QString::fromUtf8(hostName), addressText(*address, interface),
            port, txtMap(txt)});
}

} // namespace vesker::platform
