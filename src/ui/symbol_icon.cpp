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
        {QStringLiteral("archivebox"), QStringLiteral(":/icons/archivebox.svg")},
        {QStringLiteral("arrow.up.left.and.arrow.down.right"),
            QStringLiteral(":/icons/arrow.up.left.and.arrow.down.right.svg")},
        {QStringLiteral("chevron.right"), QStringLiteral(":/icons/chevron.right.svg")},
        {QStringLiteral("clock"), QStringLiteral(":/icons/clock.svg")},
        {QStringLiteral("iphone"), QStringLiteral(":/icons/iphone.svg")},
        {QStringLiteral("iphone.and.arrow.forward"),
            QStringLiteral(":/icons/iphone.and.arrow.forward.svg")},
        {QStringLiteral("link"), QStringLiteral(":/icons/link.svg")},
        {QStringLiteral("list.bullet"), QStringLiteral(":/icons/list.bullet.svg")},
        {QStringLiteral("magnifyingglass"), QStringLiteral(":/icons/magnifyingglass.svg")},
        {QStringLiteral("paperplane"), QStringLiteral(":/icons/paperplane.svg")},
        {QStringLiteral("photo"), QStringLiteral(":/icons/photo.svg")},
        {QStringLiteral("qrcode"), QStringLiteral(":/icons/qrcode.svg")},
        {QStringLiteral("rectangle.portrait"), QStringLiteral(":/icons/rectangle.portrait.svg")},
        {QStringLiteral("rectangle.stack"), QStringLiteral(":/icons/rectangle.stack.svg")},
        {QStringLiteral("sidebar.left"), QStringLiteral(":/icons/sidebar.left.svg")},
        {QStringLiteral("tray"), QStringLiteral(":/icons/tray.svg")},
        {QStringLiteral("xmark.circle.fill"), QStringLiteral(":/icons/xmark.circle.fill.svg")},
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
