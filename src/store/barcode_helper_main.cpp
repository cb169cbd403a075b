// vesker-barcodes: searches one image for barcodes with ZXing and prints what it finds. The
// program starts it for every photo it reads (see BarcodeSearch), so that ZXing runs in a
// process of its own that may abort, hang or be killed without harm to the program.
//
//   vesker-barcodes [--one-per-layer] MAX_PIXELS IMAGE
//
// It decodes IMAGE as the program does, refusing more than MAX_PIXELS, and prints one line per
// code, in the order ZXing reported them, layer by layer (a code is often found in more than
// one layer):
//   code FORMAT PAYLOAD
// FORMAT is ZXing's name of the format; in PAYLOAD (UTF-8) a backslash, a line feed and a
// carriage return are written as "\\", "\n" and "\r". A last line "end" tells a search that
// finished from one that died half-way. An image that cannot be decoded has no codes.
#include "platform/image_decode.h"

#include <QCoreApplication>
#include <QImage>

#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include <sys/resource.h>

namespace {

// As ZXing's own pyramid: a layer a third the size of the one before, while the last is still
// larger than this on its short side. A code that fills much of a large photo is found more
// surely, and far sooner, in a smaller copy.
constexpr int kLayerFactor = 3;
constexpr int kSmallestLayerSide = 500;
constexpr int kMaxLayers = 4;

ZXing::DecodeHints searchHints()
{
    ZXing::DecodeHints hints;
    // Every format, and codes that are rotated, small or blurred.
    hints.setFormats(ZXing::BarcodeFormat::Any);
    hints.setTryHarder(true);
    hints.setTryRotate(true);
    // Our layers stand in for ZXing's: its own merge of what it finds in its downscaled copies
    // is where Debian's ZXing 1.4 fails an assertion.
    hints.setTryDownscale(false);
    return hints;
}

void printCode(const ZXing::Result& result)
{
    if (!result.isValid())
        return;
    std::string line = std::string("code ") + ZXing::ToString(result.format()) + ' ';
    for (const char c : result.text()) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

} // namespace

int main(int argc, char** argv)
{
    // ZXing's assertion is expected to end some searches; it must not leave core dumps behind.
    const rlimit noCore {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);

    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool oneCodePerLayer = args.removeAll(QStringLiteral("--one-per-layer")) > 0;
    bool validLimit = false;
    const qint64 maxPixels = args.value(0).toLongLong(&validLimit);
    if (args.size() != 2 || !validLimit || maxPixels <= 0) {
        std::fputs("usage: vesker-barcodes [--one-per-layer] MAX_PIXELS IMAGE\n", stderr);
        return 2;
    }

    QImage layer = vesker::platform::decodeImage(args[1], maxPixels)
                       .convertToFormat(QImage::Format_Grayscale8);
    const ZXing::DecodeHints hints = searchHints();
    for (int n = 0; n < kMaxLayers && !layer.isNull(); ++n) {
        const ZXing::ImageView view(layer.constBits(), layer.width(), layer.height(),
            ZXing::ImageFormat::Lum, int(layer.bytesPerLine()));
        // One code per layer never reaches the assertion that two equal codes side by side
        // (two packets of one product) run into.
        if (oneCodePerLayer) {
            printCode(ZXing::ReadBarcode(view, hints));
        } else {
            for (const ZXing::Result& result : ZXing::ReadBarcodes(view, hints))
                printCode(result);
        }
        if (std::min(layer.width(), layer.height()) <= kSmallestLayerSide)
            break;
        layer = layer.scaled(layer.width() / kLayerFactor, layer.height() / kLayerFactor,
            Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    std::fputs("end\n", stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
