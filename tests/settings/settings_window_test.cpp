#include "settings/settings_window.h"

#include "access/access_manager.h"
#include "focus_guard/focus_guard.h"
#include "platform/display_wake.h"
#include "platform/launch_at_login.h"
#include "platform/permissions.h"
#include "receive/controller_fixture.h"
#include "support/fake_workspace.h"
#include "update/updater.h"
#include "window/window_manager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTreeWidget>

namespace vesker::test {

class SettingsWindowTest : public ControllerTest {
protected:
    std::unique_ptr<ServerController> m_controller = makeController();
    platform::DisplayWake m_wake;
    WindowManager m_windows {m_defaults, m_wake};
    FakeWorkspace m_workspace;
    FocusGuard m_focus {m_defaults, m_workspace};
    Permissions m_permissions;
    Updater m_updater {m_defaults, m_clock, {.manifestUrl = QUrl()}};
    SettingsWindow m_window {{.controller = *m_controller,
        .defaults = m_defaults,
        .clock = m_clock,
        .windows = m_windows,
        .focusGuard = m_focus,
        .permissions = m_permissions,
        .updater = m_updater}};

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
    QJsonObject browserItems()
    {
        HTTPRequest request {"GET", "/api/items", {}};
        request.remoteAddress = QStringLiteral("127.0.0.1");
        const HTTPResponse reply = route(*m_controller, request);
        EXPECT_EQ(reply.status, 200);
        return QJsonDocument::fromJson(reply.body).object();
    }
};

TEST_F(SettingsWindowTest, AccessChoicesRuleWhatTheServerAllows)
{
    choose("accessPolicyPicker", QStringLiteral("code"));
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
    m_window.tabs().setCurrentIndex(1);
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

} // namespace vesker::test
