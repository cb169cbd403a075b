// The windows rendered to PNG for `make shots`: each part of the program adds its own shots.
#pragma once

#include <QString>

class QPixmap;
class QWidget;

namespace vesker::shots {

// Writes the widget, as laid out at its current size, to <folder>/<name>.png.
void save(QWidget& widget, const QString& name);
// Writes an image already drawn to <folder>/<name>.png.
void saveImage(const QPixmap& image, const QString& name);

// Each takes the folder from save() and its own demo state.
void mainWindowShots();
void settingsShots();
void inboxBarShots();
void sidebarShots();
void codesShots();
void cardActionsShots();
void photoEditingShots();
void captureShots();
void sendSheetShots();
void helpShots();
void focusGuardShots();
void updateShots();
void onboardingShots();
void trayShots();
void appIconShots();

} // namespace vesker::shots
