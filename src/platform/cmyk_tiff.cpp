#include "platform/cmyk_tiff.h"

#include "platform/image_decode.h"
#include "platform/log.h"

#include <QTransform>

#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vesker::platform {

namespace {

thread_local QString t_messageName;

// Qt's reader opens every TIFF as "foo", and libtiff names the file it reads as the module of
// most of its messages.
constexpr const char* kQtTiffName = "foo";

void logTiff(bool isError, const char* module, const char* format, va_list args)
{
    QString where = QString::fromUtf8(module ? module : "");
    if (where.isEmpty() || where == QLatin1String(kQtTiffName))
        where = t_messageName.isEmpty() ? QStringLiteral("tiff") : t_messageName;
    const QString line = where + QLatin1String(": ") + QString::vasprintf(format, args);
    // A stranger's file can warn about every tag it bends: only libtiff's errors are ours too.
    if (isError)
        qCWarning(lcMedia).noquote() << "[tiff]" << line;
    else
        qCDebug(lcMedia).noquote() << "[tiff]" << line;
}

void tiffError(const char* module, const char* format, va_list args)
{
    logTiff(true, module, format, args);
}

void tiffWarning(const char* module, const char* format, va_list args)
{
    logTiff(false, module, format, args);
}

// libtiff writes to standard error unless told otherwise, for Qt's reader as for ours, and the
// text engine's image library silences it whenever it reads pictures of its own: it is told as
// the program loads, so that no message comes before, and again before each picture.
void routeTiffMessages()
{
    TIFFSetErrorHandler(&tiffError);
    TIFFSetWarningHandler(&tiffWarning);
}

[[maybe_unused]] const bool kRoutedAtLoad = (routeTiffMessages(), true);

// The bytes libtiff reads, as a file it may seek in.
struct MemoryFile {
    const QByteArray& bytes;
    toff_t at = 0;
};

tsize_t readMemory(thandle_t handle, tdata_t into, tsize_t size)
{
    auto* file = static_cast<MemoryFile*>(handle);
    const toff_t left = toff_t(file->bytes.size()) - std::min(file->at, toff_t(file->bytes.size()));
    const toff_t count = std::min(toff_t(std::max<tsize_t>(size, 0)), left);
    if (count == 0)
        return 0;
    std::memcpy(into, file->bytes.constData() + file->at, size_t(count));
    file->at += count;
    return tsize_t(count);
}

tsize_t writeNothing(thandle_t, tdata_t, tsize_t)
{
    return -1;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence)
{
    auto* file = static_cast<MemoryFile*>(handle);
    const toff_t base = whence == SEEK_CUR ? file->at
        : whence == SEEK_END               ? toff_t(file->bytes.size())
                                           : 0;
    file->at = base + offset;
    return file->at;
}

int closeNothing(thandle_t)
{
    return 0;
}

toff_t memorySize(thandle_t handle)
{
    return toff_t(static_cast<MemoryFile*>(handle)->bytes.size());
}

int mapNothing(thandle_t, tdata_t*, toff_t*)
{
    return 0;
}

void unmapNothing(thandle_t, tdata_t, toff_t)
{ }

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

enum Ink { cyan, magenta, yellow, black };

// How a CMYK TIFF's samples lie.
struct Layout {
    int samples = 0; // a pixel's samples in all, extra ones included
    int bytes = 1; // of one sample
    int alpha = -1; // the sample that holds opacity, if any
    bool premultiplied = false; // its inks are scaled by opacity
    bool planes = false; // each sample in a plane of its own
};

std::optional<Layout> layoutOf(TIFF* tiff)
{
    uint16_t photometric = 0, samples = 0, bits = 0, inkSet = 0, format = 0, planar = 0;
    uint16_t extraCount = 0;
    uint16_t* extras = nullptr;
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric)
        || photometric != PHOTOMETRIC_SEPARATED)
        return std::nullopt;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkSet);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extras);
    // Inks of another set, or more or fewer than four of them, print as nothing we can show.
    if (inkSet != INKSET_CMYK || samples - extraCount != 4 || (bits != 8 && bits != 16)
        || format != SAMPLEFORMAT_UINT)
        return std::nullopt;
    Layout layout {samples, bits / 8};
    layout.planes = planar == PLANARCONFIG_SEPARATE;
    for (int i = 0; i < extraCount; ++i) {
        if (extras[i] == EXTRASAMPLE_ASSOCALPHA || extras[i] == EXTRASAMPLE_UNASSALPHA) {
            layout.alpha = 4 + i;
            layout.premultiplied = extras[i] == EXTRASAMPLE_ASSOCALPHA;
            break;
        }
    }
    return layout;
}

// Each pixel starts as opaque white paper; the samples are laid on it one kind at a time, opacity
// first (premultiplied inks need it), then black, which the other inks darken further.
std::vector<int> layingOrder(const Layout& layout)
{
    std::vector<int> order;
    if (layout.alpha >= 0)
        order.push_back(layout.alpha);
    order.insert(order.end(), {black, cyan, magenta, yellow});
    return order;
}

// Lays sample `sample` of `count` pixels, each `stride` samples after the last, onto `out`.
void lay(int sample, const uchar* in, int stride, const Layout& layout, QRgb* out, int count)
{
    constexpr quint32 kFull = 65535;
    for (int x = 0; x < count; ++x) {
        const uchar* at = in + qsizetype(x) * stride * layout.bytes;
        quint16 wide = 0;
        if (layout.bytes == 2)
            std::memcpy(&wide, at, 2); // libtiff gives samples in this machine's byte order
        quint32 level = layout.bytes == 2 ? wide : quint32(*at) * 257;
        QRgb& pixel = out[x];
        if (sample == layout.alpha) {
            pixel = qRgba(qRed(pixel), qGreen(pixel), qBlue(pixel), int((level + 128) / 257));
            continue;
        }
        if (layout.premultiplied) {
            const quint32 opacity = quint32(qAlpha(pixel)) * 257;
            level = opacity == 0
                ? 0
                : quint32(std::min<quint64>(kFull, quint64(level) * kFull / opacity));
        }
        const auto under = [level](int light) {
            return int((quint32(light) * (kFull - level) + kFull / 2) / kFull);
        };
        const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel), a = qAlpha(pixel);
        switch (sample) {
        case black:
            pixel = qRgba(under(255), under(255), under(255), a);
            break;
        case cyan:
            pixel = qRgba(under(r), g, b, a);
            break;
        case magenta:
            pixel = qRgba(r, under(g), b, a);
            break;
        case yellow:
            pixel = qRgba(r, g, under(b), a);
            break;
        default:
            break;
        }
    }
}

// Calls `take(row, column, samples, count)` for every run of pixels in plane `plane`, top to
// bottom, whether the picture lies in strips or in tiles; false when the data is damaged.
template <typename Take> bool readPlane(TIFF* tiff, int plane, QSize size, Take take)
{
    if (!TIFFIsTiled(tiff)) {
        std::vector<uchar> line(size_t(TIFFScanlineSize64(tiff)));
        for (int y = 0; y < size.height(); ++y) {
            if (line.empty()
                || TIFFReadScanline(tiff, line.data(), uint32_t(y), uint16_t(plane)) < 0)
                return false;
            take(y, 0, line.data(), size.width());
        }
        return true;
    }
    uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileLength);
    const tmsize_t rowBytes = TIFFTileRowSize64(tiff);
    std::vector<uchar> tile(size_t(TIFFTileSize64(tiff)));
    if (tileWidth == 0 || tileLength == 0 || tile.empty())
        return false;
    for (uint32_t top = 0; top < uint32_t(size.height()); top += tileLength) {
        for (uint32_t left = 0; left < uint32_t(size.width()); left += tileWidth) {
            if (TIFFReadTile(tiff, tile.data(), left, top, 0, uint16_t(plane)) < 0)
                return false;
            const int rows = int(std::min(tileLength, uint32_t(size.height()) - top));
            const int count = int(std::min(tileWidth, uint32_t(size.width()) - left));
            for (int y = 0; y < rows; ++y)
                take(int(top) + y, int(left), tile.data() + y * rowBytes, count);
        }
    }
    return true;
}

// The picture upright, as its orientation tag says the stored rows lie.
QImage upright(const QImage& image, uint16_t orientation)
{
    const auto turned = [](const QImage& i, qreal degrees) {
        return i.transformed(QTransform().rotate(degrees));
    };
    switch (orientation) {
    case ORIENTATION_TOPRIGHT:
        return image.mirrored(true, false);
    case ORIENTATION_BOTRIGHT:
        return image.mirrored(true, true);
    case ORIENTATION_BOTLEFT:
        return image.mirrored(false, true);
    case ORIENTATION_LEFTTOP:
        return turned(image, 90).mirrored(true, false);
    case ORIENTATION_RIGHTTOP:
        return turned(image, 90);
    case ORIENTATION_RIGHTBOT:
        return turned(image, 90).mirrored(false, true);
    case ORIENTATION_LEFTBOT:
        return turned(image, 270);
    default:
        return image;
    }
}

QImage failure(DecodeError* error, DecodeError what)
{
    if (error)
        *error = what;
    return {};
}

} // namespace

TiffMessageName::TiffMessageName(const QString& name)
    : m_previous(std::exchange(t_messageName, name))
{
    routeTiffMessages();
}

TiffMessageName::~TiffMessageName()
{
    t_messageName = m_previous;
}

struct CmykTiffReader::Open {
    explicit Open(const QByteArray& bytes)
        : file {bytes}
    { }
    MemoryFile file;
    std::unique_ptr<TIFF, TiffCloser> tiff;
    Layout layout;
    QSize size;
    uint16_t orientation = ORIENTATION_TOPLEFT;
};

CmykTiffReader::CmykTiffReader(const QByteArray& bytes, const QString& name)
{
    if (bytes.isEmpty())
        return;
    auto open = std::make_unique<Open>(bytes);
    const QByteArray fileName = name.toUtf8();
    open->tiff.reset(TIFFClientOpen(fileName.constData(), "rm", &open->file, readMemory,
        writeNothing, seekMemory, closeNothing, memorySize, mapNothing, unmapNothing));
    const std::optional<Layout> layout = open->tiff ? layoutOf(open->tiff.get()) : std::nullopt;
    if (!layout)
        return;
    uint32_t width = 0, height = 0;
    TIFFGetField(open->tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(open->tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(open->tiff.get(), TIFFTAG_ORIENTATION, &open->orientation);
    open->layout = *layout;
    open->size
        = QSize(int(std::min<uint32_t>(width, INT_MAX)), int(std::min<uint32_t>(height, INT_MAX)));
    m_open = std::move(open);
}

CmykTiffReader::~CmykTiffReader() = default;

bool CmykTiffReader::isCmyk() const
{
    return m_open != nullptr;
}

QSize CmykTiffReader::size() const
{
    return m_open ? m_open->size : QSize();
}

QImage CmykTiffReader::read(DecodeError* error)
{
    if (!m_open)
        return failure(error, DecodeError::unsupported);
    const QSize size = m_open->size;
    const Layout& layout = m_open->layout;
    TIFF* tiff = m_open->tiff.get();
    if (size.isEmpty())
        return failure(error, DecodeError::corrupt);
    QImage out(size, layout.alpha >= 0 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return failure(error, DecodeError::tooLarge);
    out.fill(Qt::white);
    const std::vector<int> order = layingOrder(layout);
    bool read = true;
    if (layout.planes) {
        for (const int sample : order) {
            read = read && readPlane(tiff, sample, size, [&](int y, int x, const uchar* in, int n) {
                lay(sample, in, 1, layout, reinterpret_cast<QRgb*>(out.scanLine(y)) + x, n);
            });
        }
    } else {
        read = readPlane(tiff, 0, size, [&](int y, int x, const uchar* in, int n) {
            for (const int sample : order) {
                lay(sample, in + sample * layout.bytes, layout.samples, layout,
                    reinterpret_cast<QRgb*>(out.scanLine(y)) + x, n);
            }
        });
    }
    if (!read)
        return failure(error, DecodeError::corrupt);
    return upright(std::move(out), m_open->orientation);
}

} // namespace vesker::platform
