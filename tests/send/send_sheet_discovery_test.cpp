// The Send sheet over the loopback-only avahi-daemon of the test services: which screens it
// lists of those really advertised.
#include "platform/defaults.h"
#include "platform/dns_sd.h"
#include "send/screen_browser.h"
#include "send/send_sheet.h"
#include "send/uploader.h"
#include "support/manual_clock.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QJsonValue>
#include <QLabel>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace vesker;

namespace {

bool haveTestServices()
{
    return qEnvironmentVariable("VESKER_TEST_SERVICES") == QLatin1String("1");
}

// The names of the sheet's screen rows that carry `tag`: other tests publish into the same
// daemon.
QStringList listed(const SendSheet& sheet, const QString& tag)
{
    QStringList names;
    for (const QCheckBox* box : sheet.findChildren<QCheckBox*>(QStringLiteral("macToggle"))) {
        const auto* title = box->parentWidget()->findChild<QLabel*>(QStringLiteral("rowTitle"));
        if (box->isVisibleTo(&sheet) && title->text().endsWith(tag))
            names.append(title->text());
    }
    names.sort();
    return names;
}

} // namespace

TEST(SendSheetDiscovery, OnlyTheAdvertisementThisScreenMadeIsLeftOut)
{
    if (!haveTestServices())
        GTEST_SKIP() << "needs the loopback-only avahi-daemon of scripts/with-test-services";
    const QString tag = QStringLiteral(" %1-%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(QRandomGenerator::global()->bounded(100000));
    // This screen's name, advertised by another computer while this screen advertises nothing.
    const QString ownName = QStringLiteral("Desk") + tag;
    const QString other = QStringLiteral("Kitchen") + tag;
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    std::vector<std::unique_ptr<platform::DnsSdPublisher>> published;
    for (const QString& name : {ownName, other}) {
        published.push_back(std::make_unique<platform::DnsSdPublisher>(platform::DnsSdService {
            name, ScreenBrowser::serviceType(), server.serverPort(), {{"name", name}}}));
    }

    QTemporaryDir dir;
    test::ManualClock clock;
    platform::Defaults settings {dir.filePath(QStringLiteral("defaults.json")), clock};
    settings.set(QStringLiteral("advertiseOnNetwork"), false);
    Uploader uploader {{.deviceID = "SENDER-1", .deviceName = ownName}};
    SendSheet sheet({{.text = "hello"}},
        {.session
            = {.defaults = settings, .uploader = &uploader, .clock = clock, .screenName = [&] {
                   return ownName;
               }}});
    sheet.show();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return listed(sheet, tag) == QStringList({ownName, other});
        },
        15000))
        << listed(sheet, tag).join(u", ").toStdString();

    // This screen advertises: the advertisement under its name is taken for its own until the
    // server says which name the daemon registered; after a clash, the other one is another's.
    const struct {
        const char* what;
        const char* key;
        QJsonValue value;
        QStringList listed;
    } steps[] = {
        {"advertising", "advertiseOnNetwork", true, {other}},
        {"registered after a clash", "advertisedName", ownName + " #2", {ownName, other}},
        {"registered as it is", "advertisedName", ownName, {other}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        settings.set(QString::fromLatin1(step.key), step.value);
        EXPECT_TRUE(QTest::qWaitFor([&] { return listed(sheet, tag) == step.listed; }, 5000))
            << listed(sheet, tag).join(u", ").toStdString();
    }
}
