#pragma once

#include <QString>

namespace vesker::platform {

// Named alert sounds ("Glass", "Pop", "Tink"), played from the desktop's sound theme. Silent
// where no sound server runs or the user turned event sounds off. Never blocks the caller.
class Sounds {
public:
    static void play(const QString& name);
    // The freedesktop sound-theme event id that stands for a named sound; empty for none.
    static QString eventID(const QString& name);
};

} // namespace vesker::platform
