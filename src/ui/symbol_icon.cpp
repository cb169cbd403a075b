#include "ui/symbol_icon.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>

namespace vesker {

namespace {

// Each symbol's file under resources/icons/ carries the symbol's own name, so adding an icon
// is adding its file; a name without a file gives none.
QString symbolFile(const QString& symbol)
{
    const QString file = QStringLiteral(":/icons/%1.svg").arg(symbol);
    return QFile::exists(file) ? file : QString();
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
