#include "platform/private_temp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace vesker::platform {

std::optional<QString> privateTempFolder()
{
    const QString path = QDir::tempPath() + QStringLiteral("/Vesker");
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    // lstat, not stat: whoever planted a link there would otherwise get our files.
    struct stat info { };
    if (::lstat(native.constData(), &info) != 0)
        return std::nullopt;
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return std::nullopt;
    if ((info.st_mode & 0777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        return std::nullopt;
    return path;
}

std::optional<QString> writePrivateTempFile(const QString& name, const QByteArray& data)
{
    const std::optional<QString> folder = privateTempFolder();
    if (!folder || name.isEmpty() || name.contains(u'/'))
        return std::nullopt;
    const QFileInfo wanted(name);
    const QString base = wanted.completeBaseName();
    const QString suffix = wanted.suffix().isEmpty() ? QString() : u'.' + wanted.suffix();
    QString path = *folder + u'/' + name;
    for (int n = 2; QFileInfo::exists(path) && n < 1000; ++n)
        path = *folder + u'/' + base + u' ' + QString::number(n) + suffix;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        return std::nullopt;
    // Before the commit, so the file never lies there open to others, even for a moment.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!file.commit())
        return std::nullopt;
    if (!QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return std::nullopt;
    return path;
}

} // namespace vesker::platform
