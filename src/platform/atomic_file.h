#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;

namespace vesker::platform {

// What the bytes of a write pass through on their way into the new file (open for writing).
// Empty, or returning no device: straight into the file. Tests of full disks and failing media
// hand in a device that fails; nothing else does.
using WriteDevice = std::function<std::unique_ptr<QIODevice>(QIODevice& file)>;

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

    // Set while no write is under way.
    void setWriteDevice(WriteDevice device) { m_device = std::move(device); }

    // `now` names the copy kept aside. Not thread-safe: one writer at a time.
    bool write(const QByteArray& data, const QDateTime& now, QString* error = nullptr);

private:
    QString m_path;
    WriteDevice m_device;
    bool m_keepAside = false;
};

// Writes every byte of `data` to the open file `fd` through `device` (see WriteDevice), without
// syncing: no text when all of it was written, else why not.
QString writeThrough(int fd, const QByteArray& data, const WriteDevice& device);

// A whole file written as AtomicFile does, for files written once.
bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

// Renames a file that could not be decoded to "<path>.unreadable-<UTC time>". Returns the new
// path, or an empty string when there was nothing to keep or the rename failed.
QString keepAside(const QString& path, const QDateTime& now);
// The same under a second name (a hard link), leaving the file where it is.
QString keepCopyAside(const QString& path, const QDateTime& now);

} // namespace vesker::platform
