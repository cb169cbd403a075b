// A 12-megapixel JPEG and HEIC made at start, prepared for sending at each size on one core.
// Beside each: a plain decode of the whole photo, smooth scale and JPEG encode, the way one
// would write it without the cheaper decode. The figure to watch: JPEG at "large" under 250 ms,
// and "original" near the time of copying the bytes, since it decodes no pixel.
#include "platform/image_decode.h"
#include "send/photo_preparation.h"
#include "support/temp_env.h"
#include "support/test_images.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <sched.h>

using namespace vesker;

namespace {

constexpr int kRuns = 5;

// Smooth gradients with sensor-like noise: compresses the way a phone photo does, not the way
// a flat test card does.
QImage photoLike(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(noise.bounded(24));
            line[x] = qRgb((x * 255 / width + n) & 0xff, (y * 255 / height + n) & 0xff,
                ((x + y) / 32 % 2 ? 200 : 60) + n);
        }
    }
    return image;
}

double medianMs(const std::function<QByteArray()>& work, qsizetype* bytes)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        *bytes = work().size();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

QByteArray plainQt(const QByteArray& data, int longestSide, int quality)
{
    QImage image = platform::decodeImageData(data);
    image = image.scaled(longestSide, longestSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.write(image);
    return out;
}

void run(const char* name, const QByteArray& data)
{
    std::printf("%s, %.1f MB in\n", name, data.size() / 1e6);
    std::printf("  %-9s %10s %12s   %22s %12s\n", "size", "ms", "bytes out",
        "plain decode-scale-enc ms", "bytes out");
    for (PhotoSize size : allPhotoSizes()) {
        qsizetype ours = 0;
        const double oursMs = medianMs([&] { return preparePhoto(data, size).bytes; }, &ours);
        std::printf("  %-9s %10.1f %12lld", qPrintable(toString(size)), oursMs, qlonglong(ours));
        if (size == PhotoSize::original) {
            std::printf("   %22s %12s\n", "-", "-");
            continue;
        }
        const int side = size == PhotoSize::large ? 3200 : 2048;
        const int quality = size == PhotoSize::large ? 85 : 80;
        qsizetype plain = 0;
        const double plainMs = medianMs([&] { return plainQt(data, side, quality); }, &plain);
        std::printf("   %22.1f %12lld   (x%.2f)\n", plainMs, qlonglong(plain), plainMs / oursMs);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // One core, so that neither Qt's scaling threads nor a decoder's make the figure.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    sched_setaffinity(0, sizeof one, &one);
    QGuiApplication app(argc, argv);

    const QImage picture = photoLike(4000, 3000);
    const QByteArray jpeg = test::jpegWithOrientation(picture, 6, 92);
    run("JPEG 4000x3000, turned by its orientation tag", jpeg);

    QTemporaryDir dir;
    const QString heicPath = dir.filePath(QStringLiteral("photo.heic"));
    if (test::writeHeic(heicPath, picture))
        run("HEIC 4000x3000", test::fileBytes(heicPath));
    else
        std::printf("HEIC: no HEVC encoder here, skipped\n");
    std::printf("goal: JPEG at large under 250 ms on one core\n");
    return 0;
}
