#include "ui/window_habits.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace vesker {

void closeOnStandardKeys(QWidget& window)
{
    auto* close = new QAction(&window);
    close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)});
    close->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(close, &QAction::triggered, &window, &QWidget::close);
    window.addAction(close);
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
