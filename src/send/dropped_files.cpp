#include "send/dropped_files.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace vesker {

QList<QUrl> sendableDroppedFiles(const QList<QUrl>& urls)
{
    const QMimeDatabase mimes;
    QList<QUrl> kept;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        // A folder named "scans.pdf" is still a folder.
        if (QFileInfo(path).isDir())
            continue;
        const QMimeType type = mimes.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
        if (type.name().startsWith(QLatin1String("image/"))
            || type.inherits(QStringLiteral("application/pdf")))
            kept.append(url);
    }
    return kept;
}

} // namespace vesker
