#include "settings/settings_window.h"

#include <QPointer>
#include <QWidget>

namespace vesker {

void showSettingsWindow(ServerController&, QWidget* parent)
{
    static QPointer<QWidget> window;
    if (!window) {
        window = new QWidget(parent, Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(QStringLiteral("Settings"));
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace vesker
