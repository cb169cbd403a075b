#include "platform/dns_sd.h"
#include "send/screen_browser.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

using namespace vesker;
using platform::DnsSdPublisher;

namespace {

// Only in the loopback-only avahi-daemon of the test services, never the machine's own.
bool haveTestServices()
{
    return qEnvironmentVariable("VESKER_TEST_SERVICES") == QLatin1String("1");
}

// The names this test found: other test processes publish into the same daemon.
QStringList namesWith(const ScreenBrowser& browser, const QString& tag)
{
    QStringList names;
    for (const DiscoveredScreen& mac : browser.macs()) {
        if (mac.name.endsWith(tag))
            names.append(mac.name);
    }
    return names;
}

} // namespace

TEST(ScreenBrowser, ListsOtherScreensByNameButNotItselfNorWhatItRelays)
{
    if (!haveTestServices())
        GTEST_SKIP() << "needs the loopback-only avahi-daemon of scripts/with-test-services";
    const QString tag = QStringLiteral(" %1-%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(QRandomGenerator::global()->bounded(100000));
    const QString own = QStringLiteral("Studio") + tag;
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const QString screen = QStringLiteral("6F1C2B0A-3D4E-4F50-8A9B-0C1D2E3F4A5B");

    ScreenBrowser browser;
    EXPECT_EQ(browser.statusText(), QStringLiteral(u"Looking for screens on your Wi‑Fi…"));
    browser.setOwnName(own);
    browser.setRunning(true);
    browser.start();

    std::map<QString, std::unique_ptr<DnsSdPublisher>> published;
    for (const QString& name : {QStringLiteral("beta"), QStringLiteral("Alpha"), own,
             QStringLiteral("Kitchen via ") + own, QStringLiteral("Hall via Attic") + tag}) {
        const QString full = name.endsWith(tag) ? name : name + tag;
        published[full] = std::make_unique<DnsSdPublisher>(
            platform::DnsSdService {full, ScreenBrowser::serviceType(), server.serverPort(),
                {{QStringLiteral("name"), full}, {QStringLiteral("screen"), screen}}});
    }
    // Sorted regardless of case; a screen relayed through another one is another screen.
    const QStringList expected {QStringLiteral("Alpha") + tag, QStringLiteral("beta") + tag,
        QStringLiteral("Hall via Attic") + tag};
    EXPECT_TRUE(QTest::qWaitFor([&] { return namesWith(browser, tag) == expected; }, 10000))
        << qPrintable(namesWith(browser, tag).join(u", "));
    // Reachable without name lookups: by address (IPv4 when its answer has come, else IPv6).
    const auto reachable = [&] {
        return std::all_of(browser.macs().cbegin(), browser.macs().cend(), [&](const auto& mac) {
            return !mac.name.endsWith(tag)
                || (QHostAddress(mac.endpoint.host).isLoopback()
                    && mac.endpoint.port == server.serverPort() && mac.screenID == screen);
        });
    };
    EXPECT_TRUE(QTest::qWaitFor(reachable, 10000));

    // Learning its own name late still takes it out.
    browser.setOwnName(QStringLiteral("Attic") + tag);
    EXPECT_EQ(namesWith(browser, tag).join(u", "),
        QStringList({QStringLiteral("Alpha") + tag, QStringLiteral("beta") + tag,
                        QStringLiteral("Kitchen via ") + own, own})
            .join(u", "));
}
