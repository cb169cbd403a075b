// The Hosted and Remote tabs: what they refuse and what they write for the managers to read.
#include "platform/defaults.h"
#include "screens/hosted_screens_manager.h"
#include "screens/remote_screens_manager.h"
#include "settings/hosted_screens_settings_view.h"
#include "settings/remote_screens_settings_view.h"
#include "settings/screens_settings_checks.h"
#include "store/item_store.h"
#include "support/free_port.h"
#include "support/manual_clock.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
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
    Settings() { defaults.set(QStringLiteral("advertiseOnNetwork"), false); }

    QTemporaryDir dir;
    test::ManualClock clock;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json")), clock};
};

// A tab over its managers, made once the settings hold the screens a test starts with.
template <typename View> struct Tab : Settings {
    Tab() { remote.setListenAddress(QHostAddress::LocalHost); }
    template <typename T> T* find(const char* name)
    {
        return view->template findChild<T*>(QString::fromLatin1(name));
    }

    RemoteScreensManager remote {&defaults, clock};
    std::unique_ptr<View> view;
};

struct HostedTab : Tab<HostedScreensSettingsView> {
    // The view goes before the manager it shows.
    ~HostedTab() { view.reset(); }
    void makeView()
    {
        view = std::make_unique<HostedScreensSettingsView>(hosted, remote, defaults);
    }

    HostedScreensManager hosted {defaults, clock, dir.filePath("pics")};
};

// The Remote tab over a manager whose relays listen on 127.0.0.1, as the controller starts
// them once its own port is bound.
struct RemoteTab : Tab<RemoteScreensSettingsView> {
    explicit RemoteTab(const QJsonArray& screens = {})
    {
        defaults.set(QString::fromLatin1(RemoteScreensManager::kScreensKey), screens);
        remote.restartRelays();
    }
    void makeView() { view = std::make_unique<RemoteScreensSettingsView>(remote, defaults); }
};

} // namespace

TEST(HostedScreenChecks, RefuseWhatCouldNotBeServed)
{
    const HostedScreen team = screen(QStringLiteral("team"), 8790);
    const QList<HostedScreen> existing {team, screen(QStringLiteral("desk"), 8792)};
    const QList<RemoteScreen> remotes {
        {.name = QStringLiteral("Office"), .shareOnLAN = true, .relayPort = 8795},
        {.name = QStringLiteral("Attic"), .shareOnLAN = false, .relayPort = 8796},
        {.name = QStringLiteral("Lab 100%1"), .shareOnLAN = true, .relayPort = 8797}};
    // 8790 is the team screen's own listener.
    const auto free = [](quint16 port) { return port != 9000 && port != 8790; };
    HostedScreen pinless = screen(QStringLiteral("desk-3"), 8791);
    pinless.requirePinToSend = true;
    HostedScreen renamed = team;
    renamed.name = QStringLiteral("Team B");
    renamed.pin = QStringLiteral("1234");
    const auto moved = [&team](quint16 port) {
        HostedScreen changed = team;
        changed.port = port;
        return changed;
    };
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
        {"main port", screen(QStringLiteral("desk-2"), 8787), "own port"},
        {"slug taken", screen(QStringLiteral("team"), 8791), "already uses"},
        {"port taken", screen(QStringLiteral("desk-2"), 8790), "already uses port"},
        {"port busy", screen(QStringLiteral("desk-2"), 9000), "in use"},
        {"low port", screen(QStringLiteral("desk-2"), 80), "1024"},
        {"PIN missing", pinless, "PIN"},
        {"a shared screen's port", screen(QStringLiteral("desk-2"), 8795), "“Office”"},
        {"an unshared screen's old port", screen(QStringLiteral("desk-2"), 8796), ""},
        {"a shared screen named with a %", screen(QStringLiteral("desk-2"), 8797),
            "“Lab 100%1” on port 8797."},
        {"changed, keeping its own port", renamed, ""},
        {"changed to a free port", moved(8791), ""},
        {"changed to another's port", moved(8792), "already uses port"},
        {"changed to a busy port", moved(9000), "in use"},
        {"changed to the main port", moved(8787), "own port"},
        {"changed to a shared screen's port", moved(8795), "“Office”"},
    };
    for (const auto& row : rows) {
        const auto problem = hostedScreenProblem(row.candidate, existing, 8787, remotes, free);
        if (QByteArray(row.problem).isEmpty())
            EXPECT_FALSE(problem) << row.name << ": " << problem->toStdString();
        else
            EXPECT_TRUE(problem && problem->contains(QString::fromUtf8(row.problem))) << row.name;
    }
    EXPECT_EQ(slugFor(QStringLiteral("  Team Room #2 ")), QStringLiteral("team-room-2"));
}

TEST(HostedScreensTab, AddsAScreenTheManagerReadsAndRefusesABadSlug)
{
    HostedTab tab;
    tab.makeView();
    auto* name = tab.find<QLineEdit>("hostedName");
    auto* slug = tab.find<QLineEdit>("hostedSlug");
    auto* add = tab.find<QPushButton>("addHosted");

    QTest::keyClicks(name, QStringLiteral("Team Room"));
    EXPECT_EQ(slug->text(), QStringLiteral("team-room"));
    slug->setText(QStringLiteral("../team"));
    add->click();
    EXPECT_TRUE(tab.hosted.screens().isEmpty());
    EXPECT_FALSE(tab.find<QLabel>("hostedProblem")->isHidden());

    slug->setText(QStringLiteral("team"));
    tab.find<QSpinBox>("hostedPort")->setValue(0xFFFF - 3);
    tab.find<QLineEdit>("hostedPin")->setText(QStringLiteral("4321"));
    tab.find<QCheckBox>("hostedRequirePin")->setChecked(true);
    add->click();
    ASSERT_EQ(tab.hosted.screens().size(), 1);
    const HostedScreen& added = tab.hosted.screens().first();
    EXPECT_EQ(added.name, QStringLiteral("Team Room"));
    EXPECT_EQ(added.slug, QStringLiteral("team"));
    EXPECT_EQ(added.port, 0xFFFF - 3);
    EXPECT_EQ(added.pin, QStringLiteral("4321"));
    EXPECT_TRUE(added.requirePinToSend && added.enabled);
    QTest::qWait(0);
    EXPECT_EQ(tab.find<QTreeWidget>("hostedList")->topLevelItemCount(), 1);
}

TEST(HostedScreensTab, ChangesAScreenInPlaceKeepingItsItemsAndTurnsItsPageOn)
{
    HostedTab tab;
    tab.defaults.set(QString::fromLatin1(RemoteScreensManager::kScreensKey),
        QJsonArray {RemoteScreen {.name = QStringLiteral("Office"),
            .url = QStringLiteral("127.0.0.1:9"),
            .shareOnLAN = true,
            .relayPort = 0xFFFF - 9}
                        .toJson()});
    const HostedScreen team {.id = QUuid::createUuid(),
        .name = QStringLiteral("Team"),
        .slug = QStringLiteral("team"),
        .port = 0xFFFF - 5};
    tab.defaults.set(QStringLiteral("hostedScreens"), QJsonArray {team.toJson()});
    ItemStore* store = tab.hosted.store(tab.hosted.screens().first());
    ASSERT_TRUE(store);
    ScreenItem kept;
    kept.id = QUuid::createUuid();
    kept.kind = ItemKind::text;
    kept.text = "Shelf 7731";
    store->append(kept);

    tab.makeView();
    auto* list = tab.find<QTreeWidget>("hostedList");
    auto* save = tab.find<QPushButton>("saveHosted");
    auto* slug = tab.find<QLineEdit>("hostedSlug");
    auto* port = tab.find<QSpinBox>("hostedPort");
    auto* problem = tab.find<QLabel>("hostedProblem");
    ASSERT_TRUE(save);
    list->setCurrentItem(list->topLevelItem(0));
    EXPECT_EQ(tab.find<QLineEdit>("hostedName")->text(), team.name);
    EXPECT_FALSE(slug->isEnabled()) << "the slug names the folder its items are in";
    EXPECT_TRUE(tab.find<QPushButton>("addHosted")->isHidden());

    // A shared remote screen's port for phones is refused as the Add form refuses it.
    port->setValue(0xFFFF - 9);
    save->click();
    EXPECT_FALSE(problem->isHidden());
    EXPECT_TRUE(problem->text().contains(QStringLiteral("Office")));
    EXPECT_EQ(tab.hosted.screens().first(), team);

    tab.find<QLineEdit>("hostedName")->setText(QStringLiteral("Team B"));
    port->setValue(0xFFFF - 6);
    tab.find<QLineEdit>("hostedPin")->setText(QStringLiteral("4321"));
    tab.find<QCheckBox>("hostedRequirePin")->setChecked(true);
    save->click();
    EXPECT_TRUE(problem->isHidden()) << problem->text().toStdString();
    ASSERT_EQ(tab.hosted.screens().size(), 1);
    const HostedScreen changed = tab.hosted.screens().first();
    EXPECT_EQ(changed.id, team.id);
    EXPECT_EQ(changed.slug, team.slug);
    EXPECT_EQ(changed.name, QStringLiteral("Team B"));
    EXPECT_EQ(changed.port, 0xFFFF - 6);
    EXPECT_EQ(changed.pin, QStringLiteral("4321"));
    EXPECT_TRUE(changed.requirePinToSend && changed.enabled && !changed.allowBrowserScreen);
    EXPECT_EQ(tab.hosted.store(changed), store);
    EXPECT_TRUE(store->item(kept.id));

    // The page is off until its own switch in the list is ticked.
    QTest::qWait(0);
    QTreeWidgetItem* row = list->topLevelItem(0);
    EXPECT_EQ(row->text(2), QStringLiteral("Off"));
    row->setCheckState(2, Qt::Checked);
    EXPECT_TRUE(tab.hosted.screens().first().allowBrowserScreen);
    QTest::qWait(0);
    EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("Opens at /s/team"));
    EXPECT_TRUE(list->topLevelItem(0)->isSelected());

    tab.find<QPushButton>("cancelHosted")->click();
    EXPECT_TRUE(slug->isEnabled());
    EXPECT_TRUE(tab.find<QLineEdit>("hostedName")->text().isEmpty());
    EXPECT_NE(port->value(), 0xFFFF - 6) << "the next screen is offered a port still free";
}

TEST(RemoteScreensTab, AddsSharesAndRenamesInTheManagersShape)
{
    RemoteTab tab;
    tab.makeView();
    tab.find<QLineEdit>("remoteName")->setText(QStringLiteral("Office"));
    tab.find<QLineEdit>("remoteAddress")->setText(QStringLiteral("127.0.0.1:9"));
    tab.find<QPushButton>("addRemote")->click();
    ASSERT_EQ(tab.remote.screens().size(), 1);
    EXPECT_EQ(tab.remote.screens().first().url, QStringLiteral("127.0.0.1:9"));
    EXPECT_FALSE(tab.remote.screens().first().shareOnLAN);

    QTest::qWait(0);
    auto* list = tab.find<QTreeWidget>("remoteList");
    list->topLevelItem(0)->setSelected(true);
    tab.find<QLineEdit>("remoteName")->setText(QStringLiteral("Head office"));
    tab.find<QCheckBox>("remoteShare")->setChecked(true);
    tab.find<QPushButton>("saveRemote")->click();
    ASSERT_EQ(tab.remote.screens().size(), 1);
    EXPECT_EQ(tab.remote.screens().first().name, QStringLiteral("Head office"));
    EXPECT_TRUE(tab.remote.screens().first().shareOnLAN);
    // Shared without a port: one was chosen and stored.
    EXPECT_GT(tab.remote.screens().first().relayPort, 0);
}

TEST(RemoteScreensTab, RefusesAPortForPhonesThatAnotherScreenOfThisComputerHas)
{
    const quint16 main = test::freePort();
    const quint16 hostedPort = test::freePort();
    const quint16 relayPort = test::freePort();
    RemoteTab tab(QJsonArray {RemoteScreen {.name = QStringLiteral("Lab"),
        .url = QStringLiteral("127.0.0.1:9"),
        .shareOnLAN = true,
        .relayPort = relayPort}
                                  .toJson()});
    tab.defaults.set(QStringLiteral("serverPort"), main);
    tab.defaults.set(QStringLiteral("hostedScreens"),
        QJsonArray {HostedScreen {.id = QUuid::createUuid(),
            .name = QStringLiteral("Team"),
            .slug = QStringLiteral("team"),
            .port = hostedPort}
                        .toJson()});
    tab.makeView();
    const struct {
        const char* name;
        int port;
        const char* problem;
    } rows[] {
        {"main port", main, "this screen's own port"},
        {"hosted port", hostedPort, "hosted screen"},
        {"another relay's port", relayPort, "Another shared screen"},
        {"low port", 80, "1024"},
    };
    for (const auto& row : rows) {
        tab.find<QLineEdit>("remoteName")->setText(QStringLiteral("Office"));
        tab.find<QLineEdit>("remoteAddress")->setText(QStringLiteral("127.0.0.1:9"));
        tab.find<QCheckBox>("remoteShare")->setChecked(true);
        tab.find<QSpinBox>("remotePort")->setValue(row.port);
        tab.find<QPushButton>("addRemote")->click();
        EXPECT_EQ(tab.remote.screens().size(), 1) << row.name;
        auto* problem = tab.find<QLabel>("remoteProblem");
        ASSERT_TRUE(problem) << row.name;
        EXPECT_FALSE(problem->isHidden()) << row.name;
        EXPECT_TRUE(problem->text().contains(QLatin1String(row.problem)))
            << row.name << ": " << problem->text().toStdString();
    }
    // A shared screen keeps the port its own relay listens on.
    QTest::qWait(0);
    tab.find<QTreeWidget>("remoteList")->topLevelItem(0)->setSelected(true);
    tab.find<QLineEdit>("remoteName")->setText(QStringLiteral("Lab 2"));
    tab.find<QPushButton>("saveRemote")->click();
    EXPECT_TRUE(tab.find<QLabel>("remoteProblem")->isHidden())
        << tab.find<QLabel>("remoteProblem")->text().toStdString();
    EXPECT_EQ(tab.remote.screens().first().name, QStringLiteral("Lab 2"));
}

TEST(RemoteScreensTab, ShowsARelayThatCouldNotListenAndWhy)
{
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    RemoteTab tab(QJsonArray {RemoteScreen {.name = QStringLiteral("Lab"),
        .url = QStringLiteral("127.0.0.1:9"),
        .shareOnLAN = true,
        .relayPort = taken.serverPort()}
                                  .toJson()});
    tab.makeView();
    QTreeWidgetItem* row = tab.find<QTreeWidget>("remoteList")->topLevelItem(0);
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->text(2).startsWith(QLatin1String("Not listening")))
        << row->text(2).toStdString();
    EXPECT_FALSE(row->text(2).contains(QLatin1String("On port")));
}

// Answers nothing a test asks of it: the Hosted tab only needs the screens to listen.
class SilentRoutes final : public HostedScreenRoutes {
public:
    void route(const HTTPRequest&, const QString&, HTTPReplyFunction reply) override
    {
        reply(HTTPResponse::text(404, QStringLiteral("Not found")));
    }
    std::optional<HTTPResponse> refusalBeforeBody(const HTTPRequest&) override
    {
        return std::nullopt;
    }
};

TEST(HostedScreensTab, ShowsAScreenThatCouldNotListenAndWhy)
{
    HostedTab tab;
    QTcpServer mainScreen;
    QTcpServer otherProgram;
    ASSERT_TRUE(mainScreen.listen(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(otherProgram.listen(QHostAddress::LocalHost, 0));
    const quint16 main = mainScreen.serverPort();
    tab.defaults.set(QStringLiteral("serverPort"), main);
    const struct {
        QString name;
        quint16 port;
        bool enabled;
        QString why; // below the list; the screen listens when empty
    } rows[] {
        {QStringLiteral("Listening"), test::freePort(), true, {}},
        {QStringLiteral("Taken"), otherProgram.serverPort(), true,
            QStringLiteral("Taken — Not listening: ")},
        {QStringLiteral("Main"), main, true,
            QStringLiteral("Main — Not listening: port %1 is this screen's own port").arg(main)},
        {QStringLiteral("Off"), otherProgram.serverPort(), false, {}},
    };
    QJsonArray stored;
    for (const auto& row : rows) {
        HostedScreen entry = screen(row.name.toLower(), row.port);
        entry.name = row.name;
        entry.enabled = row.enabled;
        stored.append(entry.toJson());
    }
    tab.defaults.set(QStringLiteral("hostedScreens"), stored);
    tab.hosted.setListenAddress(QHostAddress::LocalHost);
    tab.hosted.setRoutesFactory(
        [](const HostedScreen&, ItemStore&) { return std::make_unique<SilentRoutes>(); });
    tab.makeView();
    auto* list = tab.find<QTreeWidget>("hostedList");
    auto* below = tab.find<QLabel>("hostedNotListening");
    ASSERT_TRUE(below);
    ASSERT_EQ(list->topLevelItemCount(), std::size(rows));
    const QStringList reasons = below->text().split(u'\n');
    for (int i = 0; i < int(std::size(rows)); ++i) {
        const auto& row = rows[i];
        const QString port = QString::number(row.port);
        EXPECT_EQ(list->topLevelItem(i)->text(3),
            row.why.isEmpty() ? port : port + QStringLiteral(" — Not listening"))
            << row.name.toStdString();
        // A screen that listens is not named below; one that does not is, with its reason.
        const QString expected = row.why.isEmpty() ? row.name + QStringLiteral(" — ") : row.why;
        const bool said = std::any_of(reasons.cbegin(), reasons.cend(),
            [&](const QString& line) { return line.startsWith(expected); });
        EXPECT_EQ(said, !row.why.isEmpty())
            << row.name.toStdString() << ": " << below->text().toStdString();
    }
    EXPECT_FALSE(below->isHidden());
}

TEST(RemoteScreensTab, ShowsBlockedPhonesAndUnblocksThem)
{
    RemoteTab tab(QJsonArray {
        RemoteScreen {.name = QStringLiteral("Lab"), .url = QStringLiteral("127.0.0.1:9")}
            .toJson()});
    const RelayRequest request {.screenID = tab.remote.screens().first().id,
        .screenName = QStringLiteral("Lab"),
        .deviceID = QStringLiteral("PHONE-9"),
        .deviceName = QStringLiteral("Ana's phone"),
        .body = "hello",
        .path = QStringLiteral("/text")};
    ASSERT_TRUE(tab.remote.hold(request));
    tab.remote.block(request.key());
    ASSERT_FALSE(tab.remote.hold(request));
    tab.makeView();

    auto* blocked = tab.find<QTreeWidget>("relayBlockedList");
    ASSERT_TRUE(blocked);
    ASSERT_EQ(blocked->topLevelItemCount(), 1);
    EXPECT_EQ(blocked->topLevelItem(0)->text(0), QStringLiteral("Ana's phone"));
    blocked->topLevelItem(0)->setSelected(true);
    tab.find<QPushButton>("unblockRelayed")->click();
    EXPECT_TRUE(tab.remote.blocked().isEmpty());
    EXPECT_TRUE(tab.remote.hold(request)) << "unblocked, the phone is asked about again";
    EXPECT_EQ(tab.remote.pendingDevices().size(), 1);
    QTest::qWait(0);
    EXPECT_EQ(blocked->topLevelItemCount(), 0);
}
