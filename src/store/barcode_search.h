#pragma once

#include "store/recognizer.h"

#include <QDeadlineTimer>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QString>

#include <chrono>
#include <memory>

namespace vesker {

// One search of an image file for barcodes, run by our helper program `vesker-barcodes` (see
// barcode_helper_main.cpp) in a process of its own.
//
// Debian's ZXing 1.4 keeps its assertions, and one of them fails on ordinary pictures: two
// labels with the same linear code (two packets of one product side by side), now and then a
// sheet of QR labels. A helper that dies takes only its own run with it: what it printed before
// stands, and it is started again to search the picture another way where it died, until it
// ends (a few times at most). A helper that hangs is killed at the time limit. Starting the
// search returns at once, so the caller can read the text meanwhile.
class BarcodeSearch {
public:
    // An empty `helper` means no search: the photo gets no codes. `timeout` bounds the whole
    // search, every run of the helper together.
    BarcodeSearch(const QString& imagePath, const QString& helper, qint64 maxPixels,
        std::chrono::milliseconds timeout);
    // A search whose answer was never asked for (the photo could not be decoded, say) stops
    // its helper and waits for it.
    ~BarcodeSearch();
    BarcodeSearch(const BarcodeSearch&) = delete;
    BarcodeSearch& operator=(const BarcodeSearch&) = delete;

    // The helper is started once, and once more for every step of the search that killed it,
    // at most this many times in all.
    static constexpr int kMaxRuns = 6;

    struct Answer {
        // In the order the helper reported them, each once.
        QList<Recognizer::Barcode> codes;
        // Where they lie on the photo reduced to kReadingSide (see ink_regions.h).
        QList<QRect> places;
    };
    // What the helper found, also in runs that died or hung. Waits for the search the first
    // time, at most until the time limit.
    const Answer& answer();
    // The places of the codes found on the reduced picture alone; waits only until the helper
    // has searched that.
    QList<QRect> placesAtReadingSize();

    // The helper beside the program, else in the libexec folder of an installed program, else
    // the one in the build tree (for tests and benchmarks run from there); empty, with one line
    // in the log, when there is none.
    static QString defaultHelper();

private:
    void start();
    void stop();
    // Waits for the running helper to end, at most until the time limit, and keeps what it
    // found; starts it again where it died in a step it may avoid.
    void finishRun();
    void keep(const Answer& found);

    QString m_imagePath;
    QString m_helper;
    qint64 m_maxPixels;
    std::chrono::milliseconds m_timeout;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_output;
    QDeadlineTimer m_deadline;
    // The steps that killed a run, for the next run to search another way.
    QList<int> m_avoid;
    int m_runs = 0;
    Answer m_answer;
};

} // namespace vesker
