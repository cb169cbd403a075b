#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace vesker::platform {

// Writes the whole file aside and renames it into place, so a crash or a full disk never
// leaves a half-written file where the old one was. Returns false and fills `error` on failure.
bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

// Renames a file that could not be decoded to "<path>.unreadable-<UTC time>" so that the next
// save does not overwrite what the user may still want back. Returns the new path, or an empty
// string when there was nothing to keep or the rename failed.
QString keepAside(const QString& path, const QDateTime& now);

} // namespace vesker::platform
