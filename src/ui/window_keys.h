#pragma once

class QWidget;

namespace vesker {

// Escape and Ctrl+W close a window of the program's own (Settings, Help), as they close one
// anywhere else on the desktop.
void closeOnStandardKeys(QWidget& window);

} // namespace vesker
