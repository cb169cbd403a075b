// The recognizer's half of bench/recognize_bench.sh.
//
//   recognize_bench make PHOTO.jpg TEXT.txt   draws a 12-megapixel photo of a printed page with
//                                             an EAN-13, a Code 128 and a QR code, and writes
//                                             the page's text beside it
//   recognize_bench time PHOTO RUNS           recognises the photo RUNS times and prints
//                                             "first MS", "median MS", then "code ENTRY" and
//                                             "payload PAYLOAD" per barcode and the text after
//                                             a "text" line
//   recognize_bench score TEXT.txt READ.txt   prints the share of the page's words found in
//                                             READ.txt, in their order (a longest common
//                                             subsequence of words)
#include "store/recognizer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vesker;

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

const char* const kPage[] = {
    "Harbour Street Hardware - Delivery Note 20417",
    "Received from: Northfield Timber Supplies, Unit 4, Mill Lane",
    "Delivered to: Harbour Street Hardware, 12 Harbour Street",
    "Date of delivery: Tuesday 14 May, between nine and eleven",
    "",
    "Quantity  Description                          Weight",
    "12        Pine boards, planed, 2.4 metres       86 kg",
    "40        Oak dowels, 18 millimetres            11 kg",
    "6         Birch plywood sheets, 12 millimetres  97 kg",
    "3         Boxes of brass wood screws, size 8     4 kg",
    "25        Bags of fine sawdust for the workshop 50 kg",
    "",
    "Please check every item against this note before signing.",
    "Damaged goods must be reported within two working days, with",
    "a photograph of the damage and the number of this delivery.",
    "The driver cannot wait while the goods are counted, so keep",
    "this copy and call the office if anything is missing.",
    "",
    "Returns are collected on Thursdays. Wrap loose boards together",
    "and label each bundle with the delivery number shown above.",
    "Invoices follow by post at the end of the month; payment is",
    "due within thirty days of the invoice date.",
    "",
    "Thank you for your order. Our summer opening hours are",
    "Monday to Friday from seven until five, Saturday until noon.",
    "Signed for by: ______________________   Time: __________",
};

QString pageText()
{
    QStringList lines;
    for (const char* line : kPage)
        lines.append(QString::fromUtf8(line));
    return lines.join(u'\n');
}

QImage barcodeImage(
    ZXing::BarcodeFormat format, const std::string& payload, int width, int height, int margin)
{
    const ZXing::BitMatrix bits
        = ZXing::MultiFormatWriter(format).setMargin(margin).encode(payload, width, height);
    QImage image(bits.width(), bits.height(), QImage::Format_Grayscale8);
    for (int y = 0; y < bits.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < bits.width(); ++x)
            row[x] = bits.get(x, y) ? 0 : 255;
    }
    return image;
}

int makePhoto(const QString& photoPath, const QString& textPath)
{
    QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"));
    QImage page(kWidth, kHeight, QImage::Format_RGB32);
    // Paper under a lamp: a little darker towards one corner.
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const int shade = 236 - (x + y) * 30 / (kWidth + kHeight);
            row[x] = qRgb(shade, shade - 2, shade - 8);
        }
    }

    QPainter painter(&page);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // A page held by hand is never quite square to the camera.
    painter.translate(kWidth / 2.0, kHeight / 2.0);
    painter.rotate(0.8);
    painter.translate(-kWidth / 2.0, -kHeight / 2.0);

    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(48);
    painter.setFont(font);
    painter.setPen(QColor(35, 35, 40));
    const int lineHeight = 76;
    int y = 230;
    for (const char* line : kPage) {
        painter.drawText(260, y, QString::fromUtf8(line));
        y += lineHeight;
    }
    painter.drawImage(QRect(2650, 2380, 900, 420),
        barcodeImage(ZXing::BarcodeFormat::EAN13, "4006381333931", 900, 420, 40));
    painter.drawImage(QRect(1750, 2380, 820, 420),
        barcodeImage(ZXing::BarcodeFormat::Code128, "DN-20417/NTS", 820, 420, 40));
    painter.drawImage(QRect(3300, 120, 520, 520),
        barcodeImage(ZXing::BarcodeFormat::QRCode, "https://example.com/d/20417", 520, 520, 4));
    painter.end();

    // Sensor noise, so that the JPEG costs what a photo costs to decode.
    QRandomGenerator noise(20417);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const int n = int(noise.bounded(13)) - 6;
            const QRgb p = row[x];
            row[x] = qRgb(std::clamp(qRed(p) + n, 0, 255), std::clamp(qGreen(p) + n, 0, 255),
                std::clamp(qBlue(p) + n, 0, 255));
        }
    }
    if (!page.save(photoPath, "JPEG", 90)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(photoPath));
        return 1;
    }
    QFile text(textPath);
    if (!text.open(QIODevice::WriteOnly) || text.write(pageText().toUtf8() + '\n') < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(textPath));
        return 1;
    }
    return 0;
}

int timeRecognizer(const QString& path, int runs)
{
    std::vector<double> times;
    Recognizer::Result result;
    for (int i = 0; i < std::max(1, runs); ++i) {
        QElapsedTimer timer;
        timer.start();
        result = Recognizer::recognizeNow(path);
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double first = times.front();
    std::sort(times.begin(), times.end());
    std::printf("first %.0f\nmedian %.0f\n", first, times[times.size() / 2]);
    for (const QString& code : result.barcodes) {
        std::printf("code %s\n", qPrintable(code));
        std::printf("payload %s\n", qPrintable(Recognizer::payload(code)));
    }
    std::printf("text\n%s\n", qPrintable(result.text));
    return 0;
}

QStringList words(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression space(QStringLiteral("\\s+"));
    return QString::fromUtf8(file.readAll()).split(space, Qt::SkipEmptyParts);
}

int score(const QString& expectedPath, const QString& readPath)
{
    const QStringList expected = words(expectedPath);
    const QStringList read = words(readPath);
    // Longest common subsequence of words: what was read correctly and in order.
    std::vector<int> previous(read.size() + 1, 0), current(read.size() + 1, 0);
    for (const QString& word : expected) {
        for (qsizetype j = 0; j < read.size(); ++j)
            current[j + 1]
                = word == read[j] ? previous[j] + 1 : std::max(previous[j + 1], current[j]);
        std::swap(previous, current);
    }
    const double share = expected.isEmpty() ? 0 : 100.0 * previous.back() / expected.size();
    std::printf("%.1f\n", share);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == u"make")
        return makePhoto(args[2], args[3]);
    if (args.size() == 4 && args[1] == u"time")
        return timeRecognizer(args[2], args[3].toInt());
    if (args.size() == 4 && args[1] == u"score")
        return score(args[2], args[3]);
    std::fprintf(
        stderr, "usage: recognize_bench make PHOTO TEXT | time PHOTO RUNS | score TEXT READ\n");
    return 2;
}
