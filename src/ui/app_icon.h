#pragma once

#include <QIcon>
#include <QList>

namespace vesker {

// The application's own icon, the one the desktop entry names (com.halvane.Vesker): every size
// a panel or a task bar asks for, drawn at build time from its SVGs (the small sides from
// drawings of their own on whole pixels).
QIcon appIcon();

// The sides it is drawn at; other sizes are scaled from the nearest.
QList<int> appIconSides();

} // namespace vesker
