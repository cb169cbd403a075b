#include "platform/qr_code.h"

#include <QPainter>

#include <qrencode.h>

#include <memory>

namespace vesker::platform {

namespace {
constexpr int kQuietModules = 4;
}

QImage qrCodeImage(const QByteArray& text, int moduleSize)
{
    if (text.isEmpty() || moduleSize < 1)
        return {};
    // Level M: a phone's camera still reads a code that is partly glared or creased.
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(int(text.size()),
            reinterpret_cast<const unsigned char*>(text.constData()), 0, QR_ECLEVEL_M),
        &QRcode_free);
    if (!code)
        return {};
    const int modules = code->width;
    const int side = (modules + 2 * kQuietModules) * moduleSize;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < modules; ++y) {
        for (int x = 0; x < modules; ++x) {
            // The lowest bit of each byte says whether the module is dark.
            if (code->data[y * modules + x] & 1) {
                painter.fillRect((x + kQuietModules) * moduleSize, (y + kQuietModules) * moduleSize,
                    moduleSize, moduleSize, Qt::black);
            }
        }
    }
    return image;
}

} // namespace vesker::platform
