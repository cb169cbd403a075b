#include "send/photo_segments.h"

#include <QByteArrayList>

namespace vesker {

namespace {

bool kept(uchar marker, const QByteArray& payload, bool& exifSeen)
{
    if (marker == 0xFE)
        return false;
    if (marker < 0xE0 || marker > 0xEF)
        return true;
    if (marker == 0xE0)
        return payload.startsWith(QByteArrayLiteral("JFIF\0"));
    // Extended XMP (a phone's depth map, the unedited original) rides in further APP1
    // segments of its own; only the one Exif block stays.
    if (marker == 0xE1 && payload.startsWith(QByteArrayLiteral("Exif\0\0")) && !exifSeen) {
        exifSeen = true;
        return true;
    }
    // A large profile is split over several segments, all of them needed.
    if (marker == 0xE2)
        return payload.startsWith(QByteArrayLiteral("ICC_PROFILE\0"));
    return marker == 0xEE && payload.startsWith("Adobe");
}

} // namespace

std::optional<QByteArray> jpegShowingOnly(const QByteArray& jpeg)
{
    const auto byte = [&jpeg](qsizetype i) { return uchar(jpeg.at(i)); };
    const qsizetype size = jpeg.size();
    if (size < 4 || byte(0) != 0xFF || byte(1) != 0xD8)
        return std::nullopt;
    QByteArray out;
    out.reserve(size);
    qsizetype copiedTo = 0;
    qsizetype i = 2;
    bool inScan = false;
    bool exifSeen = false;
    while (i + 1 < size) {
        if (byte(i) != 0xFF) {
            if (!inScan)
                return std::nullopt;
            ++i;
            continue;
        }
        const uchar marker = byte(i + 1);
        if (marker == 0x00 || marker == 0xFF || (marker >= 0xD0 && marker <= 0xD7)) {
            i += marker == 0xFF ? 1 : 2;
            continue;
        }
        if (marker == 0xD9) {
            out.append(jpeg.constData() + copiedTo, i + 2 - copiedTo);
            return out;
        }
        if (i + 3 >= size)
            return std::nullopt;
        const int length = (byte(i + 2) << 8) | byte(i + 3);
        if (length < 2 || i + 2 + length > size)
            return std::nullopt;
        if (!kept(marker, jpeg.mid(i + 4, std::min(length - 2, 16)), exifSeen)) {
            out.append(jpeg.constData() + copiedTo, i - copiedTo);
            copiedTo = i + 2 + length;
        }
        i += 2 + length;
        inScan = marker == 0xDA;
    }
    return std::nullopt;
}

std::optional<QByteArray> pngShowingOnly(const QByteArray& png)
{
    static const QByteArray kSignature("\x89PNG\r\n\x1A\n", 8);
    static const QByteArrayList kLooks {
        "tRNS", "gAMA", "cHRM", "sRGB", "iCCP", "cICP", "acTL", "fcTL", "fdAT"};
    if (!png.startsWith(kSignature))
        return std::nullopt;
    QByteArray out = kSignature;
    qsizetype at = kSignature.size();
    while (at + 12 <= png.size()) {
        const auto* p = reinterpret_cast<const uchar*>(png.constData()) + at;
        const quint64 length
            = quint64(p[0]) << 24 | quint64(p[1]) << 16 | quint64(p[2]) << 8 | p[3];
        if (length > quint64(png.size() - at - 12))
            return std::nullopt;
        const QByteArray type = png.mid(at + 4, 4);
        const qsizetype chunk = 12 + qsizetype(length);
        // A capital first letter marks a chunk a decoder cannot do without.
        if ((type.at(0) >= 'A' && type.at(0) <= 'Z') || kLooks.contains(type))
            out.append(png.constData() + at, chunk);
        at += chunk;
        if (type == "IEND")
            return out;
    }
    return std::nullopt;
}

} // namespace vesker
