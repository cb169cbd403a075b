// The Hosted and Remote tabs: what they refuse and what they write for the managers to read.
#include "platform/defaults.h"
#include "screens/hosted_screens_manager.h"
#include "screens/remote_screens_manager.h"
#include "settings/hosted_screens_settings_view.h"
#include "settings/remote_screens_settings_view.h"
#include "settings/screens_settings_checks.h"
#include "store/item_store.h"
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
    QTemporaryDir dir;
    test::ManualClock clock;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json")), clock};
};

} // namespace

TEST(HostedScreenChecks, RefuseWhatCouldNotBeServed)
{
    const HostedScreen team = screen(QStringLiteral("team"), 8790);
    const QList<HostedScreen> existing {team, screen(QStringLiteral("desk"), 8792)};
    const QList<RemoteScreen> remotes {
        {.name = QStringLiteral("Office"), .shareOnLAN = true, .relayPort = 8795},
        {.name = QStringLiteral("Attic"), .shareOnLAN = false, .relayPort = 8796}};
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
    Settings settings;
    HostedScreensManager hosted(settings.defaults, settings.clock, settings.dir.filePath("pics"));
    RemoteScreensManager remote(nullptr, settings.clock);
    HostedScreensSettingsView view(hosted, remote, settings.defaults);
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

TEST(HostedScreensTab, ChangesAScreenInPlaceKeepingItsItemsAndTurnsItsPageOn)
{
    Settings settings;
    settings.defaults.set(QStringLiteral("advertiseOnNetwork"), false);
    HostedScreensManager hosted(settings.defaults, settings.clock, settings.dir.filePath("pics"));
    RemoteScreensManager remote(&settings.defaults, settings.clock);
    remote.setListenAddress(QHostAddress::LocalHost);
    settings.defaults.set(QString::fromLatin1(RemoteScreensManager::kScreensKey),
        QJsonArray {RemoteScreen {.name = QStringLiteral("Office"),
            .url = QStringLiteral("127.0.0.1:9"),
            .shareOnLAN = true,
            .relayPort = 0xFFFF - 9}
                        .toJson()});
    const HostedScreen team {.id = QUuid::createUuid(),
        .name = QStringLiteral("Team"),
        .slug = QStringLiteral("team"),
        .port = 0xFFFF - 5};
    settings.defaults.set(QStringLiteral("hostedScreens"), QJsonArray {team.toJson()});
    ItemStore* store = hosted.store(hosted.screens().first());
    ASSERT_TRUE(store);
    ScreenItem kept;
    kept.id = QUuid::createUuid();
    kept.kind = ItemKind::text;
    kept.text = QStringLiteral("Shelf 7731");
    store->append(kept);

    HostedScreensSettingsView view(hosted, remote, settings.defaults);
    auto* list = view.findChild<QTreeWidget*>(QStringLiteral("hostedList"));
    auto* save = view.findChild<QPushButton*>(QStringLiteral("saveHosted"));
    auto* slug = view.findChild<QLineEdit*>(QStringLiteral("hostedSlug"));
    auto* port = view.findChild<QSpinBox*>(QStringLiteral("hostedPort"));
    auto* problem = view.findChild<QLabel*>(QStringLiteral("hostedProblem"));
    ASSERT_TRUE(save);
    list->setCurrentItem(list->topLevelItem(0));
    EXPECT_EQ(view.findChild<QLineEdit*>(QStringLiteral("hostedName"))->text(), team.name);
    EXPECT_FALSE(slug->isEnabled()) << "the slug names the folder its items are in";
    EXPECT_TRUE(view.findChild<QPushButton*>(QStringLiteral("addHosted"))->isHidden());

    // A shared remote screen's port for phones is refused as the Add form refuses it.
    port->setValue(0xFFFF - 9);
    save->click();
    EXPECT_FALSE(problem->isHidden());
    EXPECT_TRUE(problem->text().contains(QStringLiteral("Office")));
    EXPECT_EQ(hosted.screens().first(), team);

    view.findChild<QLineEdit*>(QStringLiteral("hostedName"))->setText(QStringLiteral("Team B"));
    port->setValue(0xFFFF - 6);
    view.findChild<QLineEdit*>(QStringLiteral("hostedPin"))->setText(QStringLiteral("4321"));
    view.findChild<QCheckBox*>(QStringLiteral("hostedRequirePin"))->setChecked(true);
    save->click();
    EXPECT_TRUE(problem->isHidden()) << problem->text().toStdString();
    ASSERT_EQ(hosted.screens().size(), 1);
    const HostedScreen changed = hosted.screens().first();
    EXPECT_EQ(changed.id, team.id);
    EXPECT_EQ(changed.slug, team.slug);
    EXPECT_EQ(changed.name, QStringLiteral("Team B"));
    EXPECT_EQ(changed.port, 0xFFFF - 6);
    EXPECT_EQ(changed.pin, QStringLiteral("4321"));
    EXPECT_TRUE(changed.requirePinToSend && changed.enabled && !changed.allowBrowserScreen);
    EXPECT_EQ(hosted.store(changed), store);
    EXPECT_TRUE(store->item(kept.id));

    // The page is off until its own switch in the list is ticked.
    QTest::qWait(0);
    QTreeWidgetItem* row = list->topLevelItem(0);
    EXPECT_EQ(row->text(2), QStringLiteral("Off"));
    row->setCheckState(2, Qt::Checked);
    EXPECT_TRUE(hosted.screens().first().allowBrowserScreen);
    QTest::qWait(0);
    EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("Opens at /s/team"));
    EXPECT_TRUE(list->topLevelItem(0)->isSelected());

    view.findChild<QPushButton*>(QStringLiteral("cancelHosted"))->click();
    EXPECT_TRUE(slug->isEnabled());
    EXPECT_TRUE(view.findChild<QLineEdit*>(QStringLiteral("hostedName"))->text().isEmpty());
    EXPECT_NE(port->value(), 0xFFFF - 6) << "the next screen is offered a port still free";
}

TEST(RemoteScreensTab, AddsSharesAndRenamesInTheManagersShape)
{
    Settings settings;
    settings.defaults.set(QStringLiteral("advertiseOnNetwork"), false);
    RemoteScreensManager remote(&settings.defaults, settings.clock);
    remote.setListenAddress(QHostAddress::LocalHost);
    remote.restartRelays();
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

namespace {

// The Remote tab over a manager whose relays listen on 127.0.0.1, as the controller starts
// them once its own port is bound.
struct RemoteTab : Settings {
    explicit RemoteTab(const QJsonArray& screens = {})
    {
        defaults.set(QStringLiteral("advertiseOnNetwork"), false);
        defaults.set(QString::fromLatin1(RemoteScreensManager::kScreensKey), screens);
        remote.setListenAddress(QHostAddress::LocalHost);
        remote.restartRelays();
    }
    template <typename T> T* find(const char* name)
    {
        return view->findChild<T*>(QString::fromLatin1(name));
    }
    void makeView() { view = std::make_unique<RemoteScreensSettingsView>(remote, defaults); }

    RemoteScreensManager remote {&defaults, clock};
    std::unique_ptr<RemoteScreensSettingsView> view;
};

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

TEST(RemoteScreensTab, RefusesAPortForPhonesThatAnotherScreenOfThisComputerHas)
{
    const quint16 main = freeLoopbackPort();
    const quint16 hostedPort = freeLoopbackPort();
    const quint16 relayPort = freeLoopbackPort();
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
    Settings settings;
    settings.defaults.set(QStringLiteral("advertiseOnNetwork"), false);
    QTcpServer mainScreen;
    QTcpServer otherProgram;
    ASSERT_TRUE(mainScreen.listen(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(otherProgram.listen(QHostAddress::LocalHost, 0));
    const quint16 main = mainScreen.serverPort();
    settings.defaults.set(QStringLiteral("serverPort"), main);
    const struct {
        QString name;
        quint16 port;
        bool enabled;
        QString why; // below the list; the screen listens when empty
    } rows[] {
        {QStringLiteral("Listening"), freeLoopbackPort(), true, {}},
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
    settings.defaults.set(QStringLiteral("hostedScreens"), stored);
    HostedScreensManager hosted(settings.defaults, settings.clock, settings.dir.filePath("pics"));
    hosted.setListenAddress(QHostAddress::LocalHost);
    hosted.setRoutesFactory(
        [](const HostedScreen&, ItemStore&) { return std::make_unique<SilentRoutes>(); });
    RemoteScreensManager remote(nullptr, settings.clock);
    HostedScreensSettingsView view(hosted, remote, settings.defaults);
    auto* list = view.findChild<QTreeWidget*>(QStringLiteral("hostedList"));
    auto* below = view.findChild<QLabel*>(QStringLiteral("hostedNotListening"));
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
