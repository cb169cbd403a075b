#include "settings/settings_window.h"

#include "receive/server_controller.h"
#include "settings/access_settings_view.h"
#include "settings/general_settings_view.h"
#include "settings/hosted_screens_settings_view.h"
#include "settings/remote_screens_settings_view.h"

#include <QPointer>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vesker {

namespace {

// A tab taller than a small screen still shows all of itself.
QScrollArea* scrolling(QWidget* content)
{
    auto* area = new QScrollArea;
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(content);
    return area;
}

} // namespace

SettingsWindow::SettingsWindow(const Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Settings"));
    resize(kDefaultSize);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("settingsTabs"));
    m_tabs->setDocumentMode(true);
    auto* general = new GeneralSettingsView(services.defaults, services.windows,
        services.focusGuard, services.permissions, services.updater);
    general->setObjectName(QStringLiteral("generalTab"));
    m_tabs->addTab(scrolling(general), QStringLiteral("General"));
    auto* access
        = new AccessSettingsView(services.controller.access(), services.defaults, services.clock);
    access->setObjectName(QStringLiteral("accessTab"));
    m_tabs->addTab(scrolling(access), QStringLiteral("Access"));
    m_tabs->addTab(
        scrolling(new HostedScreensSettingsView(services.controller.hosted(), services.defaults)),
        QStringLiteral("Hosted"));
    m_tabs->addTab(
        scrolling(new RemoteScreensSettingsView(services.controller.remote(), services.defaults)),
        QStringLiteral("Remote"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
}

void showSettingsWindow(const SettingsWindowServices& services, QWidget* parent)
{
    static QPointer<SettingsWindow> window;
    if (!window) {
        window = new SettingsWindow(services, parent);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace vesker
