#include "send/outgoing_item.h"

#include "platform/private_temp.h"

#include <QBuffer>
#include <QDateTime>
#include <QImage>
#include <QMimeData>
#include <QMimeDatabase>

namespace vesker {

namespace {

bool isImageOrPDF(const QString& path)
{
    // By the name alone, as a file dragged or copied elsewhere may not be readable yet.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    return type.name().startsWith(QLatin1String("image/"))
        || type.inherits(QStringLiteral("application/pdf"));
}

QString pastedName(const QDateTime& now)
{
    QString stamp = now.toString(QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss"));
    for (QChar& c : stamp) {
        if (c == u'/' || c == u':' || c == QChar::Null)
            c = u'.';
    }
    return QStringLiteral("Pasted ") + stamp + QStringLiteral(".png");
}

} // namespace

QList<OutgoingItem> OutgoingItem::fromPasteboard(const QMimeData* data)
{
    QList<OutgoingItem> items;
    if (!data)
        return items;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && isImageOrPDF(url.toLocalFile()))
            items.append({.imageURL = url});
    }
    if (!items.isEmpty())
        return items;

    if (data->hasImage()) {
        const QImage image = qvariant_cast<QImage>(data->imageData());
        QByteArray png;
        QBuffer buffer(&png);
        if (!image.isNull() && buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG")) {
            if (const auto path
                = platform::writePrivateTempFile(pastedName(QDateTime::currentDateTime()), png))
                return {OutgoingItem {.imageURL = QUrl::fromLocalFile(*path)}};
        }
    }

    const QString text = data->text().trimmed();
    if (!text.isEmpty())
        items.append({.text = text});
    return items;
}

} // namespace vesker
