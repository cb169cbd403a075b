// The windows rendered to PNG for `make shots`: each part of the program adds its own shots.
#pragma once

#include "http/network_addresses.h"

#include <QList>
#include <QString>

class QPixmap;
class QWidget;

namespace vesker::shots {

// Writes the widget, as laid out at its current size, to <folder>/<name>.png.
void save(QWidget& widget, const QString& name);
// Writes an image already drawn to <folder>/<name>.png.
void saveImage(const QPixmap& image, const QString& name);

// The one address every shot's computer has, on Wi-Fi, whatever the machine taking them has.
inline QList<NetworkAddress> demoAddresses()
{
    return {{QStringLiteral("wlan0"), kWifiLabel, QStringLiteral("192.168.1.24")}};
}

// Each takes the folder from save() and its own demo state.
void mainWindowShots();
void settingsShots();
void screensSettingsShots();
void hostedSettingsShots();
void inboxBarShots();
void connectSheetShots();
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
