#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vesker::platform {

// The folder of the temporary folder where the program keeps files it makes for itself (pasted
// images, captured areas, edited photos): "Vesker" under QDir::tempPath(), readable only by
// this user. Created with mode 0700 when missing, tightened to 0700 when it is ours but looser.
// None when it cannot be trusted: a symlink, not a folder, or another user's.
std::optional<QString> privateTempFolder();

// Writes `data` whole into `name` inside the private folder, readable only by this user, and
// returns its path; a name that is taken gets " 2", " 3", ... before its extension. None when
// the folder cannot be trusted or the write fails.
std::optional<QString> writePrivateTempFile(const QString& name, const QByteArray& data);

} // namespace vesker::platform
