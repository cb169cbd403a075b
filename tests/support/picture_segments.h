#pragma once

// Photos with what cameras, phones and editors tuck into their files besides the picture, and
// readers of a file's segments and chunks, for the tests of what leaves this computer. The name
// "Ann Example" is in every piece that must not leave.

#include <QByteArray>
#include <QByteArrayList>
#include <QImage>
#include <QList>
#include <QtEndian>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <utility>

namespace vesker::test {

// The marker and the first bytes of each segment before the first scan.
inline QList<std::pair<uchar, QByteArray>> jpegSegments(const QByteArray& jpeg)
{
    QList<std::pair<uchar, QByteArray>> segments;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF) {
        const uchar marker = uchar(jpeg[at + 1]);
        const int length = (uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]);
        segments.append({marker, jpeg.mid(at + 4, std::min(length - 2, 40))});
        if (marker == 0xDA)
            break;
        at += 2 + length;
    }
    return segments;
}

inline QByteArray jpegSegment(uchar marker, const QByteArray& payload)
{
    const int length = int(payload.size()) + 2;
    return QByteArray(1, char(0xFF)) + char(marker) + char(length >> 8) + char(length & 0xFF)
        + payload;
}

inline QByteArrayList pngChunks(const QByteArray& png)
{
    QByteArrayList types;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        types.append(png.mid(at + 4, 4));
        at += 12 + qsizetype(length);
    }
    return types;
}

inline QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char c : type + data) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    }
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(data.size()), chunk.data());
    chunk += type + data;
    QByteArray tail(4, '\0');
    qToBigEndian(crc ^ 0xFFFFFFFF, tail.data());
    return chunk + tail;
}

// `jpeg` with 70 KB of extended XMP in two segments (a phone's depth map and unedited original
// ride there), the ICC profile `icc`, a multi-picture index, a Photoshop block, a JPEG XT box and
// a comment, all after its first segment.
inline QByteArray withEverythingAPhoneAdds(const QByteArray& jpeg, const QByteArray& icc)
{
    const QByteArray description = QByteArray("<x:xmpmeta>Ann Example ") + QByteArray(70000, 'd');
    const QByteArray guid(32, 'A');
    QByteArray extras;
    for (qsizetype offset = 0; offset < description.size(); offset += 60000) {
        const QByteArray payload = QByteArray("http://ns.adobe.com/xmp/extension/\0", 35) + guid;
        QByteArray sizes(8, '\0');
        qToBigEndian(quint32(description.size()), sizes.data());
        qToBigEndian(quint32(offset), sizes.data() + 4);
        extras += jpegSegment(0xE1, payload + sizes + description.mid(offset, 60000));
    }
    extras += jpegSegment(0xE2, QByteArray("ICC_PROFILE\0\x01\x01", 14) + icc);
    extras += jpegSegment(0xE2, QByteArray("MPF\0", 4) + "II*\0 Ann Example's second picture");
    extras += jpegSegment(0xED, "Photoshop 3.0\0 Ann Example");
    extras += jpegSegment(0xEB, "JP Ann Example");
    extras += jpegSegment(0xFE, "Taken by Ann Example");
    const qsizetype afterFirst = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
    return jpeg.left(afterFirst) + extras + jpeg.mid(afterFirst);
}

// `jpeg`, which opens with a JFIF header, as an editor that knew nothing of the camera's Exif
// block leaves it: the JFIF header carrying a thumbnail, an Exif block of the editor's own with
// no orientation, and the camera's after it with where, when, with what and by whom.
inline QByteArray withThumbnailAndSecondExif(const QByteArray& jpeg)
{
    const auto exifSegment = [](const Exiv2::ExifData& data) {
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, data);
        return jpegSegment(0xE1,
            QByteArray("Exif\0\0", 6)
                + QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size())));
    };
    Exiv2::ExifData editor;
    editor["Exif.Image.Software"] = std::string("Editor");
    Exiv2::ExifData camera;
    camera["Exif.Image.Make"] = std::string("Testmaker");
    camera["Exif.Image.Model"] = std::string("Testmaker One");
    camera["Exif.Photo.DateTimeOriginal"] = std::string("2024:05:06 07:08:09");
    camera["Exif.Photo.BodySerialNumber"] = std::string("Ann Example SN 4711");
    camera["Exif.Photo.LensSerialNumber"] = std::string("Ann Example LS 0815");
    camera["Exif.Photo.CameraOwnerName"] = std::string("Ann Example");
    camera["Exif.Photo.UserComment"] = std::string("charset=Ascii Ann Example at home");
    camera["Exif.GPSInfo.GPSLatitudeRef"] = std::string("N");
    camera["Exif.GPSInfo.GPSLatitude"] = std::string("52/1 30/1 36/1");
    camera["Exif.GPSInfo.GPSLongitudeRef"] = std::string("E");
    camera["Exif.GPSInfo.GPSLongitude"] = std::string("13/1 24/1 0/1");
    // Three by three pixels of RGB.
    const QByteArray jfif = jpeg.mid(6, 12) + "\x03\x03"
        + QByteArray("Ann Example's thumbnail").leftJustified(27, '.');
    const qsizetype afterJfif = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
    return jpeg.left(2) + jpegSegment(0xE0, jfif) + exifSegment(editor) + exifSegment(camera)
        + jpeg.mid(afterJfif);
}

// `png` with what editors write: gamma (which stays), physical size, a time, compressed and
// international text, Exif, and bytes after its end. Qt's writer adds the image's texts.
inline QByteArray withEverythingAnEditorAdds(const QByteArray& png)
{
    QByteArray exif;
    {
        Exiv2::ExifData data;
        data["Exif.Image.Orientation"] = uint16_t(1);
        data["Exif.Image.Artist"] = std::string("Ann Example");
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::bigEndian, data);
        exif = QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
    }
    const qsizetype afterHeader = 8 + 12 + 13;
    const qsizetype end = png.lastIndexOf("IEND") - 4;
    return png.left(afterHeader) + pngChunk("gAMA", QByteArray("\0\0\xb1\x8f", 4))
        + pngChunk("pHYs", QByteArray("\0\0\x0e\xc4\0\0\x0e\xc4\x01", 9))
        + pngChunk("tIME", QByteArray("\x07\xea\x01\x02\x03\x04\x05", 7))
        + pngChunk("zTXt", QByteArray("Description\0\0", 13) + qCompress("Ann Example").mid(4))
        + pngChunk("tEXt", QByteArray("Author\0Ann Example", 18))
        + png.mid(afterHeader, end - afterHeader)
        + pngChunk("iTXt", QByteArray("Title\0\0\0\0\0Ann Example", 21)) + pngChunk("eXIf", exif)
        + png.mid(end) + "trailing Ann Example";
}

} // namespace vesker::test
