#include "shots.h"

#include "app/menu_commands.h"
#include "help/help_window.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "update/updater.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

namespace vesker::shots {

namespace {

void menuShots(HelpWindowController& help, platform::Defaults& defaults)
{
    QMenuBar bar;
    QMenu* file = bar.addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("Settings…"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    file->addSeparator();
    file->addAction(QStringLiteral("Quit"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    Updater updater {defaults, platform::Clock::system(), {.manifestUrl = QUrl()}};
    MenuCommands commands(bar, *file, {defaults, updater, help});
    for (QMenu* menu : bar.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
        menu->popup(QPoint(0, 0));
        QApplication::processEvents();
        saveImage(
            menu->grab(), QStringLiteral("menu_%1").arg(menu->title().remove(u'&').toLower()));
        menu->hide();
    }
}

} // namespace

void helpShots()
{
    QTemporaryDir dir;
    platform::Defaults defaults(
        dir.filePath(QStringLiteral("defaults.json")), platform::Clock::system());
    HelpSelection selection;
    HelpWindowController help(selection, defaults);
    help.show();
    HelpWindow& window = *help.window();
    save(window, QStringLiteral("help_all_topics"));
    help.show(QStringLiteral("arrives"));
    save(window, QStringLiteral("help_keyboard_shortcuts"));
    auto* search = window.findChild<QLineEdit*>(QStringLiteral("helpSearch"));
    search->setText(QStringLiteral("relay"));
    save(window, QStringLiteral("help_search"));
    search->setText(QStringLiteral("xylophone"));
    save(window, QStringLiteral("help_nothing_found"));
    menuShots(help, defaults);
}

} // namespace vesker::shots
