#pragma once

#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>

#include <ZXing/BarcodeFormat.h>

#include <chrono>

class QThreadPool;

namespace vesker {

// Reads a received photo for barcodes (ZXing, in our helper program: see BarcodeSearch) and
// printed text (Tesseract's LSTM engine, English: see TextReader). The photo is turned
// upright by its orientation tag first, and read at a reduced size before the full photo is
// looked at where that copy misses something (see ink_regions.h). It keeps no state but the list of
// symbology names, and never writes a file or touches a store: callers store the result on the
// item.
class Recognizer {
public:
    Recognizer() = delete;

    struct Result {
        // One entry per distinct code, in the order the detector reported them: the
        // symbology's name, one space and the payload exactly as read.
        QStringList barcodes;
        // The lines from the top of the photo down, joined with "\n" and trimmed.
        QString text;
        bool operator==(const Result&) const = default;
    };

    struct Options {
        // Tesseract's trained data; empty means Tesseract's own search (TESSDATA_PREFIX, then
        // the folder it was built with).
        QString tessdataDir;
        // The barcode helper program; empty means the one beside the program (or in the build
        // tree). One that cannot be started gives no codes.
        QString barcodeHelper;
        // ZXing takes a few seconds on the largest photo we decode; a search still busy after
        // this (every run of the helper together) is stuck, and is killed so that it does not
        // hold a place in the pool.
        std::chrono::milliseconds barcodeTimeout {60'000};
    };

    // Recognises on the recognizer's own pool, never on the calling thread. The pool is small
    // on purpose: a burst of uploads must not start one text engine (and one decoded photo)
    // per upload at once. Never fails: a file that cannot be read gives the empty result.
    static QFuture<Result> recognize(const QString& path);
    // The same work on the calling thread (for benchmarks, tests and workers of our own).
    static Result recognizeNow(const QString& path);
    static Result recognizeNow(const QString& path, const Options& options);
    static QThreadPool& pool();

    // The payload of a stored barcode string: the string without its leading symbology name
    // and the space after it, or the string unchanged when it begins with no known name.
    static QString payload(const QString& barcode);
    // The stored name of a ZXing format. Interleaved 2 of 5 is one format to ZXing; a code of
    // fourteen digits with a valid GTIN check digit is an ITF-14 shipping code, any other is
    // plain "I2of5", so the payload is needed to tell them apart.
    static QString name(ZXing::BarcodeFormat format, const QString& payload = {});
    // Every name payload() knows, longest first. Made once per process.
    static const QStringList& symbologies();

    // The parts of the work that need no engine, public so that they can be tried directly.
    struct Barcode {
        ZXing::BarcodeFormat format = ZXing::BarcodeFormat::None;
        QString payload;
    };
    struct TextLine {
        double centreY = 0; // in image rows: grows downwards
        QString text;
    };
    // Named entries without empty payloads or repeats.
    static QStringList barcodeEntries(const QList<Barcode>& found);
    // Top line first (a stable sort on the centre), joined and trimmed.
    static QString joinLines(QList<TextLine> lines);
};

} // namespace vesker
