#pragma once

#include "platform/avahi_qt_poll.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <map>
#include <memory>
#include <optional>

struct AvahiClient;
struct AvahiServiceBrowser;
struct AvahiServiceResolver;

namespace vesker::test {

// What a browsing peer learns of one service: its name, where it listens and its TXT record.
struct FoundService {
    QString name;
    quint16 port = 0;
    QString address;
    QMap<QString, QString> txt;
};

// Browses and resolves one service type through the Avahi client library, as a phone or
// another screen on the network would, and keeps the services that are there right now.
class AvahiFinder {
public:
    explicit AvahiFinder(const QString& type);
    ~AvahiFinder();
    AvahiFinder(const AvahiFinder&) = delete;
    AvahiFinder& operator=(const AvahiFinder&) = delete;

    // Empty once browsing runs; else why it does not.
    QString error() const { return m_error; }
    std::optional<FoundService> find(const QString& name) const;
    // Run the event loop until the service is resolved (or gone), at most timeoutMs.
    std::optional<FoundService> waitFor(const QString& name, int timeoutMs = 10000);
    bool waitUntilGone(const QString& name, int timeoutMs = 10000);

private:
    void forget(const QString& key);
    void browsed(int interface, int protocol, int event, const char* name, const char* type,
        const char* domain);

    platform::AvahiQtPoll m_poll;
    AvahiClient* m_client = nullptr;
    AvahiServiceBrowser* m_browser = nullptr;
    QString m_error;
    struct Entry {
        FoundService service;
        bool resolved = false;
        AvahiServiceResolver* resolver = nullptr;
    };
    // Keyed by interface and protocol too: one service is seen once on each.
    std::map<QString, std::unique_ptr<Entry>> m_found;
};

// Whether this test process may publish: only through the loopback-only avahi-daemon that
// scripts/with-test-services starts (it sets VESKER_TEST_SERVICES=1), never through the
// machine's own daemon, which would announce test services on every network it is on.
struct TestAvahi {
    bool ready = false;
    // Under the test services a missing daemon is a fault of the run, not a reason to skip.
    bool mustFail = false;
    QString message;
};
TestAvahi testAvahi();

} // namespace vesker::test

#define VESKER_REQUIRE_TEST_AVAHI()                                                                \
    do {                                                                                           \
        const ::vesker::test::TestAvahi avahi_ = ::vesker::test::testAvahi();                      \
        if (!avahi_.ready) {                                                                       \
            if (avahi_.mustFail)                                                                   \
                FAIL() << avahi_.message.toStdString();                                            \
            GTEST_SKIP() << avahi_.message.toStdString();                                          \
        }                                                                                          \
    } while (false)
