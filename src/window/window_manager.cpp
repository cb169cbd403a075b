#include "window/window_manager.h"

#include "focus_guard/focus_guard.h"

#include "platform/defaults.h"
#include "platform/display_wake.h"
#include "platform/launch_at_login.h"
#include "platform/log.h"
#include "platform/x11_window_state.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace vesker {

namespace {

// The delays that let the window system catch up: the activation to be answered, a move to
// another display to land before full screen, a newly shown window to be mapped.
constexpr int kActivationCheckMs = 250;
constexpr int kFullScreenAfterMoveMs = 150;
constexpr int kFullScreenAfterAttachMs = 300;

bool onX11()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// Takes the title bar away or gives it back while the window stays on screen. QWidget's own
// way hides the window and shows it again: the hide makes the widgets forget their active
// window, while Qt keeps the same native window as the one with the focus. The window manager
// hands the keyboard straight back to that window, so for Qt nothing changed and the window is
// never made active again: its shortcuts, F11 included, are dead until a click.
void setFrameless(QWidget* window, bool frameless)
{
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::FramelessWindowHint, frameless);
    if (flags == window->windowFlags())
        return;
    QWindow* native = window->windowHandle();
    if (!native) {
        // Never shown: there is nothing to hide yet.
        window->setWindowFlags(flags);
        return;
    }
    window->overrideWindowFlags(flags);
    native->setFlags(flags);
}

// The window manager applies a change of title bar in its own time and, when it does, may put
// the window back where it last placed it, dropping the frame asked for just before (seen under
// load: a filled window that stayed filled). For a short while the frame is asked for again
// whenever the window is placed elsewhere.
constexpr int kGeometryHoldMs = 3000;

void holdGeometry(QWidget* window, const QRect& geometry)
{
    class Hold : public QObject {
    public:
        Hold(QWidget* window, const QRect& geometry)
            : QObject(window)
            , m_window(window)
            , m_geometry(geometry)
        {
            setObjectName(QStringLiteral("geometryHold"));
            window->installEventFilter(this);
            QTimer::singleShot(kGeometryHoldMs, this, &QObject::deleteLater);
        }

    protected:
        bool eventFilter(QObject*, QEvent* event) override
        {
            if ((event->type() == QEvent::Move || event->type() == QEvent::Resize)
                && m_window->geometry() != m_geometry) {
                // Not from inside the window's own event: the request goes out on the next turn.
                QTimer::singleShot(0, this, [this] {
                    if (m_window->geometry() != m_geometry)
                        m_window->setGeometry(m_geometry);
                });
            }
            return false;
        }

    private:
        QWidget* m_window;
        QRect m_geometry;
    };
    // A newer frame replaces the one held before.
    for (QObject* earlier :
        window->findChildren<QObject*>(QStringLiteral("geometryHold"), Qt::FindDirectChildrenOnly))
        delete earlier;
    window->setGeometry(geometry);
    new Hold(window, geometry);
}

} // namespace

WindowManager::WindowManager(
    platform::Defaults& settings, platform::DisplayWake& wake, ArrivalHold* hold, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_wake(wake)
    , m_hold(hold)
{ }

WindowManager::~WindowManager()
{
    if (m_skipTaskbar && qApp)
        qApp->removeEventFilter(this);
}

bool FocusGuardHold::doNotDisturb() const
{
    return m_guard.doNotDisturb();
}

QString FocusGuardHold::holdReason() const
{
    return m_guard.holdReason().value_or(QString());
}

int FocusGuardHold::heldBack() const
{
    return int(m_guard.heldBack());
}

void FocusGuardHold::setHeldBack(int count)
{
    m_guard.setHeldBack(count);
}

ArrivalBehavior WindowManager::arrivalBehavior(const platform::Defaults& settings)
{
    const QString raw = settings.string(QLatin1String(window_keys::kArrivalBehavior));
    if (raw == QLatin1String("notify"))
        return ArrivalBehavior::Notify;
    if (raw == QLatin1String("fullScreen"))
        return ArrivalBehavior::FullScreen;
    return ArrivalBehavior::BringForward;
}

FullScreenStyle WindowManager::fullScreenStyle(const platform::Defaults& settings)
{
    return settings.string(QLatin1String(window_keys::kFullScreenStyle)) == QLatin1String("space")
        ? FullScreenStyle::Space
        : FullScreenStyle::Fill;
}

QString WindowManager::displayName(const QScreen* screen)
{
    return screen->name();
}

QScreen* WindowManager::chosenScreen(const platform::Defaults& settings)
{
    const QString wanted = settings.string(QLatin1String(window_keys::kFullScreenDisplay));
    if (wanted.isEmpty())
        return nullptr;
    for (QScreen* screen : QGuiApplication::screens()) {
        if (displayName(screen) == wanted)
            return screen;
    }
    return nullptr;
}

void WindowManager::attach(QWidget* window)
{
    if (m_window && m_window != window)
        m_window->removeEventFilter(this);
    m_window = window;
    m_closedWindow = nullptr;
    // Closing hides the main window; it is shown again, never rebuilt, on the next arrival.
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->installEventFilter(this);
    if (m_fullScreenWhenShown) {
        m_fullScreenWhenShown = false;
        QTimer::singleShot(kFullScreenAfterAttachMs, this, &WindowManager::enterFullScreen);
    }
}

void WindowManager::show()
{
    if (m_hold)
        m_hold->setHeldBack(0);
    if (!m_window) {
        reopenApp();
        return;
    }
    bringForward(m_window);
    // A window manager may refuse the first request (focus-stealing prevention); ask once more.
    QTimer::singleShot(kActivationCheckMs, this, [this] {
        if (QGuiApplication::applicationState() != Qt::ApplicationActive)
            reopenApp();
    });
}

void WindowManager::reopenApp()
{
    if (!m_window && m_closedWindow)
        attach(m_closedWindow);
    if (m_window)
        bringForward(m_window);
    else if (m_makeWindow)
        m_makeWindow();
    else
        qCInfo(lcArrival).noquote() << "[arrival] no window to bring forward";
}

void WindowManager::bringForward(QWidget* window)
{
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

void WindowManager::handleArrival()
{
    if (!m_hold || !m_hold->doNotDisturb())
        wakeDisplayIfWanted();
    const QString reason = m_hold ? m_hold->holdReason() : QString();
    if (!reason.isEmpty()) {
        m_hold->setHeldBack(m_hold->heldBack() + 1);
        qCInfo(lcArrival).noquote() << "[arrival] not taking the screen: " + reason;
        return;
    }
    switch (arrivalBehavior(m_settings)) {
    case ArrivalBehavior::Notify:
        return;
    case ArrivalBehavior::BringForward:
        show();
        return;
    case ArrivalBehavior::FullScreen:
        if (!m_window)
            m_fullScreenWhenShown = true;
        show();
        enterFullScreen();
        return;
    }
}

void WindowManager::enterFullScreen()
{
    QWidget* window = m_window;
    if (!window || window->isFullScreen() || m_savedFrame)
        return;
    QScreen* chosen = chosenScreen(m_settings);
    if (fullScreenStyle(m_settings) == FullScreenStyle::Space) {
        // The window manager makes a window full screen on the display it is on.
        if (chosen && window->screen() != chosen) {
            const QRect area = chosen->availableGeometry();
            const QSize size = window->frameGeometry().size();
            window->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
        }
        QTimer::singleShot(kFullScreenAfterMoveMs, window, [window] { window->showFullScreen(); });
        return;
    }
    QScreen* target = chosen ? chosen : window->screen();
    if (!target)
        target = QGuiApplication::primaryScreen();
    if (!target)
        return;
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        // The compositor places windows itself: the frame can grow to the display's size, but
        // it stays wherever the compositor puts it.
        static bool told = false;
        if (!told) {
            told = true;
            qCInfo(lcArrival).noquote()
                << "[window] on Wayland \"fill\" can only resize the window, not place it";
        }
    }
    m_savedFrame = window->geometry();
    setFrameless(window, true);
    holdGeometry(window, target->availableGeometry());
    bringForward(window);
}

void WindowManager::restoreSavedFrame()
{
    if (!m_window || !m_savedFrame)
        return;
    const QRect frame = *m_savedFrame;
    m_savedFrame.reset();
    setFrameless(m_window, false);
    holdGeometry(m_window, frame);
    bringForward(m_window);
}

void WindowManager::wakeDisplayIfWanted()
{
    if (m_settings.boolValue(QLatin1String(window_keys::kWakeDisplayOnArrival), false))
        m_wake.declareUserActivity();
}

void WindowManager::applyActivationPolicy(bool hide)
{
    if (hide == m_skipTaskbar)
        return;
    m_skipTaskbar = hide;
    // Windows shown later get the state as they appear: a withdrawn window loses its state.
    if (hide)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
    if (!onX11())
        return;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible())
            platform::setSkipTaskbar(widget->winId(), hide);
    }
}

void WindowManager::setLaunchAtLogin(bool enabled)
{
    QString error;
    if (!platform::LaunchAtLogin::setEnabled(enabled, {}, &error))
        qCWarning(lcArrival).noquote() << "Launch at login change failed: " + error;
}

bool WindowManager::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && m_skipTaskbar && onX11() && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow())
            platform::setSkipTaskbar(widget->winId(), true);
    } else if (event->type() == QEvent::Close && watched == m_window) {
        // The window may refuse to close: it counts as closed only once it is gone from view.
        QTimer::singleShot(0, this, [this, window = QPointer<QWidget>(m_window)] {
            if (window && !window->isVisible())
                windowClosed(window);
        });
    }
    return QObject::eventFilter(watched, event);
}

void WindowManager::windowClosed(QWidget* window)
{
    if (window != m_window)
        return;
    m_window = nullptr;
    m_closedWindow = window;
    // A filled window comes back as it was before, with its title bar.
    if (m_savedFrame) {
        setFrameless(window, false);
        window->setGeometry(*m_savedFrame);
        m_savedFrame.reset();
    }
}

} // namespace vesker
