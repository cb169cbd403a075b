#pragma once

#include "store/recognizer.h"

#include <QImage>
#include <QList>
#include <QRect>

#include <functional>
#include <memory>
#include <optional>

namespace tesseract {
class TessBaseAPI;
}

namespace vesker {

// Tesseract's LSTM engine (English, no language correction), set up once and used for every
// picture of one photo: first the copy reduced to kReadingSide, then, only where that copy
// leaves marks unread or reads them with little confidence, the same places of the full photo.
class TextReader {
public:
    explicit TextReader(const QString& tessdataDir);
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // False when the engine could not start (no trained data).
    bool isReady() const { return m_ready; }

    struct Line {
        QRect box;
        QString text;
        float confidence = 0; // Tesseract's, 0 to 100
        float middleConfidence = 0; // of its middle word by confidence
    };
    // The lines of an RGB888 picture, in Tesseract's order; none when the engine gave up on
    // it. A line's confidence is its least sure word's.
    std::optional<QList<Line>> read(const QImage& rgb);

    // The lines of a photo from `reduced` and, where needed, from the full photo, which
    // `loadFull` decodes (a null image when it cannot); not ordered. `codePlaces` gives where
    // codes were found, on `reduced`: those are not read again for text. A `reduced` copy
    // as large as the photo is read once.
    std::optional<QList<Recognizer::TextLine>> readPhoto(const QImage& reduced,
        const std::function<QImage()>& loadFull, const std::function<QList<QRect>()>& codePlaces);

private:
    std::unique_ptr<tesseract::TessBaseAPI> m_api;
    bool m_ready = false;
};

} // namespace vesker
