#pragma once

// Sheets of QR labels as a scanner gives them: an A4 page at 300 dpi, forty labels of varied
// contents and sizes strewn over it, each a little turned, the whole page a little soft. One
// seed always draws the same sheet, so a sheet found to trouble a reader can be drawn again.

#include "platform/qr_code.h"

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>

namespace vesker::test {

struct LabelSheet {
    QImage page; // greyscale
    QStringList payloads; // in the order the labels were drawn
};

inline LabelSheet labelSheet(quint32 seed, int labels = 40, QSize size = QSize(3508, 2480))
{
    QRandomGenerator random(seed);
    LabelSheet sheet;
    QImage page(size, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QByteArray letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // Eight by five cells, a label anywhere in each.
    const int columns = 8, rows = (labels + columns - 1) / columns;
    const QSize cell(size.width() / columns, size.height() / rows);
    for (int i = 0; i < labels; ++i) {
        QByteArray payload
            = "https://example.com/" + QByteArray::number(seed) + '/' + QByteArray::number(i) + '/';
        for (int n = int(random.bounded(4, 60)); n > 0; --n)
            payload += letters[int(random.bounded(int(letters.size())))];
        // Modules of 3 pixels (a small label) up to what the cell holds.
        const int modules = platform::qrCodeImage(payload, 1).width();
        const int largest = std::max(4, std::min(cell.width(), cell.height()) * 8 / 10 / modules);
        const QImage code = platform::qrCodeImage(payload, int(random.bounded(3, largest + 1)));
        // A turned label needs room for its corners.
        const int room = code.width() * 11 / 10;
        const QPoint corner(i % columns * cell.width(), i / columns * cell.height());
        const QPointF centre = corner
            + QPointF(room / 2 + random.bounded(std::max(1, cell.width() - room)),
                room / 2 + random.bounded(std::max(1, cell.height() - room)));
        painter.save();
        painter.translate(centre);
        painter.rotate(random.bounded(6.0) - 3.0);
        painter.drawImage(-code.width() / 2, -code.height() / 2, code);
        painter.restore();
        sheet.payloads.append(QString::fromUtf8(payload));
    }
    painter.end();
    // A scanner's lens and sensor: a little blur, a little noise.
    const QImage gray = page.convertToFormat(QImage::Format_Grayscale8);
    sheet.page = QImage(gray.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < gray.height(); ++y) {
        const uchar* up = gray.constScanLine(std::max(0, y - 1));
        const uchar* mid = gray.constScanLine(y);
        const uchar* down = gray.constScanLine(std::min(gray.height() - 1, y + 1));
        uchar* out = sheet.page.scanLine(y);
        for (int x = 0; x < gray.width(); ++x) {
            const int l = std::max(0, x - 1), r = std::min(gray.width() - 1, x + 1);
            const int sum = 4 * mid[x] + mid[l] + mid[r] + up[x] + down[x];
            out[x] = uchar(std::clamp(sum / 8 + int(random.bounded(13)) - 6, 0, 255));
        }
    }
    return sheet;
}

} // namespace vesker::test
