#pragma once

// Photos as phone cameras leave them, with exiv2, for the tests of what leaves this computer.

#include <QByteArray>

#include <exiv2/exiv2.hpp>

namespace vesker::test {

inline Exiv2::Image::AutoPtr metadataOf(const QByteArray& data)
{
    Exiv2::XmpParser::initialize();
    auto image = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte*>(data.constData()), long(data.size()));
    image->readMetadata();
    return image;
}

// What a phone camera leaves in a photo: position (52°30'36" N, 13°24' E), maker data, XMP,
// IPTC and how to turn it.
inline QByteArray withCameraMetadata(const QByteArray& jpeg, int orientation,
    const char* latitudeRef = "N", const char* longitudeRef = "E", bool withLongitude = true)
{
    auto image = metadataOf(jpeg);
    Exiv2::ExifData& exif = image->exifData();
    exif["Exif.Image.Orientation"] = uint16_t(orientation);
    exif["Exif.Image.Make"] = std::string("Testmaker");
    exif["Exif.Photo.MakerNote"] = std::string("1 2 3 4");
    exif["Exif.GPSInfo.GPSLatitude"] = std::string("52/1 30/1 36/1");
    if (withLongitude)
        exif["Exif.GPSInfo.GPSLongitude"] = std::string("13/1 24/1 0/1");
    if (*latitudeRef)
        exif["Exif.GPSInfo.GPSLatitudeRef"] = std::string(latitudeRef);
    if (*longitudeRef)
        exif["Exif.GPSInfo.GPSLongitudeRef"] = std::string(longitudeRef);
    image->xmpData()["Xmp.dc.description"] = std::string("at home");
    image->iptcData()["Iptc.Application2.Caption"] = std::string("at home");
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    io.open();
    const Exiv2::DataBuf buffer = io.read(io.size());
    return QByteArray(reinterpret_cast<const char*>(buffer.pData_), buffer.size_);
}

} // namespace vesker::test
