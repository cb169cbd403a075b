#pragma once

#include "store/recognizer.h"

#include <QImage>
#include <QList>
#include <QString>

#include <optional>

#include <sys/types.h>

namespace vesker {

// One search of an image for barcodes with ZXing, run in a child process of its own.
//
// Debian's ZXing 1.4 keeps its assertions, and one of them fails on ordinary photos: two
// labels with the same linear code (two packets of one product side by side) abort the
// process that reads them. A child that dies takes only this search with it; the search is
// then repeated for one code per layer, which never reaches that assertion. A child that hangs
// is killed after a while. Starting the search returns at once, so the caller can read the
// text meanwhile.
class BarcodeSearch {
public:
    explicit BarcodeSearch(const QImage& image);
    ~BarcodeSearch();
    BarcodeSearch(const BarcodeSearch&) = delete;
    BarcodeSearch& operator=(const BarcodeSearch&) = delete;

    // The codes found, in the order ZXing reported them, layer by layer (possibly repeated:
    // the same code is often found in more than one layer). Waits for the child.
    QList<Recognizer::Barcode> results();

private:
    enum class Mode { everyCode, oneCodePerLayer };
    void start(Mode mode);
    // None when the child died, hung or said something unreadable.
    std::optional<QList<Recognizer::Barcode>> collect();
    void stop();

    // Grey copies: the full image first, then each a third of the one before.
    QList<QImage> m_layers;
    pid_t m_child = -1;
    int m_pipe = -1;
    // How the last child ended, for the log.
    QString m_outcome;
};

} // namespace vesker
