#include "platform/atomic_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesker::platform {

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The rename is only durable once the folder's entry is on disk too. File systems that cannot
// sync a folder say EINVAL; there is nothing more to do on them.
bool syncFolder(const QByteArray& folder, QString* why)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *why = errnoText(errno);
        return false;
    }
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    if (!synced)
        *why = errnoText(errno);
    ::close(fd);
    return synced;
}

} // namespace

QString writeThrough(int fd, const QByteArray& data, const WriteDevice& device)
{
    // Unbuffered, so that every failed write is seen here rather than lost in a buffer that is
    // flushed after the fact.
    QFile file;
    file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
    const std::unique_ptr<QIODevice> through = device ? device(file) : nullptr;
    QIODevice& out = through ? *through : static_cast<QIODevice&>(file);
    qint64 written = 0;
    while (written < data.size()) {
        const qint64 n = out.write(data.constData() + written, data.size() - written);
        if (n <= 0)
            break;
        written += n;
    }
    return written == data.size() ? QString() : out.errorString();
}

namespace {

// Writes `data` to a new file beside `path`, syncs it and renames it over `path`;
// `beforeReplace` runs once the new file is known to be whole.
bool replaceWhole(const QString& path, const QByteArray& data, const WriteDevice& device,
    const std::function<void()>& beforeReplace, QString* error)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temp
        = target + ".new-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };

    // 0666 lets the umask decide, as for any file the user's programs create.
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(errnoText(errno));
    struct stat existing { };
    if (::stat(target.constData(), &existing) == 0)
        ::fchmod(fd, existing.st_mode & 07777);

    QString why = writeThrough(fd, data, device);
    struct stat made { };
    if (why.isEmpty() && ::fsync(fd) != 0)
        why = errnoText(errno);
    if (why.isEmpty() && (::fstat(fd, &made) != 0 || made.st_size != data.size()))
        why = QStringLiteral("the file on disk is shorter than what was written");
    if (::close(fd) != 0 && why.isEmpty())
        why = errnoText(errno);
    if (why.isEmpty() && beforeReplace)
        beforeReplace();
    if (why.isEmpty() && ::rename(temp.constData(), target.constData()) != 0)
        why = errnoText(errno);
    if (!why.isEmpty()) {
        ::unlink(temp.constData());
        return fail(why);
    }
    if (!syncFolder(QFile::encodeName(QFileInfo(path).absolutePath()), &why))
        return fail(why);
    return true;
}

} // namespace

bool AtomicFile::write(const QByteArray& data, const QDateTime& now, QString* error)
{
    return replaceWhole(
        m_path, data, m_device,
        [&] {
            if (m_keepAside) {
                keepAside(m_path, now);
                m_keepAside = false;
            }
        },
        error);
}

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error)
{
    return replaceWhole(path, data, {}, {}, error);
}

namespace {

QString asideName(const QString& path, const QDateTime& now)
{
    const QString stamp = now.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss")) + u'Z';
    QString target = path + QStringLiteral(".unreadable-") + stamp;
    // Two failures within one second must not overwrite the first copy kept aside.
    for (int n = 2; QFile::exists(target); ++n)
        target = path + QStringLiteral(".unreadable-") + stamp + u'-' + QString::number(n);
    return target;
}

} // namespace

QString keepAside(const QString& path, const QDateTime& now)
{
    if (!QFile::exists(path))
        return {};
    const QString target = asideName(path, now);
    return QFile::rename(path, target) ? target : QString();
}

QString keepCopyAside(const QString& path, const QDateTime& now)
{
    if (!QFile::exists(path))
        return {};
    const QString target = asideName(path, now);
    return ::link(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) == 0
        ? target
        : QString();
}

} // namespace vesker::platform
