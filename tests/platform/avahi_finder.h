#pragma once

#include <QMap>
#include <QProcess>
#include <QString>

#include <optional>

namespace vesker::test {

// What a browsing peer learns of one service: where it listens and its TXT record.
struct FoundService {
    quint16 port = 0;
    QMap<QString, QString> txt;
};

// Browses and resolves one service type with avahi-browse, as a phone or another screen on the
// network would, and keeps the services that are there right now, by name.
class AvahiFinder {
public:
    explicit AvahiFinder(const QString& type);
    ~AvahiFinder();

    // Run the event loop until the service is resolved (or gone), at most timeoutMs.
    std::optional<FoundService> waitFor(const QString& name, int timeoutMs = 10000);
    bool waitUntilGone(const QString& name, int timeoutMs = 10000);

private:
    void read();

    QProcess m_browse;
    QMap<QString, FoundService> m_found;
};

} // namespace vesker::test

// Tests publish only through the loopback-only avahi-daemon that scripts/with-test-services
// starts, never through the machine's own, which would announce test services on every network
// it is on. Under the test services a missing service is a fault of the run, not a reason to
// skip.
#define VESKER_REQUIRE_TEST_SERVICES()                                                             \
    do {                                                                                           \
        if (qEnvironmentVariable("VESKER_TEST_SERVICES") != QLatin1String("1"))                    \
            GTEST_SKIP() << "needs the loopback-only avahi-daemon of scripts/with-test-services";  \
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS"))                       \
            << "the test services started no system bus";                                          \
    } while (false)
