#pragma once

#include <QString>

#include <optional>

namespace vesker {

struct WhatsNew {
    // The release notes of exactly this version (no trimming, no numeric comparison).
    static std::optional<QString> notes(const QString& version);
};

} // namespace vesker
