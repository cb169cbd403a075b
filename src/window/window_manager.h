#pragma once

#include "window/window_keys.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QScreen;

namespace vesker {

class FocusGuard;

namespace platform {
class Defaults;
class DisplayWake;
} // namespace platform

// What an arrival does with the main window. Stored as its raw string under "arrivalBehavior";
// the order is the Settings window's.
enum class ArrivalBehavior { Notify, BringForward, FullScreen };
// How full screen is made. Stored under "fullScreenStyle": "space" is the window manager's own
// full screen, "fill" a frameless window over the display's work area.
enum class FullScreenStyle { Space, Fill };

// What may keep an arrival from taking the screen: the focus guard answers. Without one, nothing
// is ever held back.
class ArrivalHold {
public:
    virtual ~ArrivalHold() = default;
    virtual bool doNotDisturb() const = 0;
    // Why the window must stay where it is right now; empty when nothing holds it.
    virtual QString holdReason() const = 0;
    virtual int heldBack() const = 0;
    virtual void setHeldBack(int count) = 0;
};

// The focus guard, asked as the window manager asks any hold.
class FocusGuardHold final : public ArrivalHold {
public:
    explicit FocusGuardHold(FocusGuard& guard)
        : m_guard(guard)
    { }
    bool doNotDisturb() const override;
    QString holdReason() const override;
    int heldBack() const override;
    void setHeldBack(int count) override;

private:
    FocusGuard& m_guard;
};

// Decides what the main window does when an item arrives and whenever something wants the
// user's attention. Publishes nothing: every decision reads the settings and the hold at the
// moment of the call. Main thread only.
class WindowManager : public QObject {
    Q_OBJECT
public:
    WindowManager(platform::Defaults& settings, platform::DisplayWake& wake,
        ArrivalHold* hold = nullptr, QObject* parent = nullptr);
    ~WindowManager() override;

    void setArrivalHold(ArrivalHold* hold) { m_hold = hold; }
    // Makes the main window when none was ever attached (before the first window exists, a
    // show() has nothing to re-show). The new window attaches itself.
    void setWindowFactory(std::function<void()> makeWindow)
    {
        m_makeWindow = std::move(makeWindow);
    }

    static ArrivalBehavior arrivalBehavior(const platform::Defaults& settings);
    static FullScreenStyle fullScreenStyle(const platform::Defaults& settings);
    // How a display is named in "fullScreenDisplay" and in the Settings window: its output name.
    static QString displayName(const QScreen* screen);
    // The display named by "fullScreenDisplay", the first of that name; none when unset or gone.
    static QScreen* chosenScreen(const platform::Defaults& settings);

    // Remembers the main window, replacing any earlier one, and watches it close.
    void attach(QWidget* window);
    // The attached window while it is open; null before the first attach and after it closed.
    QWidget* window() const { return m_window; }
    // The window's geometry before "fill"; empty unless the window is filled.
    std::optional<QRect> savedFrame() const { return m_savedFrame; }

    // Brings the main window forward, or opens it again after it was closed.
    void show();
    // An item arrived: wake the display, or be held back, or act by "arrivalBehavior".
    void handleArrival();
    // Full screen by "fullScreenStyle" on "fullScreenDisplay"; nothing while already full.
    void enterFullScreen();
    // Undoes "fill": the frame comes back and the window its title bar.
    void restoreSavedFrame();
    void wakeDisplayIfWanted();
    // "Hide the Dock icon": here the program's windows stay out of the task bar.
    void applyActivationPolicy(bool hide);
    bool hidesTaskbarEntry() const { return m_skipTaskbar; }
    // Registers or removes the login item (an XDG autostart entry).
    void setLaunchAtLogin(bool enabled);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reopenApp();
    void bringForward(QWidget* window);
    void windowClosed(QWidget* window);

    platform::Defaults& m_settings;
    platform::DisplayWake& m_wake;
    ArrivalHold* m_hold = nullptr;
    std::function<void()> m_makeWindow;

    std::optional<QRect> m_savedFrame;
    QPointer<QWidget> m_window;
    // The main window after it closed: hidden, not destroyed, and shown again by reopenApp().
    QPointer<QWidget> m_closedWindow;
    bool m_fullScreenWhenShown = false;
    bool m_skipTaskbar = false;
};

} // namespace vesker
