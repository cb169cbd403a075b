// The application icon at the sizes panels, launchers and task bars show it, on a light and a
// dark panel, with the small sizes also enlarged pixel for pixel: it has to read at 16 pixels.
#include "shots.h"

#include "ui/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace vesker::shots {

void appIconShots()
{
    const int sides[] = {16, 22, 32, 48, 128};
    const int enlarged[] = {16, 22, 32};
    const int zoom = 6;
    const int gap = 24;
    const int rowHeight = 128 + 32 * zoom + 3 * gap;
    const QColor panels[] = {QColor(0xf2, 0xf2, 0xf2), QColor(0x20, 0x21, 0x24)};
    QPixmap strip(gap + (16 + 22 + 32) * zoom + 3 * gap, 2 * rowHeight);
    QPainter painter(&strip);
    for (int row = 0; row < 2; ++row) {
        const int top = row * rowHeight;
        painter.fillRect(QRect(0, top, strip.width(), rowHeight), panels[row]);
        int x = gap;
        for (const int side : sides) {
            // As a panel draws it: the icon's own pixels, bottoms aligned.
            painter.drawPixmap(x, top + gap + 128 - side, appIcon().pixmap(side, side));
            x += side + gap;
        }
        x = gap;
        for (const int side : enlarged) {
            QImage pixels(side, side, QImage::Format_ARGB32_Premultiplied);
            pixels.fill(panels[row]);
            QPainter(&pixels).drawPixmap(0, 0, appIcon().pixmap(side, side));
            painter.drawImage(QRect(x, top + 2 * gap + 128, side * zoom, side * zoom), pixels);
            x += side * zoom + gap;
        }
    }
    painter.end();
    saveImage(strip, QStringLiteral("app_icon_panels"));
}

} // namespace vesker::shots
