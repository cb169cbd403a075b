#include "avahi_finder.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include <QTest>

namespace vesker::test {

namespace {

QString keyOf(int interface, int protocol, const QString& name)
{
    return QStringLiteral("%1/%2/%3").arg(interface).arg(protocol).arg(name);
}

} // namespace

AvahiFinder::AvahiFinder(const QString& type)
{
    int error = AVAHI_OK;
    m_client = avahi_client_new(m_poll.api(), AvahiClientFlags(0), nullptr, nullptr, &error);
    if (!m_client) {
        m_error = QString::fromUtf8(avahi_strerror(error));
        return;
    }
    const auto callback = [](AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                              AvahiBrowserEvent event, const char* name, const char* type,
                              const char* domain, AvahiLookupResultFlags, void* userdata) {
        static_cast<AvahiFinder*>(userdata)->browsed(
            interface, protocol, event, name, type, domain);
    };
    m_browser = avahi_service_browser_new(m_client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
        type.toUtf8().constData(), nullptr, AvahiLookupFlags(0), callback, this);
    if (!m_browser)
        m_error = QString::fromUtf8(avahi_strerror(avahi_client_errno(m_client)));
}

AvahiFinder::~AvahiFinder()
{
    // Frees the browser and any resolver still running.
    if (m_client)
        avahi_client_free(m_client);
}

void AvahiFinder::browsed(
    int interface, int protocol, int event, const char* name, const char* type, const char* domain)
{
    const QString key = keyOf(interface, protocol, QString::fromUtf8(name));
    if (event == AVAHI_BROWSER_REMOVE) {
        forget(key);
        return;
    }
    if (event != AVAHI_BROWSER_NEW)
        return;
    forget(key);
    auto entry = std::make_unique<Entry>();
    const auto resolved = [](AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol,
                              AvahiResolverEvent event, const char* name, const char*, const char*,
                              const char*, const AvahiAddress* address, uint16_t port,
                              AvahiStringList* txt, AvahiLookupResultFlags, void* userdata) {
        auto* entry = static_cast<Entry*>(userdata);
        if (event == AVAHI_RESOLVER_FOUND) {
            FoundService& found = entry->service;
            found.name = QString::fromUtf8(name);
            found.port = port;
            char text[AVAHI_ADDRESS_STR_MAX] = {};
            if (address)
                avahi_address_snprint(text, sizeof text, address);
            found.address = QString::fromLatin1(text);
            for (AvahiStringList* it = txt; it; it = avahi_string_list_get_next(it)) {
                char* key = nullptr;
                char* value = nullptr;
                if (avahi_string_list_get_pair(it, &key, &value, nullptr) == 0) {
                    found.txt.insert(QString::fromUtf8(key), QString::fromUtf8(value ? value : ""));
                    avahi_free(key);
                    avahi_free(value);
                }
            }
            entry->resolved = true;
        }
        entry->resolver = nullptr;
        avahi_service_resolver_free(resolver);
    };
    entry->resolver = avahi_service_resolver_new(m_client, interface, protocol, name, type, domain,
        AVAHI_PROTO_UNSPEC, AvahiLookupFlags(0), resolved, entry.get());
    m_found[key] = std::move(entry);
}

void AvahiFinder::forget(const QString& key)
{
    const auto it = m_found.find(key);
    if (it == m_found.end())
        return;
    if (it->second->resolver)
        avahi_service_resolver_free(it->second->resolver);
    m_found.erase(it);
}

std::optional<FoundService> AvahiFinder::find(const QString& name) const
{
    for (const auto& [key, entry] : m_found)
        if (entry->resolved && entry->service.name == name)
            return entry->service;
    return std::nullopt;
}

std::optional<FoundService> AvahiFinder::waitFor(const QString& name, int timeoutMs)
{
    (void)QTest::qWaitFor([&] { return find(name).has_value(); }, timeoutMs);
    return find(name);
}

bool AvahiFinder::waitUntilGone(const QString& name, int timeoutMs)
{
    return QTest::qWaitFor([&] { return !find(name).has_value(); }, timeoutMs);
}

TestAvahi testAvahi()
{
    if (qEnvironmentVariable("VESKER_TEST_SERVICES") != QLatin1String("1"))
        return {false, false,
            QStringLiteral(
                "needs the loopback-only avahi-daemon of the test services, which this run "
                "does not have (VESKER_TEST_SERVICES is not 1); tests never publish through "
                "the machine's own daemon. Run: scripts/with-test-services <this binary>")};
    const QString bus = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    if (bus.isEmpty())
        return {false, true,
            QStringLiteral("VESKER_TEST_SERVICES=1 but DBUS_SYSTEM_BUS_ADDRESS is not set: "
                           "the test services did not start their system bus")};
    platform::AvahiQtPoll poll;
    int error = AVAHI_OK;
    AvahiClient* client
        = avahi_client_new(poll.api(), AvahiClientFlags(0), nullptr, nullptr, &error);
    if (!client)
        return {false, true,
            QStringLiteral("VESKER_TEST_SERVICES=1 but there is no avahi-daemon on %1 (%2): "
                           "the test services did not start it")
                .arg(bus, QString::fromUtf8(avahi_strerror(error)))};
    avahi_client_free(client);
    return {true, false, {}};
}

} // namespace vesker::test
