#include "store/recognizer.h"

#include "platform/decode_budget.h"
#include "platform/image_decode.h"
#include "store/barcode_search.h"
#include "store/ink_regions.h"
#include "store/text_reader.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <exception>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace vesker {

namespace {

// Two at a time: each holds a decoded photo and a text engine of its own, so more would only
// queue for the CPU while taking memory.
constexpr int kMaxConcurrentRecognitions = 2;
// Phones wait on intake, never on recognition: the pool's threads run behind every other thread
// of the program (and of the desktop). Under Linux's normal scheduling QThread priorities do
// nothing, while a thread's own nice value does.
constexpr int kRecognitionNice = 10;
// What reading the full photo holds at once, for each of its pixels: the photo (24 bits), the
// part of it cut out to be read (as much again, at most), and the text engine's copies of that
// part (32 bits, and its grey and black-and-white pictures).
constexpr qint64 kFullReadingBytesPerPixel = 12;

class RecognitionPool : public QThreadPool {
public:
    RecognitionPool()
    {
        setMaxThreadCount(kMaxConcurrentRecognitions);
        setObjectName(QStringLiteral("Recognizer"));
        // At quit, queued photos are dropped and the running ones finish while the application
        // (and the image plugins they decode with) still exists.
        qAddPostRoutine(&RecognitionPool::drain);
    }

private:
    static void drain();
};
Q_GLOBAL_STATIC(RecognitionPool, recognitionPool)

void RecognitionPool::drain()
{
    if (!recognitionPool.exists())
        return;
    recognitionPool->clear();
    recognitionPool->waitForDone();
}

const QStringList& builtInNames()
{
    static const QStringList names {QStringLiteral("EAN-13"), QStringLiteral("EAN-8"),
        QStringLiteral("UPC-E"), QStringLiteral("Code 128"), QStringLiteral("Code 39"),
        QStringLiteral("Code 93"), QStringLiteral("QR"), QStringLiteral("DataMatrix"),
        QStringLiteral("PDF417"), QStringLiteral("ITF-14"), QStringLiteral("I2of5"),
        QStringLiteral("Aztec")};
    return names;
}

// A GTIN-14: fourteen digits whose last is the mod-10 check digit of the first thirteen
// (weights 3 and 1 from the left).
bool isGtin14(const QString& payload)
{
    if (payload.size() != 14)
        return false;
    int sum = 0;
    for (int i = 0; i < 14; ++i) {
        if (payload[i] < u'0' || payload[i] > u'9')
            return false;
        if (i < 13)
            sum += (payload[i].unicode() - u'0') * (i % 2 == 0 ? 3 : 1);
    }
    return (10 - sum % 10) % 10 == payload[13].unicode() - u'0';
}

// Seen as a viewer shows it, in the pixel layout Tesseract reads; null when it cannot be.
QImage readable(QImage image)
{
    if (image.hasAlphaChannel()) {
        // Dropping the alpha channel would turn a transparent background black, the colour of
        // the print on it: such a picture is seen as a viewer shows it, on white.
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, image);
        image = std::move(flat);
    }
    image.convertTo(QImage::Format_RGB888);
    return image;
}

// The picture at the size it was stored at. The decoder scales a JPEG or WebP down where Qt's
// allocation limit would refuse it whole, which suits a phone's 48-megapixel JPEG (its sensor
// holds little more detail than a quarter of that) but not a screenshot of a long document,
// whose small print needs every pixel. Those are decoded whole, within the same pixel budget.
QImage decodeWhole(const QString& path, qint64 maxPixels)
{
    QImageReader reader(path);
    if (reader.format() != "jpeg")
        platform::allowWholeImage(reader.size(), reader.imageFormat(), maxPixels);
    return platform::decodeImage(path, maxPixels);
}

// One text engine per thread, kept between photos: loading its model costs as much as
// reading a short receipt. The pool's threads end after a while without work, and their
// engines with them.
thread_local std::unique_ptr<TextReader> t_engine;
thread_local QString t_engineData;

TextReader& engine(const QString& tessdataDir)
{
    if (!t_engine || !t_engine->isReady() || t_engineData != tessdataDir) {
        t_engine = std::make_unique<TextReader>(tessdataDir);
        t_engineData = tessdataDir;
    }
    return *t_engine;
}

void dropEngine()
{
    t_engine.reset();
}

// Once per pool thread, on its first photo. A nice value once raised cannot be lowered without
// privilege, which is why only the pool's own threads take it, never a caller of recognizeNow.
// The barcode helper and the decoding thread started from here inherit it.
void runBehindIntake()
{
    thread_local const bool lowered
        = ::setpriority(PRIO_PROCESS, ::gettid(), kRecognitionNice) == 0;
    Q_UNUSED(lowered);
}

} // namespace

QThreadPool& Recognizer::pool()
{
    return *recognitionPool();
}

QFuture<Recognizer::Result> Recognizer::recognize(const QString& path)
{
    return QtConcurrent::run(&pool(), [path] {
        runBehindIntake();
        return recognizeNow(path);
    });
}

Recognizer::Result Recognizer::recognizeNow(const QString& path)
{
    return recognizeNow(path, Options {});
}

Recognizer::Result Recognizer::recognizeNow(const QString& path, const Options& options)
{
    // The helper decodes the photo for itself while this thread does the same and reads the
    // text.
    BarcodeSearch search(path,
        options.barcodeHelper.isEmpty() ? BarcodeSearch::defaultHelper() : options.barcodeHelper,
        platform::kMaxDecodedPixels, options.barcodeTimeout);
    const QImage reduced = readable(decodeForReading(path, platform::kMaxDecodedPixels));
    if (reduced.isNull())
        return {};

    Result result;
    // A photo whose text cannot be read keeps the codes found in it.
    try {
        // The full photo takes more memory than anything else the program does. Its share of
        // the pixel budget is taken before it is decoded and given back once it has been read:
        // photos read at once never hold more than the budget allows between them. When the
        // share is free at once, the photo is decoded beside the first reading, which may need
        // it, so that a person waits no longer for its text; else only once it is needed.
        const QSize size = platform::imageSize(path);
        const qint64 fullBytes
            = size.isValid() ? qint64(size.width()) * size.height() * kFullReadingBytesPerPixel : 0;
        platform::DecodeBudget::Hold fullShare;
        const auto decodeFull = [&] {
            const platform::DecodeBudget::DrawFrom drawing(fullShare);
            return readable(decodeWhole(path, platform::kMaxDecodedPixels));
        };
        std::future<QImage> early;
        if (auto share = platform::decodeBudget().tryTake(fullBytes)) {
            fullShare = std::move(*share);
            early = std::async(std::launch::async, decodeFull);
        }
        const auto loadFull = [&] {
            if (early.valid())
                return early.get();
            fullShare = platform::decodeBudget().take(fullBytes);
            return decodeFull();
        };
        const auto codePlaces = [&] { return search.placesAtReadingSize(); };
        if (const auto lines = engine(options.tessdataDir).readPhoto(reduced, loadFull, codePlaces))
            result.text = joinLines(*lines);
    } catch (const std::exception&) {
        // Out of memory on a huge page, most likely: the text is lost, nothing else. The
        // engine may be left half-way and is made anew.
        dropEngine();
    }
    result.barcodes = barcodeEntries(search.answer().codes);
    return result;
}

QStringList Recognizer::barcodeEntries(const QList<Barcode>& found)
{
    QStringList entries;
    for (const Barcode& code : found) {
        if (code.payload.isEmpty())
            continue;
        const QString label = name(code.format, code.payload);
        const QString entry = label.isEmpty() ? code.payload : label + u' ' + code.payload;
        if (!entries.contains(entry))
            entries.append(entry);
    }
    return entries;
}

QString Recognizer::joinLines(QList<TextLine> lines)
{
    std::stable_sort(lines.begin(), lines.end(),
        [](const TextLine& a, const TextLine& b) { return a.centreY < b.centreY; });
    QStringList texts;
    texts.reserve(lines.size());
    for (const TextLine& line : lines)
        texts.append(line.text);
    return texts.join(u'\n').trimmed();
}

QString Recognizer::name(ZXing::BarcodeFormat format, const QString& payload)
{
    using F = ZXing::BarcodeFormat;
    switch (format) {
    case F::None:
        return {};
    case F::EAN13:
        return QStringLiteral("EAN-13");
    case F::EAN8:
        return QStringLiteral("EAN-8");
    case F::UPCE:
        return QStringLiteral("UPC-E");
    case F::Code128:
        return QStringLiteral("Code 128");
    case F::Code39:
        return QStringLiteral("Code 39");
    case F::Code93:
        return QStringLiteral("Code 93");
    case F::QRCode:
        return QStringLiteral("QR");
    case F::DataMatrix:
        return QStringLiteral("DataMatrix");
    case F::PDF417:
        return QStringLiteral("PDF417");
    case F::ITF:
        return isGtin14(payload) ? QStringLiteral("ITF-14") : QStringLiteral("I2of5");
    case F::Aztec:
        return QStringLiteral("Aztec");
    default:
        // The formats without a name of ours keep ZXing's: "UPC-A", "Codabar", "DataBar",
        // "DataBarExpanded", "MaxiCode", "MicroQRCode".
        return QString::fromLatin1(ZXing::ToString(format));
    }
}

const QStringList& Recognizer::symbologies()
{
    static const QStringList names = [] {
        QStringList all = builtInNames();
        for (const ZXing::BarcodeFormat format : ZXing::BarcodeFormats(ZXing::BarcodeFormat::Any)) {
            all.append(name(format));
            if (format == ZXing::BarcodeFormat::ITF)
                all.append(name(format, QStringLiteral("00000000000000")));
        }
        all.removeDuplicates();
        all.removeAll(QString());
        // Longest first, so that a name that begins another ("DataBar", "DataBarExpanded")
        // never cuts the longer one short.
        std::stable_sort(all.begin(), all.end(),
            [](const QString& a, const QString& b) { return a.size() > b.size(); });
        return all;
    }();
    return names;
}

QString Recognizer::payload(const QString& barcode)
{
    for (const QString& label : symbologies()) {
        if (barcode.size() > label.size() && barcode.startsWith(label)
            && barcode[label.size()] == u' ') {
            return barcode.mid(label.size() + 1);
        }
    }
    return barcode;
}

} // namespace vesker
