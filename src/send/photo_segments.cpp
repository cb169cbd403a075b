#include "send/photo_segments.h"

#include <QByteArrayList>

namespace vesker {

namespace {

// The JFIF header up to its pixel density; the thumbnail's size and pixels follow.
constexpr qsizetype kJfifDensityEnd = 12;
constexpr int kJfifWithoutThumbnail = 14;

enum class Scope { laterExifBlocks, allButThePicture };
enum class Fate { kept, dropped, trimmed };

Fate fateOf(uchar marker, const QByteArray& head, int payloadSize, Scope scope, bool& exifSeen)
{
    // An editor may put an Exif block of its own before the camera's: only the first, the one
    // readers go by, stays.
    if (marker == 0xE1 && head.startsWith(QByteArrayLiteral("Exif\0\0"))) {
        const bool first = !exifSeen;
        exifSeen = true;
        return first ? Fate::kept : Fate::dropped;
    }
    if (scope == Scope::laterExifBlocks)
        return Fate::kept;
    if (marker == 0xFE)
        return Fate::dropped;
    if (marker < 0xE0 || marker > 0xEF)
        return Fate::kept;
    // Extended XMP (a phone's depth map, the unedited original) rides in further APP1 segments
    // of its own, and the JFIF header may carry a thumbnail.
    if (marker == 0xE0 && head.startsWith(QByteArrayLiteral("JFIF\0")))
        return payloadSize > kJfifWithoutThumbnail ? Fate::trimmed : Fate::kept;
    // A large profile is split over several segments, all of them needed.
    if (marker == 0xE2)
        return head.startsWith(QByteArrayLiteral("ICC_PROFILE\0")) ? Fate::kept : Fate::dropped;
    return marker == 0xEE && head.startsWith("Adobe") ? Fate::kept : Fate::dropped;
}

std::optional<QByteArray> walked(const QByteArray& jpeg, Scope scope)
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
        const Fate fate = fateOf(
            marker, jpeg.mid(i + 4, std::min(length - 2, 16)), length - 2, scope, exifSeen);
        if (fate != Fate::kept) {
            out.append(jpeg.constData() + copiedTo, i - copiedTo);
            copiedTo = i + 2 + length;
        }
        if (fate == Fate::trimmed) {
            out.append("\xFF\xE0", 2).append('\0').append(char(kJfifWithoutThumbnail + 2));
            out.append(jpeg.constData() + i + 4, kJfifDensityEnd).append(2, '\0');
        }
        i += 2 + length;
        inScan = marker == 0xDA;
    }
    return std::nullopt;
}

} // namespace

std::optional<QByteArray> jpegShowingOnly(const QByteArray& jpeg)
{
    return walked(jpeg, Scope::allButThePicture);
}

std::optional<QByteArray> jpegWithOneExifBlock(const QByteArray& jpeg)
{
    return walked(jpeg, Scope::laterExifBlocks);
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
