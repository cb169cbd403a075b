#include "ui/symbol_icon.h"

#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>

#include <utility>

namespace vesker {

namespace {

// Far more than the symbols times the inks of a light and a dark palette; a program that somehow
// asks for more starts over rather than growing.
constexpr qsizetype kMaxDrawnIcons = 512;

// Each symbol's file under resources/icons/ carries the symbol's own name, so adding an icon
// is adding its file; a name without a file gives none.
QString symbolFile(const QString& symbol)
{
    const QString file = QStringLiteral(":/icons/%1.svg").arg(symbol);
    return QFile::exists(file) ? file : QString();
}

QIcon drawnIcon(const QString& symbol, const QColor& color)
{
    const QString file = symbolFile(symbol);
    if (file.isEmpty())
        return {};
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

} // namespace

QIcon symbolIcon(const QString& symbol, const QPalette& palette, QPalette::ColorRole role)
{
    // Views ask for their symbols again whenever what they show changes (an arrival redraws the
    // list, the sidebar and the tray icon), and parsing and drawing the SVG at every size costs
    // far more than the rest of that work. Kept by the ink rather than the palette, so that a
    // palette turned dark finds or draws icons of its own ink. Main thread only, as pixmaps are.
    static QHash<std::pair<QString, QRgb>, QIcon> drawn;
    const QColor color = palette.color(role);
    const std::pair key(symbol, color.rgba());
    if (const auto found = drawn.constFind(key); found != drawn.cend())
        return *found;
    if (drawn.size() >= kMaxDrawnIcons)
        drawn.clear();
    return *drawn.insert(key, drawnIcon(symbol, color));
}

} // namespace vesker
