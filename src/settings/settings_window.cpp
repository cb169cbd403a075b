#include "settings/settings_window.h"

#include "receive/server_controller.h"
#include "settings/access_settings_view.h"
#include "settings/display_settings_view.h"
#include "settings/general_settings_view.h"
#include "settings/hosted_screens_settings_view.h"
#include "settings/remote_screens_settings_view.h"
#include "settings/screens_settings_view.h"
#include "ui/wheel_guard.h"
#include "ui/window_habits.h"

#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace vesker {

namespace {

constexpr int kActivationCheckMs = 250;

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
    closeOnStandardKeys(*this);
    wheelChangesOnlyFocusedControls(*this);
    resize(kDefaultSize);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("settingsTabs"));
    m_tabs->setDocumentMode(true);
    auto* general = new GeneralSettingsView(services.defaults, services.windows,
        services.focusGuard, services.permissions, services.updater);
    general->setObjectName(QStringLiteral("generalTab"));
    m_tabs->addTab(scrolling(general), QStringLiteral("General"));
    auto* display = new DisplaySettingsView(services.defaults);
    display->setObjectName(QStringLiteral("displayTab"));
    m_tabs->addTab(scrolling(display), QStringLiteral("Display"));
    auto* access
        = new AccessSettingsView(services.controller.access(), services.defaults, services.clock);
    access->setObjectName(QStringLiteral("accessTab"));
    m_tabs->addTab(scrolling(access), QStringLiteral("Access"));
    auto* screens = new ScreensSettingsView(services.controller, services.defaults,
        {.directory = services.directory, .discover = services.discoverScreens});
    screens->setObjectName(QStringLiteral("screensTab"));
    m_tabs->addTab(scrolling(screens), QStringLiteral("Screens"));
    m_tabs->addTab(scrolling(new HostedScreensSettingsView(services.controller.hosted(),
                       services.controller.remote(), services.defaults)),
        QStringLiteral("Hosted"));
    m_tabs->addTab(
        scrolling(new RemoteScreensSettingsView(services.controller.remote(), services.defaults)),
        QStringLiteral("Remote"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
    // The server fell back to its default port: said where a person looks for the port.
    if (const QString notice = services.controller.portNotice(); !notice.isEmpty()) {
        auto* line = new QLabel(notice, this);
        line->setObjectName(QStringLiteral("portNotice"));
        line->setTextFormat(Qt::PlainText);
        line->setWordWrap(true);
        line->setContentsMargins(12, 6, 12, 6);
        layout->addWidget(line);
    }
    // As tall as the longest page wants, so that no page scrolls where the screen has room (a
    // larger desktop font makes them all longer); placing the window on its screen caps it.
    int tallest = 0;
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (auto* area = qobject_cast<QScrollArea*>(m_tabs->widget(i))) {
            const QWidget* page = area->widget();
            tallest = std::max(tallest,
                page->hasHeightForWidth() ? page->heightForWidth(kDefaultSize.width())
                                          : page->sizeHint().height());
        }
    }
    const int around = layout->sizeHint().height() - m_tabs->sizeHint().height()
        + m_tabs->tabBar()->sizeHint().height()
        + 2 * m_tabs->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    resize(kDefaultSize.width(), std::max(kDefaultSize.height(), tallest + around));
}

void showSettingsWindow(const SettingsWindowServices& services, QWidget* parent)
{
    static QPointer<SettingsWindow> window;
    // Kept for the next window, as a person expects to find it again.
    static int lastTab = 0;
    // A closed window is only waiting to be deleted; showing it again would show it for a moment.
    if (window && !window->isVisible())
        window = nullptr;
    if (!window) {
        window = new SettingsWindow(services, parent);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->tabs().setCurrentIndex(std::clamp(lastTab, 0, window->tabs().count() - 1));
        QObject::connect(&window->tabs(), &QTabWidget::currentChanged, window,
            [](int index) { lastTab = index; });
        placeOnScreen(*window, parent);
    }
    window->show();
    window->raise();
    window->activateWindow();
    // A window manager may refuse the first request (focus-stealing prevention, most often
    // right after the main window was brought forward); ask once more.
    QTimer::singleShot(kActivationCheckMs, window, [] {
        if (window && !window->isActiveWindow()) {
            window->raise();
            window->activateWindow();
        }
    });
}

} // namespace vesker
