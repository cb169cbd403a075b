#pragma once

#include <QString>

class QWidget;

namespace vesker {

class Permissions;

// Puts `value` on the clipboard and, where this desktop lets the program type into other
// windows, hides `window` so that the window used before it takes the focus back, then presses
// Ctrl+V there 350 ms later. False when only the clipboard holds the value and the user must
// paste by hand; `permissions` is then asked again, for the views that show it.
bool pasteIntoFrontApp(const QString& value, QWidget* window, Permissions& permissions);

// What the card says when the value could not be typed for the user.
QString pasteByHandText();

} // namespace vesker
