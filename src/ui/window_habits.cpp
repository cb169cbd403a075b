#include "ui/window_habits.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace vesker {

namespace {

// An open drop-down closes on its own Escape as the key arrives, before the window's shortcuts
// are looked at; the window's Escape then sits this key out.
class DropDownEscape : public QObject {
public:
    explicit DropDownEscape(QAction& close)
        : QObject(&close)
        , m_close(close)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride
            && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape
            && QApplication::activePopupWidget() && m_close.isEnabled()) {
            m_close.setEnabled(false);
            QTimer::singleShot(0, &m_close, [close = &m_close] { close->setEnabled(true); });
        }
        return false;
    }

private:
    QAction& m_close;
};

} // namespace

void closeOnStandardKeys(QWidget& window)
{
    auto* close = new QAction(&window);
    close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)});
    close->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(close, &QAction::triggered, &window, &QWidget::close);
    window.addAction(close);
    new DropDownEscape(*close);
}

void placeOnScreen(QWidget& window, const QWidget* near)
{
    const QScreen* screen = near ? near->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The title bar is the window manager's, outside the widget's own height; before the window
    // was first shown its height is not known, and the size keeps room for a usual one.
    constexpr int kUsualTitleBar = 40;
    const int titleBar = window.geometry().top() - window.frameGeometry().top();
    const QMargins frame(0, titleBar, 0, 0);
    const QSize size(std::min(window.width(), area.width()),
        std::min(window.height(), area.height() - std::max(titleBar, kUsualTitleBar)));
    window.resize(size);
    window.move(area.center() - QPoint(size.width() / 2, (size.height() + frame.top()) / 2));
}

} // namespace vesker
