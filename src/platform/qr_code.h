#pragma once

#include <QByteArray>
#include <QImage>

namespace vesker::platform {

// `text` as a QR code, black modules on white, each `moduleSize` pixels square, with the quiet
// zone of four modules that scanners need around it. A null image when the text does not fit a
// QR code.
QImage qrCodeImage(const QByteArray& text, int moduleSize);

} // namespace vesker::platform
