#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;

namespace vesker::platform {

// One file of the user's data that is only ever replaced whole. A write counts only when every
// byte has reached the disk: the bytes go to a new file beside it and are synced, and only then
// does the new file take the old one's place (the folder is synced after the rename). Any
// failure leaves the old file as it was and says why, so a full disk can never leave an empty
// or shortened file behind.
class AtomicFile {
public:
    explicit AtomicFile(QString path)
        : m_path(std::move(path))
    { }

    const QString& path() const { return m_path; }

    // The file on disk could not be read: the next successful write first renames it to
    // "<path>.unreadable-<UTC time>", so that what the user may still want back is not lost.
    void keepAsideBeforeNextWrite() { m_keepAside = true; }

    // `now` names the copy kept aside. Not thread-safe: one writer at a time.
    bool write(const QByteArray& data, const QDateTime& now, QString* error = nullptr);

private:
    QString m_path;
    bool m_keepAside = false;
};

// A whole file written as AtomicFile does, for files written once.
bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

// Renames a file that could not be decoded to "<path>.unreadable-<UTC time>". Returns the new
// path, or an empty string when there was nothing to keep or the rename failed.
QString keepAside(const QString& path, const QDateTime& now);

// For tests of full disks and failing media: while set, the bytes of every atomic write pass
// through the device the hook returns for the new file (open for writing), instead of straight
// into the file.
using WriteDeviceHook = std::function<std::unique_ptr<QIODevice>(QIODevice& file)>;
void setWriteDeviceHookForTesting(WriteDeviceHook hook);

} // namespace vesker::platform
