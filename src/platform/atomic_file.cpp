#include "platform/atomic_file.h"

#include <QFile>
#include <QSaveFile>

namespace vesker::platform {

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString keepAside(const QString& path, const QDateTime& now)
{
    if (!QFile::exists(path))
        return {};
    const QString stamp = now.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss")) + u'Z';
    QString target = path + QStringLiteral(".unreadable-") + stamp;
    // Two failures within one second must not overwrite the first copy kept aside.
    for (int n = 2; QFile::exists(target); ++n)
        target = path + QStringLiteral(".unreadable-") + stamp + u'-' + QString::number(n);
    return QFile::rename(path, target) ? target : QString();
}

} // namespace vesker::platform
