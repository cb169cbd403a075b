#include "ui/symbol_icon.h"

#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>

namespace vesker {

namespace {

// The one table from the views' symbol names to the files under resources/icons/.
QString symbolFile(const QString& symbol)
{
    static const QHash<QString, QString> files {
        {QStringLiteral("iphone"), QStringLiteral(":/icons/iphone.svg")},
        {QStringLiteral("tray"), QStringLiteral(":/icons/tray.svg")},
        {QStringLiteral("link"), QStringLiteral(":/icons/link.svg")},
        {QStringLiteral("text.quote"), QStringLiteral(":/icons/text.quote.svg")},
        {QStringLiteral("point.3.connected.trianglepath.dotted"),
            QStringLiteral(":/icons/point.3.connected.trianglepath.dotted.svg")},
    };
    return files.value(symbol);
}

} // namespace

QIcon symbolIcon(const QString& symbol, const QPalette& palette, QPalette::ColorRole role)
{
    const QString file = symbolFile(symbol);
    if (file.isEmpty())
        return {};
    const QColor color = palette.color(role);
    QIcon icon;
    // Drawn at each size the views ask for, so that no size is a blurred scale of another.
    for (const int size : {16, 24, 32, 48, 64, 96, 128}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            QImageReader reader(file);
            reader.setScaledSize(QSize(size, size));
            const QImage shape = reader.read();
            if (shape.isNull())
                return {};
            painter.drawImage(0, 0, shape);
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(image.rect(), color);
        }
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace vesker
