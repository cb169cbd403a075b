#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

namespace vesker::platform {

// The MIME type a stored file is served under, by its extension: the types of the pictures
// `pictureExtension` names and of PDFs; anything else, "heif" included, is served as a JPEG.
QString mimeType(const QString& filename);
// The extension a photo is stored under, from the content type its sender declared: only for
// bytes that do not tell it themselves.
QString photoExtension(const QString& contentType);
// The extension a picture is stored under, by its first bytes ("jpg", "png", "gif", "webp",
// "tiff", "bmp", "heic" or "avif"); empty for what `sniffContent` calls no picture.
QString pictureExtension(const QByteArray& bytes);

// What a body is by its first bytes alone, never by decoding it: a picture in a format phones
// and cameras send (JPEG, PNG, GIF, WebP, TIFF, BMP, and HEIC, HEIF or AVIF in an ISO "ftyp"
// box), even one this computer cannot decode; a PDF; or neither. Cheap on any thread.
enum class SniffedContent { picture, pdf, other };
SniffedContent sniffContent(const QByteArray& bytes);

// JPEG thumbnails (quality 70) of a stored photo or of a PDF's first page, the longer side
// `maxPixelSize`; none when the file cannot be read. They decode files that strangers sent:
// bounded in memory, slow enough that callers keep them off the main thread, and safe to run on
// several threads at once.
// The pictures behind every thumbnail, the server's and the window's alike. A photo comes out
// upright with its longer side at most `maxSide` (never enlarged); a PDF (by its extension, in
// any case) is its first page drawn on white with its longer side exactly `maxSide`. Null when
// the file cannot be read. Any thread.
QImage thumbnailImage(const QString& path, int maxSide);
QImage pdfPageImage(const QString& path, int maxSide);
// The number of pages of a PDF; none when it cannot be opened. Slow: keep it off the main thread.
std::optional<int> pdfPageCount(const QString& path);

std::optional<QByteArray> thumbnailData(const QString& path, int maxPixelSize);
std::optional<QByteArray> pdfThumbnailData(const QString& path, int maxPixelSize);

// JPEG bytes of an image at `quality` (0 to 100): what was transparent shows on white, as a page
// would, and no text the decoder picked up (JPEG comments, PNG text) goes along. Empty on
// failure.
QByteArray jpegBytes(const QImage& image, int quality);

} // namespace vesker::platform
