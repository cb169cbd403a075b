// The Hosted and Remote tabs: what they refuse and what they write for the managers to read.
#include "platform/defaults.h"
#include "screens/hosted_screens_manager.h"
#include "screens/remote_screens_manager.h"
#include "settings/hosted_screens_settings_view.h"
#include "settings/remote_screens_settings_view.h"
#include "settings/screens_settings_checks.h"
#include "support/manual_clock.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace vesker;

namespace {

HostedScreen screen(const QString& slug, quint16 port)
{
    return {.id = QUuid::createUuid(), .name = QStringLiteral("Team"), .slug = slug, .port = port};
}

struct Settings {
    QTemporaryDir dir;
    test::ManualClock clock;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json")), clock};
};

} // namespace

TEST(HostedScreenChecks, RefuseWhatCouldNotBeServed)
{
    const QList<HostedScreen> existing {screen(QStringLiteral("team"), 8790)};
    const auto busy = [](quint16 port) { return port != 9000; };
    HostedScreen pinless = screen(QStringLiteral("desk"), 8791);
    pinless.requirePinToSend = true;
    const struct {
        const char* name;
        HostedScreen candidate;
        const char* problem; // empty: accepted
    } rows[] {
        {"plain", screen(QStringLiteral("desk-2"), 8791), ""},
        {"path in slug", screen(QStringLiteral("../x"), 8791), "lower-case"},
        {"slash in slug", screen(QStringLiteral("a/b"), 8791), "lower-case"},
        {"capitals", screen(QStringLiteral("Desk"), 8791), "lower-case"},
        {"empty slug", screen(QString(), 8791), "lower-case"},
        {"main port", screen(QStringLiteral("desk"), 8787), "own port"},
        {"slug taken", screen(QStringLiteral("team"), 8791), "already uses"},
        {"port taken", screen(QStringLiteral("desk"), 8790), "already uses port"},
        {"port busy", screen(QStringLiteral("desk"), 9000), "in use"},
        {"low port", screen(QStringLiteral("desk"), 80), "1024"},
        {"PIN missing", pinless, "PIN"},
    };
    for (const auto& row : rows) {
        const auto problem = hostedScreenProblem(row.candidate, existing, 8787, busy);
        if (QByteArray(row.problem).isEmpty())
            EXPECT_FALSE(problem) << row.name << ": " << problem->toStdString();
        else
            EXPECT_TRUE(problem && problem->contains(QLatin1String(row.problem))) << row.name;
    }
    EXPECT_EQ(slugFor(QStringLiteral("  Team Room #2 ")), QStringLiteral("team-room-2"));
}

TEST(HostedScreensTab, AddsAScreenTheManagerReadsAndRefusesABadSlug)
{
    Settings settings;
    HostedScreensManager hosted(settings.defaults, settings.clock, settings.dir.filePath("pics"));
    HostedScreensSettingsView view(hosted, settings.defaults);
    auto* name = view.findChild<QLineEdit*>(QStringLiteral("hostedName"));
    auto* slug = view.findChild<QLineEdit*>(QStringLiteral("hostedSlug"));
    auto* add = view.findChild<QPushButton*>(QStringLiteral("addHosted"));

    QTest::keyClicks(name, QStringLiteral("Team Room"));
    EXPECT_EQ(slug->text(), QStringLiteral("team-room"));
    slug->setText(QStringLiteral("../team"));
    add->click();
    EXPECT_TRUE(hosted.screens().isEmpty());
    EXPECT_FALSE(view.findChild<QLabel*>(QStringLiteral("hostedProblem"))->isHidden());

    slug->setText(QStringLiteral("team"));
    view.findChild<QSpinBox*>(QStringLiteral("hostedPort"))->setValue(0xFFFF - 3);
    view.findChild<QLineEdit*>(QStringLiteral("hostedPin"))->setText(QStringLiteral("4321"));
    view.findChild<QCheckBox*>(QStringLiteral("hostedRequirePin"))->setChecked(true);
    add->click();
    ASSERT_EQ(hosted.screens().size(), 1);
    const HostedScreen& added = hosted.screens().first();
    EXPECT_EQ(added.name, QStringLiteral("Team Room"));
    EXPECT_EQ(added.slug, QStringLiteral("team"));
    EXPECT_EQ(added.port, 0xFFFF - 3);
    EXPECT_EQ(added.pin, QStringLiteral("4321"));
    EXPECT_TRUE(added.requirePinToSend && added.enabled);
    QTest::qWait(0);
    EXPECT_EQ(view.findChild<QTreeWidget*>(QStringLiteral("hostedList"))->topLevelItemCount(), 1);
}

TEST(RemoteScreensTab, AddsSharesAndRenamesInTheManagersShape)
{
    Settings settings;
    settings.defaults.set(QStringLiteral("advertiseOnNetwork"), false);
    RemoteScreensManager remote(&settings.defaults, settings.clock);
    remote.setListenAddress(QHostAddress::LocalHost);
    RemoteScreensSettingsView view(remote, settings.defaults);
    view.findChild<QLineEdit*>(QStringLiteral("remoteName"))->setText(QStringLiteral("Office"));
    view.findChild<QLineEdit*>(QStringLiteral("remoteAddress"))
        ->setText(QStringLiteral("127.0.0.1:9"));
    view.findChild<QPushButton*>(QStringLiteral("addRemote"))->click();
    ASSERT_EQ(remote.screens().size(), 1);
    EXPECT_EQ(remote.screens().first().url, QStringLiteral("127.0.0.1:9"));
    EXPECT_FALSE(remote.screens().first().shareOnLAN);

    QTest::qWait(0);
    auto* list = view.findChild<QTreeWidget*>(QStringLiteral("remoteList"));
    list->topLevelItem(0)->setSelected(true);
    view.findChild<QLineEdit*>(QStringLiteral("remoteName"))
        ->setText(QStringLiteral("Head office"));
    view.findChild<QCheckBox*>(QStringLiteral("remoteShare"))->setChecked(true);
    view.findChild<QPushButton*>(QStringLiteral("saveRemote"))->click();
    ASSERT_EQ(remote.screens().size(), 1);
    EXPECT_EQ(remote.screens().first().name, QStringLiteral("Head office"));
    EXPECT_TRUE(remote.screens().first().shareOnLAN);
    // Shared without a port: one was chosen and stored.
    EXPECT_GT(remote.screens().first().relayPort, 0);
}
