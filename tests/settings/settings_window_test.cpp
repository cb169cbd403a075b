#include "settings/settings_window.h"
#include "settings_fixture.h"

#include "access/access_manager.h"
#include "focus_guard/focus_guard.h"
#include "onboarding/onboarding_sheet.h"
#include "platform/display_wake.h"
#include "platform/dns_sd_browser.h"
#include "platform/launch_at_login.h"
#include "platform/permissions.h"
#include "receive/controller_fixture.h"
#include "screens/hosted_screens_manager.h"
#include "screens/remote_screens_manager.h"
#include "store/blur_rules.h"
#include "store/store_cleanup.h"
#include "support/fake_workspace.h"
#include "support/free_port.h"
#include "support/test_images.h"
#include "ui/tray_availability.h"
#include "update/updater.h"
#include "window/window_manager.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTreeWidget>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

namespace vesker::test {

class SettingsWindowTest : public SettingsServicesTest {
protected:
    SettingsWindow m_window {services()};

    AccessManager& access() { return m_controller->access(); }

    template <typename T> T* find(const char* name)
    {
        T* widget = m_window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    // As the user picks from the list: the choice's stored value, not its position.
    void choose(const char* picker, const QString& value)
    {
        auto* box = find<QComboBox>(picker);
        const int index = box->findData(value);
        ASSERT_GE(index, 0) << qPrintable(value);
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }
    void select(const char* list, const QString& deviceID)
    {
        auto* tree = find<QTreeWidget>(list);
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            if (tree->topLevelItem(i)->data(0, Qt::UserRole).toString() == deviceID)
                tree->setCurrentItem(tree->topLevelItem(i));
    }
    ScreenItem addPhoto(const QString& sender)
    {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.receivedAt = m_clock.now();
        item.kind = ItemKind::photo;
        item.sender = sender;
        item.filename = ItemStore::storedFileName(item.receivedAt, item.id, "jpg");
        QDir().mkpath(m_store.inboxDir());
        writeFile(m_store.fileURL(item), imageBytes(whitePage(64, 48), "JPEG"));
        m_store.append(item);
        return item;
    }
    // What a phone reads of this screen: its name in "/api/info" and on the page it opens.
    std::pair<QString, QByteArray> phoneSees()
    {
        const HTTPResponse info = route(*m_controller, HTTPRequest {"GET", "/api/info", {}});
        const HTTPResponse page = route(*m_controller, HTTPRequest {"GET", "/", {}});
        return {QJsonDocument::fromJson(info.body)["name"].toString(), page.body};
    }
    void rename(const QString& name)
    {
        auto* field = find<QLineEdit>("screenNameField");
        field->setText(name);
        find<QPushButton>("renameButton")->click();
    }
    QJsonObject browserItems()
    {
        HTTPRequest request {"GET", "/api/items", {}};
        request.remoteAddress = QStringLiteral("127.0.0.1");
        const HTTPResponse reply = route(*m_controller, request);
        EXPECT_EQ(reply.status, 200);
        return QJsonDocument::fromJson(reply.body).object();
    }
};

// A wheel turned over the page scrolls it, though a picker lies under the pointer; a picker
// that has the focus changes by the wheel as before.
TEST_F(SettingsWindowTest, TheWheelScrollsThePageAndChangesOnlyAFocusedPicker)
{
    m_window.resize(640, 300);
    m_window.show();
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    auto* picker = find<QComboBox>("viewModePicker");
    auto* page = qobject_cast<QScrollArea*>(m_window.tabs().currentWidget());
    ASSERT_NE(page, nullptr);
    page->ensureWidgetVisible(picker);
    QApplication::processEvents();
    const int scrolled = page->verticalScrollBar()->value();
    ASSERT_LT(scrolled, page->verticalScrollBar()->maximum()) << "room to scroll further";
    const QString before = m_defaults.string(QStringLiteral("viewMode"), QStringLiteral("large"));
    const auto turn = [&](int delta) {
        const QPoint at = picker->rect().center();
        QWheelEvent wheel(at, picker->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        // As the window system delivers it: a wheel sent by the program itself goes to the
        // receiver alone.
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        qApp->notify(picker, &wheel);
        QApplication::processEvents();
    };
    turn(-120);
    EXPECT_EQ(m_defaults.string(QStringLiteral("viewMode"), QStringLiteral("large")), before);
    EXPECT_GT(page->verticalScrollBar()->value(), scrolled) << "the page scrolls";
    EXPECT_FALSE(picker->hasFocus());

    picker->setFocus(Qt::TabFocusReason);
    turn(picker->currentIndex() == 0 ? -120 : 120);
    EXPECT_NE(m_defaults.string(QStringLiteral("viewMode"), QStringLiteral("large")), before);
}

// Opened where the screen has the room (900 pixels high and more), the Access page shows whole,
// with the desktop's font or a larger one.
TEST_F(SettingsWindowTest, TheAccessPageShowsWholeWithoutScrolling)
{
    const QFont saved = QApplication::font();
    for (const double scale : {1.0, 1.25}) {
        SCOPED_TRACE(scale);
        QFont font = saved;
        font.setPointSizeF(saved.pointSizeF() * scale);
        QApplication::setFont(font);
        SettingsWindow window(services());
        window.tabs().setCurrentIndex(2);
        ASSERT_EQ(window.tabs().tabText(2), QStringLiteral("Access"));
        // What a 900-pixel screen leaves it, under a title bar and beside a panel.
        window.resize(window.width(), std::min(window.height(), 900 - 60));
        window.show();
        QApplication::processEvents();
        const auto* page = qobject_cast<QScrollArea*>(window.tabs().currentWidget());
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->verticalScrollBar()->maximum(), 0) << "window " << window.height();
    }
    QApplication::setFont(saved);
}

TEST_F(SettingsWindowTest, AccessChoicesRuleWhatTheServerAllows)
{
    choose("accessPolicyPicker", QStringLiteral("code"));
    find<QLineEdit>("accessCodeField")->selectAll();
    QTest::keyClicks(find<QLineEdit>("accessCodeField"), QStringLiteral(" 4711 "));
    EXPECT_EQ(access().decide("phone", "4711"), AccessDecision::allow);
    EXPECT_EQ(access().decide("phone", "1234"), AccessDecision::refuse);

    find<QPushButton>("newCodeButton")->click();
    const QString code = m_defaults.string("accessCode");
    EXPECT_TRUE(QRegularExpression("^\\d{6}$").match(code).hasMatch()) << qPrintable(code);
    EXPECT_EQ(find<QLineEdit>("accessCodeField")->text(), code);
    EXPECT_EQ(access().decide("phone", code), AccessDecision::allow);

    choose("accessPolicyPicker", QStringLiteral("anyone"));
    EXPECT_EQ(access().decide("phone", ""), AccessDecision::allow);
}

TEST_F(SettingsWindowTest, BrowserScreenAnswersAsSwitched)
{
    HTTPRequest request {"GET", "/api/items", {}};
    EXPECT_EQ(route(*m_controller, request).status, 404) << "off by default";

    find<QCheckBox>("allowBrowserScreensCheck")->click();
    find<QCheckBox>("viewerCanAckCheck")->click();
    find<QCheckBox>("viewerCanArchiveCheck")->click();
    QTest::keyClicks(find<QLineEdit>("viewerPinField"), QStringLiteral("99"));

    const QJsonObject items = browserItems();
    EXPECT_EQ(items["can"].toObject(),
        QJsonObject({{"ack", false}, {"later", false}, {"archive", true}}));
    EXPECT_TRUE(items["needsPin"].toBool());
}

TEST_F(SettingsWindowTest, RemoveBlockAndUnblockActOnTheDevices)
{
    access().approve("a", "Anna's phone", GrantDuration::forever);
    access().approve("b", "<b>Ben</b>", GrantDuration::forever);
    access().approve("old", "Old phone", GrantDuration::thirtyMinutes);
    m_clock.advance(31 * 60);
    m_window.tabs().setCurrentIndex(2);
    m_window.show();
    auto* approved = find<QTreeWidget>("approvedDeviceList");
    ASSERT_EQ(approved->topLevelItemCount(), 2) << "an expired approval is gone once shown";
    EXPECT_EQ(approved->topLevelItem(1)->text(0), "<b>Ben</b>");

    select("approvedDeviceList", "a");
    find<QPushButton>("removeDeviceButton")->click();
    select("approvedDeviceList", "b");
    find<QPushButton>("blockDeviceButton")->click();
    EXPECT_EQ(approved->topLevelItemCount(), 0) << "a blocked device is no longer approved";
    EXPECT_TRUE(AccessManager(m_defaults, m_clock).grants().isEmpty()) << "saved";
    EXPECT_EQ(access().decide("b", ""), AccessDecision::refuse);
    m_defaults.set("accessPolicy", "ask");
    EXPECT_EQ(access().decide("a", ""), AccessDecision::ask) << "no longer approved";

    select("blockedDeviceList", "b");
    find<QPushButton>("unblockButton")->click();
    EXPECT_EQ(find<QTreeWidget>("blockedDeviceList")->topLevelItemCount(), 0);
    EXPECT_TRUE(AccessManager(m_defaults, m_clock).blocked().isEmpty()) << "saved";
    EXPECT_EQ(access().decide("b", ""), AccessDecision::ask) << "asked again, not refused";
}

TEST_F(SettingsWindowTest, FollowsChangesMadeElsewhere)
{
    m_defaults.set("arrivalBehavior", "fullScreen");
    m_defaults.set("viewerCanAck", false);
    m_defaults.set("macSimpleMode", true);
    m_defaults.set("fullScreenDisplay", "HDMI-9");
    EXPECT_EQ(find<QComboBox>("arrivalBehaviorPicker")->currentData().toString(), "fullScreen");
    EXPECT_FALSE(find<QCheckBox>("viewerCanAckCheck")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("simpleModeCheck")->isChecked());
    EXPECT_EQ(find<QComboBox>("fullScreenDisplayPicker")->currentData().toString(), "HDMI-9");
}

TEST_F(SettingsWindowTest, GeneralChoicesAreStoredAndStartUpSwitchesAct)
{
    choose("arrivalBehaviorPicker", "notify");
    choose("fullScreenStylePicker", "space");
    choose("photoSendSizePicker", "medium");
    find<QCheckBox>("confirmDeleteCheck")->click();
    find<QCheckBox>("doNotDisturbCheck")->click();
    EXPECT_EQ(WindowManager::arrivalBehavior(m_defaults), ArrivalBehavior::Notify);
    EXPECT_EQ(WindowManager::fullScreenStyle(m_defaults), FullScreenStyle::Space);
    EXPECT_EQ(m_defaults.string("photoSendSize"), "medium");
    EXPECT_FALSE(m_defaults.boolValue("confirmDelete", true));
    EXPECT_TRUE(m_focus.doNotDisturb()) << "the guard the window was given, not one of its own";

    find<QCheckBox>("hideTaskbarEntryCheck")->click();
    EXPECT_TRUE(m_windows.hidesTaskbarEntry());
    EXPECT_TRUE(m_defaults.boolValue("hideDockIcon", false));
    find<QCheckBox>("launchAtLoginCheck")->click();
    EXPECT_TRUE(platform::LaunchAtLogin::isEnabled());
    find<QCheckBox>("launchAtLoginCheck")->click();
    EXPECT_FALSE(platform::LaunchAtLogin::isEnabled());
}

TEST_F(SettingsWindowTest, BlurredSendersAreBlurredForViewers)
{
    m_defaults.set("allowBrowserScreens", true);
    addPhoto(QStringLiteral("Mum"));
    addPhoto(QStringLiteral("Ben"));
    const auto blurred = [this] {
        QStringList senders;
        for (const QJsonValue& item : browserItems()["items"].toArray())
            if (item["blurred"].toBool())
                senders.append(item["sender"].toString());
        senders.sort();
        return senders;
    };
    EXPECT_EQ(blurred(), QStringList());
    QTest::keyClicks(find<QLineEdit>("blurSendersField"), QStringLiteral(" mum ,"));
    EXPECT_EQ(blurred(), QStringList {"Mum"});
    find<QCheckBox>("blurAllCheck")->click();
    EXPECT_EQ(blurred(), (QStringList {"Ben", "Mum"}));

    // A sender marked known on a card is listed, and blurred again from here.
    BlurRules(m_defaults).setKnown(QStringLiteral("Ben"), true);
    EXPECT_EQ(blurred(), QStringList {"Mum"});
    auto* known = find<QListWidget>("knownSenderList");
    ASSERT_EQ(known->count(), 1);
    known->setCurrentRow(0);
    find<QPushButton>("forgetKnownSenderButton")->click();
    EXPECT_EQ(blurred(), (QStringList {"Ben", "Mum"}));
    EXPECT_EQ(known->count(), 0);
}

TEST_F(SettingsWindowTest, ChoosingACleanupCleansAtOnce)
{
    StoreCleanup cleanup(m_store, m_defaults, m_clock);
    const ScreenItem old = addPhoto(QStringLiteral("Ann"));
    m_clock.advance(2 * 86400);
    const ScreenItem fresh = addPhoto(QStringLiteral("Ann"));
    EXPECT_FALSE(find<QComboBox>("cleanupActionPicker")->isEnabled()) << "nothing to act on";
    choose("cleanupAgePicker", "oneDay");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return m_store.item(old.id)->status == ItemStatus::archived; }));
    EXPECT_TRUE(QFile::exists(m_store.fileURL(*m_store.item(old.id))));
    EXPECT_EQ(m_store.item(fresh.id)->status, ItemStatus::inbox);

    m_clock.advance(2 * 86400);
    choose("cleanupActionPicker", "delete");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_store.item(fresh.id); }));
}

TEST_F(SettingsWindowTest, RenamingRestartsUnderTheNewNameOnlyWhenItChanges)
{
    ASSERT_TRUE(waitUntilRunning(*m_controller));
    rename(QStringLiteral("  Front Counter "));
    const auto [name, page] = phoneSees();
    EXPECT_EQ(name, "Front Counter");
    EXPECT_TRUE(page.contains("<b>Front Counter</b>"));
    EXPECT_EQ(find<QLineEdit>("screenNameField")->text(), "Front Counter");

    QSignalSpy replaced(m_controller->server(), &QObject::destroyed);
    rename(QStringLiteral("Front Counter"));
    EXPECT_EQ(replaced.count(), 0) << "the same name restarts nothing";
    rename(QString());
    EXPECT_EQ(phoneSees().first, "Front Desk") << "an empty name is the computer's";
}

// Typed into a fresh window and confirmed with Return alone, as a person does the first time:
// the first name is kept, and so is the next.
TEST_F(SettingsWindowTest, TheFirstNameTypedAndConfirmedWithReturnIsKept)
{
    ASSERT_TRUE(waitUntilRunning(*m_controller));
    m_window.show();
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    m_window.tabs().setCurrentIndex(3);
    auto* field = find<QLineEdit>("screenNameField");
    for (const QString& name : {QStringLiteral("Front Counter"), QStringLiteral("Back Office")}) {
        SCOPED_TRACE(name.toStdString());
        field->setFocus(Qt::MouseFocusReason);
        field->selectAll();
        QTest::keyClicks(field, name);
        QTest::keyClick(field, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return phoneSees().first == name; }, 5000));
        EXPECT_EQ(m_defaults.string(QStringLiteral("screenName")), name);
        EXPECT_EQ(field->text(), name);
        EXPECT_TRUE(waitUntilRunning(*m_controller));
    }
}

TEST_F(SettingsWindowTest, APortThatCannotBeUsedKeepsTheOldOneServing)
{
    ASSERT_TRUE(waitUntilRunning(*m_controller));
    const quint16 old = port();
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    auto* field = find<QLineEdit>("portField");
    auto* message = find<QLabel>("portMessage");
    const std::pair<QString, QString> refused[] = {{"80", "1024 to 65535"}, {"70000", "1024"},
        {"port", "1024"}, {QString::number(taken.serverPort()), "in use"}};
    for (const auto& [typed, says] : refused) {
        field->setText(typed);
        find<QPushButton>("portButton")->click();
        EXPECT_FALSE(message->isHidden()) << qPrintable(typed);
        EXPECT_TRUE(message->text().contains(says)) << qPrintable(message->text());
        EXPECT_EQ(port(), old);
        EXPECT_EQ(m_controller->server()->config().port, old);
    }

    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 free = probe.serverPort();
    probe.close();
    field->setText(QString::number(free));
    find<QPushButton>("portButton")->click();
    EXPECT_TRUE(message->isHidden());
    EXPECT_EQ(port(), free);
    ASSERT_TRUE(waitUntilRunning(*m_controller));
    QTcpSocket phone;
    phone.connectToHost(QHostAddress::LocalHost, free);
    EXPECT_TRUE(phone.waitForConnected(5000)) << "the new port answers";
}

// A port that one of this computer's own other screens holds is refused with that screen's
// name, as the Hosted and Remote tabs say it, not blamed on another program.
TEST_F(SettingsWindowTest, APortThatAnotherScreenOfThisComputerHoldsIsRefusedByItsName)
{
    ASSERT_TRUE(waitUntilRunning(*m_controller));
    const quint16 old = port();
    const HostedScreen hosted {.id = QUuid::createUuid(),
        .name = QStringLiteral("Workshop"),
        .slug = QStringLiteral("workshop"),
        .port = freePort()};
    const RemoteScreen lab {.id = QUuid::createUuid(),
        .name = QStringLiteral("Lab"),
        .url = QStringLiteral("127.0.0.1:9"),
        .shareOnLAN = true,
        .relayPort = freePort()};
    m_defaults.set(QStringLiteral("hostedScreens"), QJsonArray {hosted.toJson()});
    m_defaults.set(QStringLiteral("remoteScreens"), QJsonArray {lab.toJson()});
    // Both listen, so that the port is taken as it is when a person asks for it.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return m_controller->hosted().server(hosted.id)
                && m_controller->remote().relayServer(lab.id);
        },
        10000));

    auto* field = find<QLineEdit>("portField");
    auto* message = find<QLabel>("portMessage");
    const std::pair<quint16, QString> refused[] = {
        {hosted.port,
            QStringLiteral("A hosted screen already uses port %1. The screen stays on port %2.")
                .arg(hosted.port)
                .arg(old)},
        {lab.relayPort,
            QStringLiteral("Phones reach the shared screen “Lab” on port %1. The screen stays on "
                           "port %2.")
                .arg(lab.relayPort)
                .arg(old)},
    };
    for (const auto& [typed, says] : refused) {
        field->setText(QString::number(typed));
        find<QPushButton>("portButton")->click();
        EXPECT_FALSE(message->isHidden()) << typed;
        EXPECT_EQ(message->text(), says);
        EXPECT_EQ(port(), old);
    }
}

TEST_F(SettingsWindowTest, EveryAddressCanBeCopied)
{
    m_addresses = {{"wlan0", "Wi-Fi", "192.168.1.20"}, {"eth0", "Ethernet", "10.0.0.7"}};
    m_hostName = QStringLiteral("desk.local");
    m_controller->refreshAddresses();
    const QList<QPushButton*> buttons
        = find<QWidget>("addressList")->findChildren<QPushButton*>("copyAddressButton");
    const QStringList expected {
        "http://192.168.1.20:%1", "http://10.0.0.7:%1", "http://desk.local:%1"};
    ASSERT_EQ(buttons.size(), expected.size());
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        buttons.at(i)->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), expected.at(i).arg(port()));
    }
}

TEST_F(SettingsWindowTest, WithoutATrayNothingOffersToHideTheWindow)
{
    for (const bool tray : {true, false}) {
        TrayAvailability::pretend(tray);
        SettingsWindow window {{.controller = *m_controller,
            .defaults = m_defaults,
            .clock = m_clock,
            .windows = m_windows,
            .focusGuard = m_focus,
            .permissions = m_permissions,
            .updater = m_updater}};
        const auto shown = [&](const char* name) {
            return window.findChild<QWidget*>(QString::fromLatin1(name))->isVisibleTo(&window);
        };
        EXPECT_EQ(shown("hideTaskbarEntryCheck"), tray);
        EXPECT_EQ(shown("showTrayIconCheck"), tray);
        EXPECT_EQ(shown("noTrayNote"), !tray);
    }
    TrayAvailability::pretend(std::nullopt);

    // Turning the tray icon off brings the task bar entry back.
    find<QCheckBox>("hideTaskbarEntryCheck")->click();
    EXPECT_TRUE(m_windows.hidesTaskbarEntry());
    find<QCheckBox>("showTrayIconCheck")->click();
    EXPECT_FALSE(m_defaults.boolValue("showInMenuBar", true));
    EXPECT_FALSE(m_windows.hidesTaskbarEntry());
    EXPECT_FALSE(m_defaults.boolValue("hideDockIcon", true));
    m_defaults.set("showInMenuBar", true);
    EXPECT_TRUE(find<QCheckBox>("showTrayIconCheck")->isChecked()) << "follows onboarding";
}

// First launch: a name typed and then dismissed with Escape is kept, and Settings renames the
// screen afterwards.
TEST_F(SettingsWindowTest, ANameTypedAtFirstLaunchIsKeptAndCanBeChangedLater)
{
    ASSERT_TRUE(waitUntilRunning(*m_controller));
    {
        OnboardingSheet sheet({.server = *m_controller,
            .defaults = m_defaults,
            .permissions = m_permissions,
            .windows = &m_windows,
            .computerName = QStringLiteral("Front Desk")});
        sheet.show();
        QTest::keyClicks(
            sheet.findChild<QLineEdit*>(QStringLiteral("screenNameField")), "Front Counter");
        sheet.findChild<QPushButton*>(QStringLiteral("continueButton"))->click();
        EXPECT_EQ(sheet.result(), QDialog::Accepted);
    }
    EXPECT_EQ(phoneSees().first, "Front Counter");
    EXPECT_EQ(find<QLineEdit>("screenNameField")->text(), "Front Counter") << "follows";

    rename(QStringLiteral("Back Office"));
    const auto [name, page] = phoneSees();
    EXPECT_EQ(name, "Back Office");
    EXPECT_TRUE(page.contains("Vesker to <b>Back Office</b>")) << page.left(4000).constData();
}

TEST_F(SettingsWindowTest, TheAdvertisingSwitchStopsAndStartsBeingFoundByName)
{
    if (qEnvironmentVariable("VESKER_TEST_SERVICES") != QLatin1String("1"))
        GTEST_SKIP() << "needs the loopback-only avahi-daemon of scripts/with-test-services";
    // Tests of every process share one daemon.
    const QString name = QStringLiteral("Advertised %1 %2")
                             .arg(QCoreApplication::applicationPid())
                             .arg(QRandomGenerator::global()->generate());
    QSet<QString> found;
    platform::DnsSdBrowser browser(QStringLiteral("_vesker._tcp"));
    QObject::connect(&browser, &platform::DnsSdBrowser::found, &browser,
        [&found](const platform::DnsSdFound& service) { found.insert(service.name); });
    QObject::connect(&browser, &platform::DnsSdBrowser::removed, &browser,
        [&found](const QString& gone) { found.remove(gone); });
    rename(name);
    ASSERT_TRUE(waitUntilRunning(*m_controller));
    ASSERT_TRUE(QTest::qWaitFor([&] { return found.contains(name); }, 15000));
    auto* advertise = find<QCheckBox>("advertiseCheck");
    ASSERT_TRUE(advertise->isChecked()) << "on unless turned off";
    const QString listening = QStringLiteral("Listening on port %1").arg(port());

    advertise->click();
    EXPECT_FALSE(ServerController::advertiseOnNetwork(m_defaults));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return m_controller->statusText() == listening + QStringLiteral(" (not discoverable)");
        },
        5000))
        << m_controller->statusText().toStdString();
    EXPECT_EQ(find<QLabel>("serverStatusLabel")->text(), m_controller->statusText());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !found.contains(name); }, 15000))
        << "still found by name";
    EXPECT_FALSE(m_defaults.contains(QStringLiteral("advertisedName")));

    advertise->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_controller->statusText() == listening; }, 5000))
        << m_controller->statusText().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return found.contains(name); }, 15000));
}

} // namespace vesker::test
