// `make shots` for the windows: renders them on the offscreen platform from demo state made in a
// temporary folder, to the folder given as the only argument.
#include "shots.h"

#include "support/palettes.h"
#include "ui/text_style.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdio>

namespace vesker::shots {

namespace {
QString g_folder;
// "_dark" while the windows are drawn a second time in a dark palette.
QString g_suffix;
} // namespace

void save(QWidget& widget, const QString& name)
{
    widget.show();
    QApplication::processEvents();
    saveImage(widget.grab(), name);
}

void saveImage(const QPixmap& image, const QString& name)
{
    const QString path = g_folder + u'/' + name + g_suffix + QStringLiteral(".png");
    if (!image.save(path))
        std::fprintf(stderr, "shots: could not write %s\n", qPrintable(path));
}

} // namespace vesker::shots

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Whatever a view reads or writes through the program's shared settings stays in a home of
    // the shots' own, never the user's.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral(".config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral(".local/share"))));
    // Only into the folder given: run from the source tree with none, it once filled the
    // repository's top with pictures.
    if (argc != 2) {
        std::fputs("usage: vesker_shots <folder for the pictures>\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    vesker::shots::g_folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(vesker::shots::g_folder);
    vesker::shots::mainWindowShots();
    vesker::shots::codesShots();
    vesker::shots::settingsShots();
    vesker::shots::screensSettingsShots();
    vesker::shots::hostedSettingsShots();
    vesker::shots::inboxBarShots();
    vesker::shots::connectSheetShots();
    vesker::shots::sidebarShots();
    vesker::shots::cardActionsShots();
    vesker::shots::photoEditingShots();
    vesker::shots::captureShots();
    vesker::shots::sendSheetShots();
    vesker::shots::helpShots();
    vesker::shots::focusGuardShots();
    vesker::shots::updateShots();
    vesker::shots::onboardingShots();
    vesker::shots::trayShots();
    vesker::shots::appIconShots();

    // A dark desktop (qt6ct's "darker" colours): the main window, a card, Settings (its Hosted and
    // Remote tabs too), Connect, Send and the first launch again. The program mends an unreadable
    // placeholder colour as it would there.
    vesker::keepPlaceholdersReadable();
    QApplication::setPalette(vesker::test::darkerPalette());
    vesker::shots::g_suffix = QStringLiteral("_dark");
    vesker::shots::mainWindowShots();
    vesker::shots::cardActionsShots();
    vesker::shots::settingsShots();
    vesker::shots::screensSettingsShots();
    vesker::shots::hostedSettingsShots();
    vesker::shots::connectSheetShots();
    vesker::shots::sendSheetShots();
    vesker::shots::onboardingShots();
    return 0;
}
