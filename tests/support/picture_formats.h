#pragma once

// Pictures in every form a phone, a scanner or an editor sends, made in the test itself: palette
// and one-bit PNGs, 16-bit and grey ones, CMYK JPEGs and TIFFs written by hand, HEIF from
// libheif's encoders where this libheif has them.

#include "support/test_images.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QPainter>
#include <QtEndian>

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace vesker::test {

// Red on the left, blue on the right, a white band along the top: which way it lies is seen.
inline QImage markedPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter painter(&image);
    painter.fillRect(0, 0, (width + 1) / 2, height, Qt::red);
    painter.fillRect(0, 0, width, height / 5, Qt::white);
    return image;
}

enum class TiffModel { grey, rgb, cmyk };
enum class TiffAlpha { none, associated, unassociated };

struct TiffLayout {
    TiffAlpha alpha = TiffAlpha::none; // taken from the source; premultiplied when associated
    bool planes = false; // each sample in a plane (and a strip) of its own
};

// An uncompressed little-endian TIFF at 8 or 16 bits a sample, each plane one strip.
inline QByteArray tiffBytes(const QImage& source, TiffModel model, int bits, TiffLayout layout = {})
{
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    const int colours = model == TiffModel::grey ? 1 : model == TiffModel::rgb ? 3 : 4;
    const int samples = colours + (layout.alpha == TiffAlpha::none ? 0 : 1);
    const int bytesPerSample = bits / 8;
    QList<QByteArray> planes(layout.planes ? samples : 1);
    const auto put = [&](int sample, int value255) {
        QByteArray& plane = planes[layout.planes ? sample : 0];
        const int value = bits == 16 ? value255 * 257 : value255;
        for (int i = 0; i < bytesPerSample; ++i)
            plane.append(char(value >> (8 * i))); // least significant byte first
    };
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QColor c = argb.pixelColor(x, y);
            std::vector<int> levels;
            if (model == TiffModel::grey) {
                levels = {qGray(c.rgb())};
            } else if (model == TiffModel::rgb) {
                levels = {c.red(), c.green(), c.blue()};
            } else {
                const int k = 255 - std::max({c.red(), c.green(), c.blue()});
                const auto ink
                    = [k](int level) { return k == 255 ? 0 : (255 - level - k) * 255 / (255 - k); };
                levels = {ink(c.red()), ink(c.green()), ink(c.blue()), k};
            }
            if (layout.alpha == TiffAlpha::associated) {
                for (int& level : levels)
                    level = level * c.alpha() / 255;
            }
            if (layout.alpha != TiffAlpha::none)
                levels.push_back(c.alpha());
            for (int i = 0; i < samples; ++i)
                put(i, levels[size_t(i)]);
        }
    }
    struct Entry {
        quint16 tag;
        quint16 type;
        quint32 count;
        quint32 value;
    };
    const auto le16
        = [](QByteArray& out, quint16 v) { out.append(char(v & 0xff)).append(char(v >> 8)); };
    const auto le32 = [&](QByteArray& out, quint32 v) {
        le16(out, quint16(v & 0xffff));
        le16(out, quint16(v >> 16));
    };
    // After the header: the bits of each sample, where each plane starts and how long it is,
    // the planes, and the directory last.
    QByteArray arrays;
    for (int i = 0; i < samples; ++i)
        le16(arrays, quint16(bits));
    const quint32 offsetsAt = 8 + quint32(arrays.size());
    const quint32 countsAt = offsetsAt + 4 * quint32(planes.size());
    quint32 planeAt = countsAt + 4 * quint32(planes.size());
    QByteArray offsets, counts, data;
    for (const QByteArray& plane : planes) {
        le32(offsets, planeAt + quint32(data.size()));
        le32(counts, quint32(plane.size()));
        data += plane;
        if (plane.size() % 2)
            data += '\0';
    }
    arrays += offsets + counts;
    const bool inline1 = planes.size() == 1;
    QList<Entry> entries {{256, 4, 1, quint32(argb.width())}, {257, 4, 1, quint32(argb.height())},
        {258, 3, quint32(samples), samples > 2 ? 8u : quint32(bits) * (samples == 2 ? 0x10001 : 1)},
        {259, 3, 1, 1},
        {262, 3, 1,
            model == TiffModel::grey      ? 1u
                : model == TiffModel::rgb ? 2u
                                          : 5u},
        {273, 4, quint32(planes.size()), inline1 ? planeAt : offsetsAt},
        {277, 3, 1, quint32(samples)}, {278, 4, 1, quint32(argb.height())},
        {279, 4, quint32(planes.size()), inline1 ? quint32(planes[0].size()) : countsAt},
        {284, 3, 1, layout.planes ? 2u : 1u}};
    if (model == TiffModel::cmyk)
        entries.append({332, 3, 1, 1});
    if (layout.alpha != TiffAlpha::none)
        entries.append({338, 3, 1, layout.alpha == TiffAlpha::associated ? 1u : 2u});
    QByteArray out("II*\0", 4);
    le32(out, planeAt + quint32(data.size()));
    out += arrays + data;
    le16(out, quint16(entries.size()));
    for (const Entry& e : entries) {
        le16(out, e.tag);
        le16(out, e.type);
        le32(out, e.count);
        if (e.type == 3 && e.count == 1) {
            le16(out, quint16(e.value));
            le16(out, 0);
        } else {
            le32(out, e.value);
        }
    }
    le32(out, 0);
    return out;
}

// A GIF of one frame, its colours those of `source` in a palette of 256, LZW-coded as any
// writer codes it (Qt writes no GIF). The frame's own size is at 13 + 768 + 5.
inline QByteArray gifBytes(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_Indexed8);
    QByteArray out("GIF89a");
    const auto le16 = [&out](int v) { out.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    le16(image.width());
    le16(image.height());
    out.append(char(0xf7)).append('\0').append('\0'); // a table of 256 colours follows
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < image.colorCount() ? image.color(i) : 0;
        out.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
    }
    out.append(',');
    le16(0);
    le16(0);
    le16(image.width());
    le16(image.height());
    out.append('\0').append(char(8)); // no table of its own; 8-bit codes

    QByteArray data;
    quint32 bits = 0;
    int held = 0;
    int width = 9;
    const auto write = [&](int code) {
        bits |= quint32(code) << held;
        for (held += width; held >= 8; held -= 8, bits >>= 8)
            data.append(char(bits & 0xff));
    };
    constexpr int kClear = 256, kEnd = 257;
    // The code for a known string followed by one more index, by string and index.
    std::vector<qint16> follows(4096 * 256, -1);
    int next = kEnd + 1;
    write(kClear);
    int prefix = -1;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const int index = row[x];
            if (prefix < 0) {
                prefix = index;
                continue;
            }
            qint16& known = follows[size_t(prefix) * 256 + index];
            if (known >= 0) {
                prefix = known;
                continue;
            }
            write(prefix);
            known = qint16(next++);
            if (next > (1 << width) && width < 12)
                ++width;
            if (next == 4096) {
                write(kClear);
                std::fill(follows.begin(), follows.end(), qint16(-1));
                next = kEnd + 1;
                width = 9;
            }
            prefix = index;
        }
    }
    write(prefix);
    write(kEnd);
    if (held > 0)
        data.append(char(bits & 0xff));
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        out.append(char(block.size())).append(block);
    }
    return out.append('\0').append(';');
}

// The checksum of a PNG chunk (of its type and data).
inline quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xffffffff;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

// A decompression bomb: a black grey PNG of `width` by `height`, a thousandth of its pixels in
// size.
inline QByteArray blackGreyPng(int width, int height)
{
    const auto chunk = [](const char* type, const QByteArray& data) {
        QByteArray typed = QByteArray(type) + data;
        QByteArray out(4, '\0');
        qToBigEndian<quint32>(quint32(data.size()), out.data());
        QByteArray crc(4, '\0');
        qToBigEndian<quint32>(crc32(typed), crc.data());
        return out + typed + crc;
    };
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(width), header.data());
    qToBigEndian<quint32>(quint32(height), header.data() + 4);
    header[8] = 8; // bits, then colour type 0: grey
    // Each row its filter byte and its pixels, all zero; qCompress puts the length first.
    const QByteArray rows(qsizetype(width + 1) * height, '\0');
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header)
        + chunk("IDAT", qCompress(rows, 9).mid(4)) + chunk("IEND", {});
}

// A four-colour JPEG as print software saves it (inverted CMYK under an Adobe marker). Qt writes
// no CMYK, but a baseline JPEG may bring its components one scan each: the scans of four grey
// JPEGs, one an ink, under one frame of four components.
inline QByteArray cmykJpeg(const QImage& source)
{
    const QImage rgb = source.convertToFormat(QImage::Format_RGB32);
    QImage inks[4];
    for (QImage& ink : inks)
        ink = QImage(rgb.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QColor c = rgb.pixelColor(x, y);
            const int k = 255 - std::max({c.red(), c.green(), c.blue()});
            const auto ink
                = [k](int level) { return k == 255 ? 0 : (255 - level - k) * 255 / (255 - k); };
            const int levels[4] = {ink(c.red()), ink(c.green()), ink(c.blue()), k};
            for (int i = 0; i < 4; ++i)
                inks[i].scanLine(y)[x] = uchar(255 - levels[i]); // stored inverted
        }
    }
    const auto segment = [](quint8 marker, const QByteArray& payload) {
        QByteArray out;
        out.append(char(0xff)).append(char(marker));
        out.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xff));
        return out + payload;
    };
    // The tables of one grey JPEG and its entropy-coded scan.
    struct Parts {
        QByteArray quantisation, huffman, scan;
    };
    const auto split = [](const QByteArray& jpeg) {
        Parts parts;
        qsizetype i = 2;
        while (i + 4 <= jpeg.size()) {
            const quint8 marker = quint8(jpeg[i + 1]);
            const int length = (quint8(jpeg[i + 2]) << 8) | quint8(jpeg[i + 3]);
            const QByteArray whole = jpeg.mid(i, 2 + length);
            if (marker == 0xdb)
                parts.quantisation += whole;
            else if (marker == 0xc4)
                parts.huffman += whole;
            if (marker == 0xda) {
                const qsizetype start = i + 2 + length;
                parts.scan = jpeg.mid(start, jpeg.lastIndexOf("\xff\xd9") - start);
                break;
            }
            i += 2 + length;
        }
        return parts;
    };
    QByteArray out("\xff\xd8", 2);
    out += segment(0xee, QByteArray("Adobe\0\x64\0\0\0\0\0", 12)); // transform 0: plain CMYK
    Parts channels[4];
    for (int i = 0; i < 4; ++i)
        channels[i] = split(encoded(inks[i], "jpeg", 95));
    out += channels[0].quantisation;
    QByteArray frame;
    frame.append(char(8));
    frame.append(char(rgb.height() >> 8)).append(char(rgb.height() & 0xff));
    frame.append(char(rgb.width() >> 8)).append(char(rgb.width() & 0xff));
    frame.append(char(4));
    for (int i = 0; i < 4; ++i)
        frame.append(char(i + 1)).append(char(0x11)).append(char(0));
    out += segment(0xc0, frame);
    for (int i = 0; i < 4; ++i) {
        out += channels[i].huffman;
        out += segment(0xda, QByteArray("\x01", 1) + char(i + 1) + QByteArray("\0\0\x3f\0", 4));
        out += channels[i].scan;
    }
    return out + QByteArray("\xff\xd9", 2);
}

struct PictureSample {
    const char* name;
    QByteArray bytes;
    QSize size; // as it is shown
};

// One of each form, `side` pixels wide (tiny and huge aside). Small enough by default that no
// thumbnail is scaled, so what the decoder gave reaches every encoder as it is.
inline QList<PictureSample> everyPictureForm(int width = 200, int height = 120)
{
    const QImage picture = markedPicture(width, height);
    const QSize size(width, height);
    QImage translucent = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width / 4; ++x)
            translucent.setPixelColor(x, y, QColor(0, 0, 0, 0));
    QImage paletteWithHoles = translucent.convertToFormat(QImage::Format_Indexed8);
    QList<PictureSample> samples {
        {"palette PNG", encoded(picture.convertToFormat(QImage::Format_Indexed8), "png"), size},
        {"palette PNG with transparency", encoded(paletteWithHoles, "png"), size},
        {"one-bit PNG", encoded(picture.convertToFormat(QImage::Format_Mono), "png"), size},
        {"grey PNG", encoded(picture.convertToFormat(QImage::Format_Grayscale8), "png"), size},
        {"16-bit grey PNG", encoded(picture.convertToFormat(QImage::Format_Grayscale16), "png"),
            size},
        {"16-bit RGB PNG", encoded(picture.convertToFormat(QImage::Format_RGBX64), "png"), size},
        {"16-bit RGBA PNG", encoded(translucent.convertToFormat(QImage::Format_RGBA64), "png"),
            size},
        {"PNG with alpha", encoded(translucent, "png"), size},
        {"JPEG", encoded(picture, "jpeg", 90), size},
        {"grey JPEG", encoded(picture.convertToFormat(QImage::Format_Grayscale8), "jpeg"), size},
        {"CMYK JPEG", cmykJpeg(picture), size},
        {"CMYK TIFF", tiffBytes(picture, TiffModel::cmyk, 8), size},
        {"16-bit CMYK TIFF", tiffBytes(picture, TiffModel::cmyk, 16), size},
        {"CMYK TIFF with alpha",
            tiffBytes(translucent, TiffModel::cmyk, 8, {TiffAlpha::unassociated}), size},
        {"16-bit CMYK TIFF with alpha",
            tiffBytes(translucent, TiffModel::cmyk, 16, {TiffAlpha::unassociated}), size},
        {"16-bit CMYK TIFF with premultiplied alpha",
            tiffBytes(translucent, TiffModel::cmyk, 16, {TiffAlpha::associated}), size},
        {"CMYK TIFF with alpha in planes",
            tiffBytes(translucent, TiffModel::cmyk, 8, {TiffAlpha::unassociated, true}), size},
        {"16-bit CMYK TIFF in planes", tiffBytes(picture, TiffModel::cmyk, 16, {{}, true}), size},
        {"16-bit RGB TIFF", tiffBytes(picture, TiffModel::rgb, 16), size},
        {"16-bit grey TIFF", tiffBytes(picture, TiffModel::grey, 16), size},
        {"palette BMP", encoded(picture.convertToFormat(QImage::Format_Indexed8), "bmp"), size},
        {"GIF", gifBytes(picture), size},
        {"WebP", encoded(translucent, "webp", 90), size},
        {"tiny PNG", encoded(markedPicture(1, 1).convertToFormat(QImage::Format_Indexed8), "png"),
            {1, 1}},
        {"tiny JPEG", encoded(markedPicture(1, 1), "jpeg"), {1, 1}},
    };
    if (const auto heic = heifBytes(picture, heif_compression_HEVC))
        samples.append({"HEIC", *heic, size});
    if (const auto avif = heifBytes(picture, heif_compression_AV1))
        samples.append({"AVIF", *avif, size});
    return samples;
}

} // namespace vesker::test
