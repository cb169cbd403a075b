// The first-run sheet over a real server on 127.0.0.1: what "Continue" applies.
#include "onboarding/onboarding.h"
#include "onboarding/onboarding_sheet.h"
#include "platform/display_wake.h"
#include "platform/launch_at_login.h"
#include "platform/permissions.h"
#include "receive/controller_fixture.h"
#include "ui/tray_availability.h"
#include "window/window_manager.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace vesker;

namespace {

class OnboardingSheetTest : public test::ControllerTest {
protected:
    OnboardingSheetTest()
    {
        m_defaults.set(QStringLiteral("advertiseOnNetwork"), false);
        m_controller = makeController();
        TrayAvailability::pretend(true);
    }
    ~OnboardingSheetTest() override { TrayAvailability::pretend(std::nullopt); }

    // Opens a sheet, lets `edit` change it, and presses Continue.
    void finish(const std::function<void(OnboardingSheet&)>& edit)
    {
        OnboardingSheet sheet({.server = *m_controller,
            .defaults = m_defaults,
            .permissions = m_permissions,
            .windows = &m_windows});
        sheet.show();
        edit(sheet);
        sheet.findChild<QPushButton*>(QStringLiteral("continueButton"))->click();
        EXPECT_EQ(sheet.result(), QDialog::Accepted);
    }

    std::unique_ptr<ServerController> m_controller;
    Permissions m_permissions;
    platform::DisplayWake m_wake;
    WindowManager m_windows {m_defaults, m_wake};
};

TEST_F(OnboardingSheetTest, TheNameFieldRenamesTheScreenWhenTheNameChanges)
{
    ASSERT_TRUE(waitUntilRunning(*m_controller));
    const auto type = [](const QString& name) {
        return [name](OnboardingSheet& sheet) {
            sheet.findChild<QLineEdit*>(QStringLiteral("screenNameField"))->setText(name);
        };
    };
    finish(type(QStringLiteral("  Reception \n")));
    EXPECT_EQ(m_defaults.string(QStringLiteral("screenName")), QStringLiteral("Reception"));
    EXPECT_EQ(m_controller->server()->config().serviceName, QStringLiteral("Reception"));

    // The same name, or only other spaces around it, leaves the server as it runs.
    QSignalSpy replaced(m_controller->server(), &QObject::destroyed);
    finish([](OnboardingSheet&) {});
    finish(type(QStringLiteral(" Reception")));
    EXPECT_EQ(replaced.count(), 0);
}

TEST_F(OnboardingSheetTest, DismissingItAppliesNeitherTheTypedNameNorTheLoginChoice)
{
    ASSERT_TRUE(waitUntilRunning(*m_controller));
    const QString entry = platform::LaunchAtLogin::entryPath();
    QSignalSpy replaced(m_controller->server(), &QObject::destroyed);
    QWidget inbox;
    inbox.show();
    const std::pair<const char*, std::function<void(OnboardingSheet&)>> dismissals[] = {
        {"Escape", [](OnboardingSheet& sheet) { QTest::keyClick(&sheet, Qt::Key_Escape); }},
        {"its close button", [](OnboardingSheet& sheet) { sheet.close(); }},
        {"the window under it closed", [&inbox](OnboardingSheet&) { inbox.hide(); }},
    };
    for (const auto& [how, dismiss] : dismissals) {
        SCOPED_TRACE(how);
        inbox.show();
        OnboardingSheet sheet({.server = *m_controller,
                                  .defaults = m_defaults,
                                  .permissions = m_permissions,
                                  .windows = &m_windows},
            &inbox);
        sheet.show();
        // A name of its own each time, so that each way is seen to apply it or not.
        sheet.findChild<QLineEdit*>(QStringLiteral("screenNameField"))
            ->setText(QStringLiteral("Reception ") + QLatin1String(how));
        sheet.findChild<QCheckBox*>(QStringLiteral("launchAtLoginSwitch"))->click();
        dismiss(sheet);
        EXPECT_EQ(sheet.result(), QDialog::Rejected);
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_EQ(m_defaults.string(QStringLiteral("screenName")).toStdString(), "");
        EXPECT_FALSE(QFile::exists(entry));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(replaced.count(), 0) << "the server was restarted under the typed name";
    const HTTPResponse info = route(*m_controller,
        HTTPRequest {.method = QStringLiteral("GET"),
            .path = QStringLiteral("/api/info"),
            .remoteAddress = QStringLiteral("127.0.0.1")});
    EXPECT_FALSE(info.body.contains("Reception"));
}

TEST_F(OnboardingSheetTest, StartUpChoicesWriteTheAutostartEntryAndKeepTheProgramReachable)
{
    const QString entry = platform::LaunchAtLogin::entryPath();
    ASSERT_TRUE(entry.startsWith(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))));
    finish([](OnboardingSheet& sheet) {
        sheet.findChild<QCheckBox*>(QStringLiteral("launchAtLoginSwitch"))->click();
        sheet.findChild<QCheckBox*>(QStringLiteral("hideTaskbarEntrySwitch"))->click();
    });
    QFile written(entry);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("Exec="));
    EXPECT_TRUE(m_windows.hidesTaskbarEntry());

    // Without the tray icon a hidden task bar entry would leave nothing to reach the program by.
    finish([](OnboardingSheet& sheet) {
        auto* login = sheet.findChild<QCheckBox*>(QStringLiteral("launchAtLoginSwitch"));
        EXPECT_TRUE(login->isChecked());
        login->click();
        sheet.findChild<QCheckBox*>(QStringLiteral("showTrayIconSwitch"))->click();
        EXPECT_FALSE(
            sheet.findChild<QCheckBox*>(QStringLiteral("hideTaskbarEntrySwitch"))->isEnabled());
    });
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(m_defaults.boolValue(QLatin1String(window_keys::kHideTaskbarEntry), true));
    EXPECT_FALSE(m_windows.hidesTaskbarEntry());
}

TEST_F(OnboardingSheetTest, WithoutATrayItOffersNoWayToHideTheWindow)
{
    TrayAvailability::pretend(false);
    m_defaults.set(QLatin1String(window_keys::kHideTaskbarEntry), true);
    finish([](OnboardingSheet& sheet) {
        for (const char* name : {"showTrayIconSwitch", "hideTaskbarEntrySwitch"})
            EXPECT_FALSE(sheet.findChild<QWidget*>(QLatin1String(name))->isVisibleTo(&sheet));
        EXPECT_TRUE(sheet.findChild<QLabel*>(QStringLiteral("trayDescription"))
                        ->text()
                        .contains(QLatin1String("no tray")));
    });
    EXPECT_FALSE(m_windows.hidesTaskbarEntry());
}

TEST(OnboardingStatus, GreenOnlyWhatWorks)
{
    using onboarding::Tone;
    struct Row {
        const char* name;
        onboarding::StatusLine line;
        QString text;
        Tone tone;
    };
    const QList<Row> rows {
        {"listening and found", onboarding::networkStatus(true, "Listening on port 8787"),
            "Listening", Tone::good},
        {"listening, daemon gone",
            onboarding::networkStatus(
                true, "Listening on port 8787", "avahi-daemon is not running"),
            "Listening, but phones can't find this computer: avahi-daemon is not running",
            Tone::bad},
        {"not listening", onboarding::networkStatus(false, "Could not start: port in use"),
            "Could not start: port in use", Tone::neutral},
        {"no notification service", onboarding::permissionStatus(Permissions::Status::unavailable),
            "Not available", Tone::bad},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.line.text, row.text);
        EXPECT_EQ(row.line.tone, row.tone);
    }
}

} // namespace
