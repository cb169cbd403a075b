#pragma once

#include <QString>

namespace vesker {

struct AppVersion {
    // The program's short version ("1.11.4"); "1.0" when the build set none.
    static QString current();
};

} // namespace vesker
