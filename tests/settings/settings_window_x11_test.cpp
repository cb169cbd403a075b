// The Settings window under the test display's window manager: it comes back on the tab it was
// left on, and in front of the main window, however that window came forward.
#include "settings/settings_window.h"
#include "settings_fixture.h"
#include "window/x11_probe.h"

#include <QApplication>
#include <QComboBox>
#include <QTabWidget>

using namespace vesker;
using namespace vesker::test;

namespace {

constexpr int kWaitMs = 5000;

class SettingsWindowX11Test : public SettingsServicesTest {
protected:
    X11Probe m_x11;
    QWidget m_main;

    void openSettings() { showSettingsWindow(services(), &m_main); }
    SettingsWindow* settings() const
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<SettingsWindow*>(window); found && found->isVisible())
                return found;
        return nullptr;
    }
    bool waitActive(const QWidget* window)
    {
        return QTest::qWaitFor(
            [&] { return window && m_x11.activeWindow() == window->winId(); }, kWaitMs);
    }
};

TEST_F(SettingsWindowX11Test, OpensOnTheTabItWasLeftOnAndInFrontOfTheMainWindow)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "needs scripts/with-test-services";
    ASSERT_TRUE(m_x11.isOpen());
    m_main.setGeometry(100, 100, 800, 600);
    m_main.show();
    m_windows.attach(&m_main);
    m_main.activateWindow();
    ASSERT_TRUE(waitActive(&m_main));

    openSettings();
    ASSERT_TRUE(waitActive(settings()));
    settings()->tabs().setCurrentIndex(3);
    const QString left = settings()->tabs().tabText(3);
    settings()->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !settings(); }, kWaitMs));

    // An arrival brings the main window forward while Settings is open behind it.
    openSettings();
    ASSERT_TRUE(waitActive(settings()));
    EXPECT_EQ(settings()->tabs().tabText(settings()->tabs().currentIndex()), left);
    // As an arrival does; the window manager may take a second request.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (m_x11.activeWindow() == m_main.winId())
                return true;
            m_windows.show();
            QTest::qWait(250);
            return false;
        },
        kWaitMs));
    openSettings();
    EXPECT_TRUE(waitActive(settings())) << "Settings is in front again";
    settings()->close();
}

// Escape in an open drop-down (Access, Clean-up and the rest) closes the drop-down; the window
// stays, and a second Escape closes it.
TEST_F(SettingsWindowX11Test, EscapeInAnOpenDropDownClosesOnlyTheDropDown)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "needs scripts/with-test-services";
    openSettings();
    ASSERT_TRUE(waitActive(settings()));
    QTabWidget& tabs = settings()->tabs();
    int tried = 0;
    for (int tab = 0; tab < tabs.count(); ++tab) {
        tabs.setCurrentIndex(tab);
        QApplication::processEvents();
        for (QComboBox* box : tabs.widget(tab)->findChildren<QComboBox*>()) {
            if (!box->isVisible() || !box->isEnabled())
                continue;
            SCOPED_TRACE((tabs.tabText(tab) + u' ' + box->currentText()).toStdString());
            box->showPopup();
            ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget(); }, kWaitMs));
            QWidget* popup = QApplication::activePopupWidget();
            QTest::keyClick(popup->focusWidget() ? popup->focusWidget() : popup, Qt::Key_Escape);
            EXPECT_TRUE(
                QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }, kWaitMs));
            EXPECT_NE(settings(), nullptr) << "the Settings window closed with the drop-down";
            if (!settings())
                return;
            ++tried;
        }
    }
    EXPECT_GE(tried, 2);
    QTest::keyClick(settings(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !settings(); }, kWaitMs));
}

} // namespace
