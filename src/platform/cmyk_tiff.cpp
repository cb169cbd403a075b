#include "platform/cmyk_tiff.h"

#include <QtEndian>

#include <algorithm>
#include <vector>

namespace vesker::platform {

namespace {

constexpr quint16 kBitsPerSample = 258;
constexpr quint16 kPhotometric = 262;
constexpr quint16 kSamplesPerPixel = 277;
constexpr quint16 kInkSet = 332;
constexpr quint16 kExtraSamples = 338;
constexpr quint64 kSeparated = 5;
constexpr quint64 kRgb = 2;
constexpr quint16 kShort = 3;
constexpr quint16 kLong = 4;

// The first directory of a TIFF, read without trusting any offset or count in it.
class TiffDirectory {
public:
    explicit TiffDirectory(const QByteArray& bytes)
        : m_bytes(bytes)
    {
        if (bytes.startsWith("II"))
            m_little = true;
        else if (!bytes.startsWith("MM"))
            return;
        const auto magic = number(2, 2);
        m_big = magic == 43u;
        if (magic != 42u && !(m_big && number(4, 2) == 8u))
            return;
        const auto directory = m_big ? number(8, 8) : number(4, 4);
        const auto count = directory ? number(qsizetype(*directory), m_big ? 8 : 2) : std::nullopt;
        // More entries than a TIFF has tags is a forged count.
        if (!count || *count > 4096)
            return;
        const qsizetype first = qsizetype(*directory) + (m_big ? 8 : 2);
        for (quint64 i = 0; i < *count; ++i) {
            const qsizetype at = first + qsizetype(i) * (m_big ? 20 : 12);
            const auto tag = number(at, 2);
            const auto type = number(at + 2, 2);
            const auto values = number(at + 4, m_big ? 8 : 4);
            if (!tag || !type || !values)
                return;
            m_entries.push_back({quint16(*tag), quint16(*type), *values, at + (m_big ? 12 : 8)});
        }
        m_valid = true;
    }

    bool isValid() const { return m_valid; }

    bool has(quint16 tag) const { return find(tag) != nullptr; }

    // The whole-number values of a tag; empty when it is missing or of another type.
    std::vector<quint64> values(quint16 tag) const
    {
        const Entry* entry = find(tag);
        if (!entry || (entry->type != kShort && entry->type != kLong) || entry->count > 16)
            return {};
        const int size = entry->type == kShort ? 2 : 4;
        const qsizetype fieldSize = m_big ? 8 : 4;
        qsizetype at = entry->field;
        if (qsizetype(entry->count) * size > fieldSize) {
            const auto offset = number(entry->field, int(fieldSize));
            if (!offset)
                return {};
            at = qsizetype(*offset);
        }
        std::vector<quint64> out;
        for (quint64 i = 0; i < entry->count; ++i) {
            const auto value = number(at + qsizetype(i) * size, size);
            if (!value)
                return {};
            out.push_back(*value);
        }
        return out;
    }

    // Where a one-value SHORT tag keeps its value, in the file's byte order.
    std::optional<qsizetype> shortField(quint16 tag) const
    {
        const Entry* entry = find(tag);
        if (!entry || entry->type != kShort || entry->count != 1)
            return std::nullopt;
        return entry->field;
    }

    bool littleEndian() const { return m_little; }

private:
    struct Entry {
        quint16 tag;
        quint16 type;
        quint64 count;
        qsizetype field;
    };

    const Entry* find(quint16 tag) const
    {
        for (const Entry& entry : m_entries) {
            if (entry.tag == tag)
                return &entry;
        }
        return nullptr;
    }

    std::optional<quint64> number(qsizetype at, int size) const
    {
        if (at < 0 || at > m_bytes.size() - size)
            return std::nullopt;
        const auto* p = reinterpret_cast<const uchar*>(m_bytes.constData()) + at;
        quint64 value = 0;
        for (int i = 0; i < size; ++i) {
            const quint64 byte = p[m_little ? size - 1 - i : i];
            value = value << 8 | byte;
        }
        return value;
    }

    const QByteArray& m_bytes;
    bool m_little = false;
    bool m_big = false;
    bool m_valid = false;
    std::vector<Entry> m_entries;
};

} // namespace

std::optional<QByteArray> cmykTiffAsRgba(const QByteArray& tiff)
{
    const TiffDirectory directory(tiff);
    if (!directory.isValid())
        return std::nullopt;
    const std::vector<quint64> model = directory.values(kPhotometric);
    const std::vector<quint64> samples = directory.values(kSamplesPerPixel);
    const std::vector<quint64> bits = directory.values(kBitsPerSample);
    const std::vector<quint64> inks = directory.values(kInkSet);
    const bool cmyk = model == std::vector<quint64> {kSeparated}
        && samples == std::vector<quint64> {4} && (inks.empty() || inks.front() == 1)
        && !directory.has(kExtraSamples);
    const bool sixteen = (bits.size() == 1 || bits.size() == 4)
        && std::all_of(bits.cbegin(), bits.cend(), [](quint64 b) { return b == 16; });
    const std::optional<qsizetype> field = directory.shortField(kPhotometric);
    if (!cmyk || !sixteen || !field)
        return std::nullopt;
    QByteArray relabelled = tiff;
    auto* at = reinterpret_cast<uchar*>(relabelled.data()) + *field;
    if (directory.littleEndian())
        qToLittleEndian(quint16(kRgb), at);
    else
        qToBigEndian(quint16(kRgb), at);
    return relabelled;
}

QImage rgbFromCmyk64(const QImage& cmyk)
{
    if (cmyk.format() != QImage::Format_RGBA64
        && cmyk.format() != QImage::Format_RGBA64_Premultiplied)
        return {};
    QImage out(cmyk.size(), QImage::Format_RGB32);
    if (out.isNull())
        return {};
    constexpr quint64 kFull = 65535;
    for (int y = 0; y < cmyk.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgba64*>(cmyk.constScanLine(y));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < cmyk.width(); ++x) {
            const quint64 white = kFull - in[x].alpha();
            const auto ink
                = [white](quint64 level) { return int((kFull - level) * white / (kFull * 257)); };
            line[x] = qRgb(ink(in[x].red()), ink(in[x].green()), ink(in[x].blue()));
        }
    }
    return out;
}

} // namespace vesker::platform
