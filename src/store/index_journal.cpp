#include "store/index_journal.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesker {

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return false;
}

std::optional<IndexJournal::Entry> decodeLine(QByteArrayView line)
{
    const QJsonDocument doc
        = QJsonDocument::fromJson(QByteArray::fromRawData(line.data(), line.size()));
    const QJsonObject object = doc.object();
    if (const QJsonValue put = object.value(QLatin1String("put")); put.isObject()) {
        auto item = ScreenItem::fromJson(put.toObject());
        if (!item)
            return std::nullopt;
        const QUuid id = item->id;
        return IndexJournal::Entry {id, std::move(item)};
    }
    const QUuid removed = QUuid::fromString(object.value(QLatin1String("remove")).toString());
    if (removed.isNull())
        return std::nullopt;
    return IndexJournal::Entry {removed, std::nullopt};
}

} // namespace

IndexJournal::Contents IndexJournal::read(const QByteArray& text)
{
    Contents contents;
    qsizetype start = 0;
    for (qsizetype end; (end = text.indexOf('\n', start)) >= 0; start = end + 1) {
        const QByteArrayView line = QByteArrayView(text).sliced(start, end - start).trimmed();
        contents.wholeLength = end + 1;
        if (line.isEmpty())
            continue;
        if (auto entry = decodeLine(line))
            contents.entries.append(std::move(*entry));
        else
            ++contents.unreadable;
    }
    return contents;
}

void IndexJournal::appendPut(QByteArray& lines, const QByteArray& record)
{
    // The index's records span lines only between their values: JSON text holds no raw line
    // end, so turning them into spaces keeps the record as it was.
    QByteArray flat = record.trimmed();
    flat.replace('\n', ' ');
    lines += "{\"put\": ";
    lines += flat;
    lines += "}\n";
}

void IndexJournal::appendRemove(QByteArray& lines, const QUuid& id)
{
    lines += "{\"remove\": \"";
    lines += uuidText(id).toLatin1();
    lines += "\"}\n";
}

IndexJournal::IndexJournal(QString path)
    : m_path(std::move(path))
{ }

IndexJournal::~IndexJournal()
{
    close();
}

void IndexJournal::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool IndexJournal::open(qint64 wholeLength, QString* error)
{
    const QByteArray path = QFile::encodeName(m_path);
    struct stat status { };
    if (::stat(path.constData(), &status) != 0) {
        m_size = 0;
        return true;
    }
    m_size = status.st_size;
    if (status.st_size <= wholeLength)
        return true;
    // A line cut short by a crash was never answered for; the next line must not join it.
    const int fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(error, errnoText(errno));
    const bool cut = ::ftruncate(fd, wholeLength) == 0 && ::fsync(fd) == 0;
    const int why = errno;
    ::close(fd);
    if (!cut)
        return fail(error, errnoText(why));
    m_size = wholeLength;
    return true;
}

bool IndexJournal::openForAppend(QString* error)
{
    if (m_fd >= 0)
        return true;
    const QByteArray path = QFile::encodeName(m_path);
    const bool existed = ::access(path.constData(), F_OK) == 0;
    m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return fail(error, errnoText(errno));
    struct stat status { };
    if (::fstat(m_fd, &status) != 0) {
        const int why = errno;
        close();
        return fail(error, errnoText(why));
    }
    m_size = status.st_size;
    if (!existed) {
        // A line is only on disk once the file's name is.
        const QByteArray folder = QFile::encodeName(QFileInfo(m_path).absolutePath());
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool synced = dir >= 0 && (::fsync(dir) == 0 || errno == EINVAL);
        const int why = errno;
        if (dir >= 0)
            ::close(dir);
        if (!synced) {
            close();
            return fail(error, errnoText(why));
        }
    }
    return true;
}

bool IndexJournal::append(const QByteArray& lines, QString* error)
{
    if (lines.isEmpty())
        return true;
    if (!openForAppend(error))
        return false;
    const qint64 before = m_size.load();
    QString why = platform::writeThrough(m_fd, lines, m_device);
    if (why.isEmpty() && ::fdatasync(m_fd) != 0)
        why = errnoText(errno);
    if (!why.isEmpty()) {
        // What made it into the file must not be read back as answered: the lines go (with
        // the file, when it held nothing else), and it is opened afresh for the next try.
        const bool cutBack = before == 0 ? ::unlink(QFile::encodeName(m_path).constData()) == 0
                                         : ::ftruncate(m_fd, before) == 0;
        if (!cutBack)
            qWarning("[store] index.journal could not be cut back after a failed write");
        close();
        return fail(error, why);
    }
    m_size = before + lines.size();
    if (m_marked)
        m_tail += lines;
    return true;
}

void IndexJournal::markTail()
{
    m_marked = true;
    m_tail.clear();
}

void IndexJournal::dropTail()
{
    m_marked = false;
    m_tail.clear();
}

bool IndexJournal::cut(bool keepAside, const QDateTime& now, QString* error)
{
    const QByteArray tail = std::exchange(m_tail, {});
    m_marked = false;
    close();
    // A copy under another name first: until the lines since the mark are safe in their new
    // file, the old one must stay where the next start reads it.
    if (keepAside && QFile::exists(m_path) && platform::keepCopyAside(m_path, now).isEmpty())
        return fail(error, QStringLiteral("could not keep the unreadable journal aside"));
    if (tail.isEmpty()) {
        if (::unlink(QFile::encodeName(m_path).constData()) != 0 && errno != ENOENT)
            return fail(error, errnoText(errno));
        m_size = 0;
        return true;
    }
    if (!platform::writeFileAtomically(m_path, tail, error))
        return false;
    m_size = tail.size();
    return true;
}

} // namespace vesker
