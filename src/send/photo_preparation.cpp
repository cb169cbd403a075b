#include "send/photo_preparation.h"

#include "platform/defaults.h"
#include "platform/enum_table.h"
#include "platform/image_decode.h"
#include "platform/media.h"
#include "send/photo_segments.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeDatabase>

#include <exiv2/exiv2.hpp>
#include <libheif/heif.h>

#include <algorithm>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace vesker {

namespace {

// Full size, re-encoded only where the metadata could not be removed otherwise.
constexpr int kOriginalQuality = 92;

constexpr platform::EnumTable<PhotoSize, 3> kPhotoSizes {{
    {PhotoSize::large, "large"},
    {PhotoSize::medium, "medium"},
    {PhotoSize::original, "original"},
}};

const QString kJpeg = QStringLiteral("image/jpeg");

struct Reduction {
    int longestSide;
    int quality;
};

Reduction reductionFor(PhotoSize size)
{
    return size == PhotoSize::medium ? Reduction {2048, 80} : Reduction {3200, 85};
}

// The XMP toolkit inside exiv2 must be set up once before threads use it, and exiv2 would
// otherwise write its complaints about odd files to stderr.
void initialiseExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize();
        Exiv2::enableBMFF(true);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    });
}

Exiv2::Image::AutoPtr openMetadata(const QByteArray& data)
{
    initialiseExiv2();
    auto image = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte*>(data.constData()), long(data.size()));
    if (image.get())
        image->readMetadata();
    return image;
}

QByteArray contentsOf(Exiv2::BasicIo& io)
{
    if (io.open() != 0)
        return {};
    const long size = io.size();
    const Exiv2::DataBuf buffer = io.read(size);
    io.close();
    if (buffer.size_ != size)
        return {};
    return QByteArray(reinterpret_cast<const char*>(buffer.pData_), buffer.size_);
}

QSize storedSize(const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer).size();
}

// Degrees, minutes and seconds as rationals, however many of the three a camera wrote.
std::optional<double> degreesOf(const Exiv2::Exifdatum& datum)
{
    if (datum.count() < 1 || datum.count() > 3)
        return std::nullopt;
    double degrees = 0;
    double unit = 1;
    for (long i = 0; i < long(datum.count()); ++i) {
        const Exiv2::Rational part = datum.toRational(i);
        if (part.second == 0)
            return std::nullopt;
        degrees += double(part.first) / double(part.second) / unit;
        unit *= 60;
    }
    return degrees;
}

QString referenceOf(const Exiv2::ExifData& exif, const char* key, const char* fallback)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end() || it->typeId() != Exiv2::asciiString)
        return QString::fromLatin1(fallback);
    QString text = QString::fromStdString(it->toString());
    text.truncate(text.indexOf(QChar(0)) < 0 ? text.size() : text.indexOf(QChar(0)));
    return text.toUpper();
}

} // namespace

QString toString(PhotoSize size)
{
    return platform::rawOf(kPhotoSizes, size);
}

PhotoSize photoSizeFromString(const QString& raw)
{
    return platform::caseOf(kPhotoSizes, raw).value_or(PhotoSize::large);
}

QList<PhotoSize> allPhotoSizes()
{
    return platform::casesOf(kPhotoSizes);
}

PhotoSize currentPhotoSize(const platform::Defaults& defaults)
{
    return photoSizeFromString(defaults.string(QString::fromLatin1(kPhotoSendSizeKey)));
}

QString imageMimeType(const QByteArray& data)
{
    // Qt's type database knows HEIF only by its file name, so its boxes are read here.
    const QString heif = QString::fromLatin1(
        heif_get_file_mime_type(reinterpret_cast<const uint8_t*>(data.constData()),
            int(std::min<qsizetype>(data.size(), 64))));
    if (heif.startsWith(QLatin1String("image/")))
        return heif;
    const QString name = QMimeDatabase().mimeTypeForData(data).name();
    return name.startsWith(QLatin1String("image/")) ? name : kJpeg;
}

namespace {

// Whether a TIFF's tags say only how to read and show its pixels.
bool onlyPictureTags(const QByteArray& tiff)
{
    static const QStringList kPicture {u"NewSubfileType"_s, u"SubfileType"_s, u"ImageWidth"_s,
        u"ImageLength"_s, u"BitsPerSample"_s, u"Compression"_s, u"PhotometricInterpretation"_s,
        u"FillOrder"_s, u"StripOffsets"_s, u"Orientation"_s, u"SamplesPerPixel"_s,
        u"RowsPerStrip"_s, u"StripByteCounts"_s, u"XResolution"_s, u"YResolution"_s,
        u"PlanarConfiguration"_s, u"ResolutionUnit"_s, u"TransferFunction"_s, u"WhitePoint"_s,
        u"PrimaryChromaticities"_s, u"Predictor"_s, u"ColorMap"_s, u"TileWidth"_s, u"TileLength"_s,
        u"TileOffsets"_s, u"TileByteCounts"_s, u"InkSet"_s, u"ExtraSamples"_s, u"SampleFormat"_s,
        u"JPEGTables"_s, u"YCbCrCoefficients"_s, u"YCbCrSubSampling"_s, u"YCbCrPositioning"_s,
        u"ReferenceBlackWhite"_s, u"InterColorProfile"_s};
    const auto image = openMetadata(tiff);
    if (!image.get() || !image->xmpData().empty() || !image->iptcData().empty())
        return false;
    for (const auto& datum : image->exifData()) {
        if (datum.groupName() != "Image"
            || !kPicture.contains(QString::fromStdString(datum.tagName())))
            return false;
    }
    return true;
}

// None where the metadata cannot be removed from this file (a format exiv2 cannot write).
std::optional<QByteArray> strippedMetadata(const QByteArray& data)
{
    // A PNG's chunks say by their names what they are; exiv2 would keep those it does not know.
    const QString extension = platform::pictureExtension(data);
    if (extension == u"png")
        return pngShowingOnly(data);
    // exiv2 reads and rewrites only the first of several Exif blocks and leaves the others
    // standing: they go first.
    std::optional<QByteArray> oneExif;
    if (extension == u"jpg") {
        oneExif = jpegWithOneExifBlock(data);
        if (!oneExif)
            return std::nullopt;
    }
    // exiv2 reads from these bytes without copying them.
    const QByteArray& input = oneExif ? *oneExif : data;
    try {
        const auto image = openMetadata(input);
        if (!image.get())
            return std::nullopt;
        const Exiv2::ExifData& exif = image->exifData();
        const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        const std::optional<long> turn = orientation != exif.end() && orientation->count() > 0
            ? std::optional<long>(orientation->toLong())
            : std::nullopt;
        image->clearExifData();
        image->clearIptcData();
        image->clearXmpData();
        image->clearXmpPacket();
        image->clearComment();
        if (turn)
            image->exifData()["Exif.Image.Orientation"] = uint16_t(*turn);
        image->writeMetadata();
        QByteArray stripped = contentsOf(image->io());
        if (stripped.isEmpty())
            return std::nullopt;
        // exiv2 leaves the segments it has no name for, and what follows the image.
        if (image->imageType() == Exiv2::ImageType::jpeg)
            return jpegShowingOnly(stripped);
        // A TIFF keeps its picture's own tags, and exiv2 writes back some that describe it
        // (its XMP packet among them): such a file goes re-encoded instead.
        if (image->imageType() == Exiv2::ImageType::tiff && !onlyPictureTags(stripped))
            return std::nullopt;
        return stripped;
    } catch (const std::exception&) {
        // Formats exiv2 reads but cannot write (HEIF among them) land here too.
        return std::nullopt;
    }
}

} // namespace

QByteArray stripMetadata(const QByteArray& data)
{
    return strippedMetadata(data).value_or(data);
}

PreparedPhoto preparePhoto(const QByteArray& data, PhotoSize size)
{
    const QString mimeType = imageMimeType(data);
    // A photo whose metadata cannot be removed in place (HEIC, or a JPEG exiv2 will not write
    // back) would tell where it was taken: it goes re-encoded instead, carrying nothing.
    const auto reencoded = [&data](int longestSide, int quality) -> std::optional<QByteArray> {
        const QImage image = platform::decodeImageData(data, longestSide);
        QByteArray jpeg = image.isNull() ? QByteArray() : platform::jpegBytes(image, quality);
        return jpeg.isEmpty() ? std::nullopt : std::optional(std::move(jpeg));
    };
    if (size == PhotoSize::original) {
        if (std::optional<QByteArray> stripped = strippedMetadata(data))
            return {*stripped, mimeType};
        if (std::optional<QByteArray> jpeg = reencoded(0, kOriginalQuality))
            return {*jpeg, kJpeg};
        return {data, mimeType};
    }

    const Reduction reduction = reductionFor(size);
    if (mimeType == kJpeg) {
        const QSize stored = storedSize(data);
        if (stored.isValid()
            && std::max(stored.width(), stored.height()) <= reduction.longestSide) {
            if (std::optional<QByteArray> stripped = strippedMetadata(data))
                return {*stripped, kJpeg};
        }
    }
    std::optional<QByteArray> jpeg = reencoded(reduction.longestSide, reduction.quality);
    if (!jpeg)
        return {stripMetadata(data), mimeType};
    if (jpeg->size() >= data.size() && mimeType == kJpeg) {
        if (std::optional<QByteArray> stripped = strippedMetadata(data))
            return {*stripped, kJpeg};
    }
    return {*std::move(jpeg), kJpeg};
}

std::optional<PhotoLocation> PhotoLocation::read(const QByteArray& data)
{
    try {
        const auto image = openMetadata(data);
        if (!image.get())
            return std::nullopt;
        const Exiv2::ExifData& exif = image->exifData();
        const auto latitude = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitude"));
        const auto longitude = exif.findKey(Exiv2::ExifKey("Exif.GPSInfo.GPSLongitude"));
        if (latitude == exif.end() || longitude == exif.end())
            return std::nullopt;
        const auto north = degreesOf(*latitude);
        const auto east = degreesOf(*longitude);
        if (!north || !east)
            return std::nullopt;
        const bool south = referenceOf(exif, "Exif.GPSInfo.GPSLatitudeRef", "N") == u"S";
        const bool west = referenceOf(exif, "Exif.GPSInfo.GPSLongitudeRef", "E") == u"W";
        return PhotoLocation {south ? -*north : *north, west ? -*east : *east};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace vesker
