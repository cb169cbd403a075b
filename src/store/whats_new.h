#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace vesker {

struct WhatsNew {
    // The release notes of exactly this version (no trimming, no numeric comparison).
    static std::optional<QString> notes(const QString& version);
    // Every version with notes, newest first; the installed metainfo lists them from here.
    static QStringList versions();
};

} // namespace vesker
