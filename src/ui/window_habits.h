#pragma once

class QWidget;

namespace vesker {

// Escape and Ctrl+W close a window of the program's own (Settings, Help), as they close one
// anywhere else on the desktop.
void closeOnStandardKeys(QWidget& window);

// Opens a window in the middle of the screen `near` is on (the primary one without it), no taller
// than that screen leaves room for.
void placeOnScreen(QWidget& window, const QWidget* near);

} // namespace vesker
