#pragma once

#include "store/recognizer.h"

#include <QDeadlineTimer>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace vesker {

// One search of an image file for barcodes, run by our helper program `vesker-barcodes` (see
// barcode_helper_main.cpp) in a process of its own.
//
// Debian's ZXing 1.4 keeps its assertions, and one of them fails on ordinary photos: two
// labels with the same linear code (two packets of one product side by side) abort the
// process that reads them. A helper that dies takes only this search with it; the search is
// then repeated for one code per layer, which never reaches that assertion. A helper that
// hangs is killed at the time limit. Starting the search returns at once, so the caller can
// read the text meanwhile.
class BarcodeSearch {
public:
    // An empty `helper` means no search: the photo gets no codes.
    BarcodeSearch(const QString& imagePath, const QString& helper, qint64 maxPixels,
        std::chrono::milliseconds timeout);
    // A search whose answer was never asked for (the photo could not be decoded, say) stops
    // its helper and waits for it.
    ~BarcodeSearch();
    BarcodeSearch(const BarcodeSearch&) = delete;
    BarcodeSearch& operator=(const BarcodeSearch&) = delete;

    struct Answer {
        // In the order the helper reported them, each once.
        QList<Recognizer::Barcode> codes;
        // Where they lie on the photo reduced to kReadingSide (see ink_regions.h).
        QList<QRect> places;
    };
    // What the helper found; nothing when it failed. Waits for the helper the first time, at
    // most until the time limit.
    const Answer& answer();
    // The places of the codes found on the reduced picture alone; waits only until the helper
    // has searched that.
    QList<QRect> placesAtReadingSize();

    // The helper beside the program, else in the libexec folder of an installed program, else
    // the one in the build tree (for tests and benchmarks run from there); empty, with one line
    // in the log, when there is none.
    static QString defaultHelper();

private:
    enum class Mode { everyCode, oneCodePerLayer };
    void start(Mode mode);
    void stop();
    enum class Outcome { answered, crashed, failed };
    // None when the helper died, hung or said something unreadable.
    std::optional<Answer> collect(Outcome& outcome);

    QString m_imagePath;
    QString m_helper;
    qint64 m_maxPixels;
    std::chrono::milliseconds m_timeout;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_output;
    QDeadlineTimer m_deadline;
    Answer m_answer;
};

} // namespace vesker
