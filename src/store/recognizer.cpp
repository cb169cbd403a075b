#include "store/recognizer.h"

#include "platform/image_decode.h"
#include "store/barcode_search.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesker {

namespace {

// Two at a time: each holds a decoded photo and a text engine of its own (and Tesseract spreads
// its own work over the cores), so more would only queue for the CPU while taking memory.
constexpr int kMaxConcurrentRecognitions = 2;

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

// None when the engine could not start (no trained data) or gave up on the image.
std::optional<QList<Recognizer::TextLine>> readLines(const QImage& rgb, const QString& dataDir)
{
    tesseract::TessBaseAPI api;
    // Print is read as printed, without language correction: a part number or a misprint is
    // not bent towards an English word, and no dictionary is loaded. The LSTM engine takes its
    // word list only through lstm_use_matrix; the load_*_dawg switches keep the older engine's
    // lists out too. Tesseract writes its notes ("Estimating resolution as ...") to stderr
    // unless told where.
    const std::vector<std::string> names {"lstm_use_matrix", "load_system_dawg", "load_freq_dawg",
        "load_punc_dawg", "load_number_dawg", "load_unambig_dawg", "load_bigram_dawg",
        "debug_file"};
    const std::vector<std::string> values {"0", "0", "0", "0", "0", "0", "0", "/dev/null"};
    const QByteArray dir = QFile::encodeName(dataDir);
    if (api.Init(dir.isEmpty() ? nullptr : dir.constData(), "eng", tesseract::OEM_LSTM_ONLY,
            nullptr, 0, &names, &values, false)
        != 0) {
        return std::nullopt;
    }
    api.SetPageSegMode(tesseract::PSM_AUTO);
    api.SetImage(rgb.constBits(), rgb.width(), rgb.height(), 3, int(rgb.bytesPerLine()));
    if (api.Recognize(nullptr) != 0)
        return std::nullopt;

    QList<Recognizer::TextLine> lines;
    const std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return lines;
    do {
        if (it->Empty(tesseract::RIL_TEXTLINE))
            continue;
        const std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!text || !it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom))
            continue;
        QString line = QString::fromUtf8(text.get());
        // Tesseract ends every line with its own line feed; the lines are joined later.
        while (line.endsWith(u'\n'))
            line.chop(1);
        // A "line" with no character in it is a smudge the layout analysis took for text; it
        // would only leave blank lines between the real ones.
        if (line.trimmed().isEmpty())
            continue;
        lines.append({(top + bottom) / 2.0, line});
    } while (it->Next(tesseract::RIL_TEXTLINE));
    return lines;
}

} // namespace

QThreadPool& Recognizer::pool()
{
    return *recognitionPool();
}

QFuture<Recognizer::Result> Recognizer::recognize(const QString& path)
{
    return QtConcurrent::run(&pool(), [path] { return recognizeNow(path); });
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
    QImage image = platform::decodeImage(path);
    if (image.isNull())
        return {};
    if (image.hasAlphaChannel()) {
        // Dropping the alpha channel would turn a transparent background black, the colour of
        // the print on it: such a picture is seen as a viewer shows it, on white.
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, image);
        image = std::move(flat);
    }
    image.convertTo(QImage::Format_RGB888);
    if (image.isNull())
        return {};

    Result result;
    // A photo whose text cannot be read keeps the codes found in it.
    try {
        if (const auto lines = readLines(image, options.tessdataDir))
            result.text = joinLines(*lines);
    } catch (const std::exception&) {
        // Out of memory on a huge page, most likely: the text is lost, nothing else.
    }
    result.barcodes = barcodeEntries(search.results());
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
