#include "app/menu_commands.h"

#include "card/card_keys.h"
#include "help/help_window.h"
#include "platform/defaults.h"
#include "platform/service_hosts.h"
#include "update/updater.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QUrl>

namespace vesker {

namespace {

constexpr auto kSimpleModeKey = card_keys::kSimpleMode;

QAction* command(QMenu& menu, const QString& name, const QString& title, QObject* receiver,
    std::function<void()> act)
{
    QAction* action = menu.addAction(title);
    action->setObjectName(name);
    QObject::connect(action, &QAction::triggered, receiver, std::move(act));
    return action;
}

} // namespace

MenuCommands::MenuCommands(QMenuBar& bar, QMenu& file, Services services, QObject* parent)
    : QObject(parent)
    , m_services(services)
{
    m_checkForUpdates = new QAction(QStringLiteral("Check for Updates…"), &file);
    m_checkForUpdates->setObjectName(QStringLiteral("checkForUpdatesAction"));
    m_checkForUpdates->setMenuRole(QAction::ApplicationSpecificRole);
    // Queued, so that the menu has closed before the updater's alert can appear.
    connect(m_checkForUpdates, &QAction::triggered, this, [this] {
        QTimer::singleShot(
            0, &m_services.updater, [updater = &m_services.updater] { updater->checkNow(); });
    });
    const QList<QAction*> fileActions = file.actions();
    file.insertAction(fileActions.value(0), m_checkForUpdates);
    file.insertSeparator(fileActions.value(0));

    QMenu* edit = bar.addMenu(QStringLiteral("&Edit"));
    m_pasteAndSend = command(*edit, QStringLiteral("pasteAndSendAction"),
        QStringLiteral("Paste and Send…"), this, [this] { Q_EMIT pasteAndSendRequested(); });
    m_pasteAndSend->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));

    QMenu* view = bar.addMenu(QStringLiteral("&View"));
    m_simpleMode = command(
        *view, QStringLiteral("simpleModeAction"), QStringLiteral("Simple Mode"), this, [this] {
            const QString key = QLatin1String(kSimpleModeKey);
            m_services.defaults.set(key, !m_services.defaults.boolValue(key, false));
        });
    m_simpleMode->setCheckable(true);
    m_simpleMode->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    // The mark shows the stored value, whoever wrote it (the Settings window writes it too).
    connect(&m_services.defaults, &platform::Defaults::changed, this, [this](const QString& key) {
        if (key == QLatin1String(kSimpleModeKey))
            followSimpleMode();
    });
    followSimpleMode();

    addHelpMenu(bar);
}

void MenuCommands::addHelpMenu(QMenuBar& bar)
{
    QMenu* help = bar.addMenu(QStringLiteral("&Help"));
    HelpWindowController& controller = m_services.help;
    m_help = command(*help, QStringLiteral("helpAction"), QStringLiteral("Vesker Help"), this,
        [&controller] { controller.show(); });
    // Ctrl+? is typed as Ctrl+Shift+/ on most layouts; Qt matches either way.
    m_help->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Question));
    help->addSeparator();
    m_keyboardShortcuts = command(*help, QStringLiteral("keyboardShortcutsAction"),
        QStringLiteral("Keyboard Shortcuts"), this,
        [&controller] { controller.show(QStringLiteral("arrives")); });
    m_troubleshooting
        = command(*help, QStringLiteral("troubleshootingAction"), QStringLiteral("Troubleshooting"),
            this, [&controller] { controller.show(QStringLiteral("trouble")); });
    help->addSeparator();
    m_supportWebsite
        = command(*help, QStringLiteral("supportWebsiteAction"), QStringLiteral("Support Website"),
            this, [] { QDesktopServices::openUrl(QUrl(QLatin1String(kSupportPageAddress))); });
    m_privacy = command(*help, QStringLiteral("privacyAction"), QStringLiteral("Privacy"), this,
        [] { QDesktopServices::openUrl(QUrl(QLatin1String(kPrivacyPageAddress))); });
}

void MenuCommands::followSimpleMode()
{
    const bool on = m_services.defaults.boolValue(QLatin1String(kSimpleModeKey), false);
    if (m_simpleMode->isChecked() != on) {
        const QSignalBlocker quiet(m_simpleMode);
        m_simpleMode->setChecked(on);
    }
}

} // namespace vesker
