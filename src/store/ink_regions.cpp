#include "store/ink_regions.h"

#include "platform/image_decode.h"

#include <algorithm>
#include <vector>

namespace vesker {

namespace {

constexpr int kCell = 16;
// Darkest against lightest within a cell: print on paper differs by far more, paper grain, JPEG
// noise and shading by far less.
constexpr int kMinContrast = 40;
// Changes between dark and light along the cell's rows and columns. A stroke crossed by a
// line is two changes; a plain edge crosses each line once, so it stays below this.
constexpr int kMinChanges = 3 * kCell / 2;

// Counts dark/light changes along one line of pixels, with a band around the middle grey in
// which a pixel keeps the state before it, so noise at a blurred edge does not count twice.
int changes(const uchar* p, int count, int stride, int low, int high)
{
    int state = 0, n = 0;
    for (int i = 0; i < count; ++i, p += stride) {
        const int now = *p < low ? -1 : *p > high ? 1 : state;
        if (now != state && state != 0)
            ++n;
        state = now;
    }
    return n;
}

bool marked(const QImage& gray, int cx, int cy)
{
    const int x0 = cx * kCell, y0 = cy * kCell;
    const int w = std::min(kCell, gray.width() - x0), h = std::min(kCell, gray.height() - y0);
    int lo = 255, hi = 0;
    for (int y = 0; y < h; ++y) {
        const uchar* row = gray.constScanLine(y0 + y) + x0;
        const auto [mn, mx] = std::minmax_element(row, row + w);
        lo = std::min<int>(lo, *mn);
        hi = std::max<int>(hi, *mx);
    }
    if (hi - lo < kMinContrast)
        return false;
    const int band = (hi - lo) / 6, mid = (hi + lo) / 2;
    const int stride = int(gray.bytesPerLine());
    int n = 0;
    for (int y = 0; y < h; ++y)
        n += changes(gray.constScanLine(y0 + y) + x0, w, 1, mid - band, mid + band);
    for (int x = 0; x < w; ++x)
        n += changes(gray.constScanLine(y0) + x0 + x, h, stride, mid - band, mid + band);
    return n >= kMinChanges;
}

} // namespace

QImage decodeForReading(const QString& path, qint64 maxPixels)
{
    return platform::decodeImage(path, maxPixels, nullptr, kReadingSide);
}

QList<QRect> inkRegions(const QImage& gray, const QList<QRect>& explained)
{
    const int cols = (gray.width() + kCell - 1) / kCell;
    const int rows = (gray.height() + kCell - 1) / kCell;
    std::vector<char> cells(size_t(cols) * rows, 0);
    for (int cy = 0; cy < rows; ++cy) {
        for (int cx = 0; cx < cols; ++cx) {
            const QPoint centre(cx * kCell + kCell / 2, cy * kCell + kCell / 2);
            const bool known = std::any_of(explained.begin(), explained.end(),
                [&](const QRect& r) { return r.contains(centre); });
            cells[size_t(cy) * cols + cx] = !known && marked(gray, cx, cy);
        }
    }

    // Cells one apart belong together: the gap between two words, or between a code and its
    // quiet zone, is rarely wider.
    QList<QRect> regions;
    std::vector<int> stack;
    for (int start = 0; start < cols * rows; ++start) {
        if (cells[start] != 1)
            continue;
        cells[start] = 2;
        stack.assign(1, start);
        int left = cols, top = rows, right = -1, bottom = -1;
        while (!stack.empty()) {
            const int at = stack.back();
            stack.pop_back();
            const int x = at % cols, y = at / cols;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
            for (int ny = std::max(0, y - 2); ny <= std::min(rows - 1, y + 2); ++ny) {
                for (int nx = std::max(0, x - 2); nx <= std::min(cols - 1, x + 2); ++nx) {
                    char& cell = cells[size_t(ny) * cols + nx];
                    if (cell == 1) {
                        cell = 2;
                        stack.push_back(ny * cols + nx);
                    }
                }
            }
        }
        const QRect cellsRect(QPoint((left - 1) * kCell, (top - 1) * kCell),
            QPoint((right + 2) * kCell - 1, (bottom + 2) * kCell - 1));
        regions.append(cellsRect & gray.rect());
    }
    return regions;
}

QRect mapRect(const QRect& rect, QSize from, QSize to)
{
    if (from.isEmpty())
        return {};
    const double sx = double(to.width()) / from.width(), sy = double(to.height()) / from.height();
    const QRect mapped(QPoint(int(rect.left() * sx), int(rect.top() * sy)),
        QPoint(int((rect.right() + 1) * sx) - 1, int((rect.bottom() + 1) * sy) - 1));
    return mapped & QRect(QPoint(0, 0), to);
}

} // namespace vesker
