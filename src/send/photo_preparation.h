#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace vesker {

namespace platform {
class Defaults;
}

// How large a photo leaves this computer. Stored under "photoSendSize" as its raw value.
enum class PhotoSize { large, medium, original };

inline constexpr auto kPhotoSendSizeKey = "photoSendSize";

QString toString(PhotoSize size);
// Exact raw values only: anything else, another case included, is `large`.
PhotoSize photoSizeFromString(const QString& raw);
QList<PhotoSize> allPhotoSizes();

// The size chosen now, read afresh from `defaults` on every call. Main thread, as the settings
// are.
PhotoSize currentPhotoSize(const platform::Defaults& defaults);

struct PreparedPhoto {
    QByteArray bytes;
    QString mimeType;
};

// Everything below keeps no state, never fails (each step that cannot be done falls back to the
// bytes as they came) and may run on any thread. Decoding a photo is slow: call it from a
// worker, never the main thread.

// The bytes to send for `size`: a JPEG that already fits goes out stripped with its own
// compressed pixels; anything larger, any other format and any photo whose metadata cannot be
// removed in place is decoded straight to the size, turned upright and encoded as a JPEG
// without metadata, which replaces a strippable JPEG only when it is smaller. `original`
// decodes a pixel only when the metadata cannot be removed otherwise.
PreparedPhoto preparePhoto(const QByteArray& data, PhotoSize size);

// The same image format with every piece of metadata gone but the orientation (and the colour
// profile, which is not about the camera but about how to show the pixels). The input
// unchanged where the format cannot be rewritten.
QByteArray stripMetadata(const QByteArray& data);

// The MIME type of the image format `data` holds; "image/jpeg" when it cannot be told.
QString imageMimeType(const QByteArray& data);

// Where a photo was taken, in signed decimal degrees (south and west negative).
struct PhotoLocation {
    double latitude = 0;
    double longitude = 0;

    // Read from the bytes as they came: every prepared form has lost its position.
    static std::optional<PhotoLocation> read(const QByteArray& data);
};

} // namespace vesker
