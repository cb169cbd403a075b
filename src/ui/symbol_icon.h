#pragma once

#include <QIcon>
#include <QPalette>
#include <QString>

namespace vesker {

// A system-symbol name as the views use it ("iphone", "tray") drawn from the bundled SVG it maps
// to, tinted with a palette colour so that it follows light and dark themes. Each symbol is drawn
// once per colour and kept. An unknown name gives a null icon.
QIcon symbolIcon(const QString& symbol, const QPalette& palette,
    QPalette::ColorRole role = QPalette::WindowText);

} // namespace vesker
