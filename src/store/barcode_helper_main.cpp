// vesker-barcodes: searches one image for barcodes with ZXing and prints what it finds. The
// program starts it for every photo it reads (see BarcodeSearch), so that ZXing runs in a
// process of its own that may abort, hang or be killed without harm to the program.
//
//   vesker-barcodes [--avoid STEP,...] MAX_PIXELS IMAGE
//
// It decodes IMAGE as the program does, refusing more than MAX_PIXELS, and searches it at the
// reduced size text is first read at (see ink_regions.h), layer by layer; once it found codes,
// it searches the marks that none of them explains again in tiles a few codes wide (of a sheet of
// labels, ZXing gives only some). Then it searches the full photo, but only where the reduced copy
// shows marks that no code found explains (a small dense code far from the lens). It prints one
// line per distinct code, in the order ZXing reported them, and one place for every time it was
// found:
//   code FORMAT PAYLOAD
//   place LEFT TOP RIGHT BOTTOM
// FORMAT is ZXing's name of the format; the place is where the code lies on the reduced picture
// (in pixels, made to fit kReadingSide, upright), so that text is not looked for there; in PAYLOAD
// (UTF-8) a backslash, a line feed and a carriage return are written as "\\", "\n" and "\r". A last
// line "end" tells a search that finished from one that died half-way; a line "searched" comes
// between what was found on the reduced picture and what only the full photo showed. An image
// that cannot be decoded has no codes.
//
// Debian's ZXing 1.4 keeps its assertions, and some pictures fail one (two equal linear codes
// side by side; now and then a sheet of QR labels). Every call into ZXing is a numbered step,
// announced by a line "step N" before it starts, and every line is written out at once: when a
// search dies, the last step it announced is the one that killed it, and all it printed before
// stands. Searched again with that step in --avoid, it takes the same steps up to there (ZXing
// is deterministic) and then tries the same picture another way: a tenth smaller, then for one
// code only, then in tiles.
#include "platform/image_decode.h"
#include "store/ink_regions.h"

#include <QCoreApplication>
#include <QImage>

#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include <sys/resource.h>

namespace {

// Searching the full photo region by region costs more than searching it whole once the
// regions cover more than this share of it.
constexpr double kMostOfThePhoto = 0.5;

// ZXing reads only so many codes in one picture: of a sheet of forty labels it gives a few, or
// one. A tile this many codes wide (of the largest found so far) holds too few for that limit
// and every code up to half its side whole in one of the tiles, which overlap by half.
constexpr int kCodesPerTile = 3;
constexpr int kSmallestTile = 256;

// As ZXing's own pyramid: a layer a third the size of the one before, while the last is still
// larger than this on its short side. A code that fills much of a large photo is found more
// surely, and far sooner, in a smaller copy.
constexpr int kLayerFactor = 3;
constexpr int kSmallestLayerSide = 500;
constexpr int kMaxLayers = 4;

// The size of the copy a picture is searched in when searching it whole killed the helper.
constexpr double kSmallerCopy = 0.9;

ZXing::DecodeHints searchHints()
{
    ZXing::DecodeHints hints;
    // Every format, and codes that are rotated, small or blurred.
    hints.setFormats(ZXing::BarcodeFormat::Any);
    hints.setTryHarder(true);
    hints.setTryRotate(true);
    // Our layers stand in for ZXing's: its own merge of what it finds in its downscaled copies
    // is where Debian's ZXing 1.4 fails an assertion.
    hints.setTryDownscale(false);
    return hints;
}

// The side of the tiles a picture is searched in again once `places` were found on it; 0 when
// none were.
int tileFor(const QList<QRect>& places)
{
    int largest = 0;
    for (const QRect& place : places)
        largest = std::max({largest, place.width(), place.height()});
    return largest == 0 ? 0 : std::max(kSmallestTile, kCodesPerTile * largest);
}

// Where a code was found, on the picture it was found in.
QRect placeOf(const ZXing::Result& result)
{
    const ZXing::Position& corners = result.position();
    int left = corners[0].x, right = left, top = corners[0].y, bottom = top;
    for (int i = 1; i < 4; ++i) {
        left = std::min(left, corners[i].x), right = std::max(right, corners[i].x);
        top = std::min(top, corners[i].y), bottom = std::max(bottom, corners[i].y);
    }
    // A linear code is reported as the line it was read along; its bars reach above and below.
    const int reach = (right - left) / 4 - (bottom - top) / 2;
    if (reach > 0)
        top -= reach, bottom += reach;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

void printCode(const ZXing::Result& result)
{
    std::string line = std::string("code ") + ZXing::ToString(result.format()) + ' ';
    for (const char c : result.text()) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

class Search {
public:
    explicit Search(std::set<int> avoid)
        : m_avoid(std::move(avoid))
    { }

    // Searches `image` and prints what it finds; gives the places of the codes found, which
    // `toReduced` takes from `image` onto the reduced picture. Where a step that would search
    // it is to be avoided, the picture is searched the next way instead; in tiles only where
    // `mayTile` (not a tile again).
    QList<QRect> run(
        const QImage& image, const std::function<QRect(QRect)>& toReduced, bool mayTile = true)
    {
        if (step())
            return printFound(toReduced, ZXing::ReadBarcodes(view(image), m_hints));
        // The assertion depends on where exactly the lines of a code fall on the pixels; a
        // slightly smaller copy moves them all.
        if (step()) {
            const QImage smaller = image.scaled(
                image.size() * kSmallerCopy, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            return printFound(
                [&](QRect r) {
                    return toReduced(vesker::mapRect(r, smaller.size(), image.size()));
                },
                ZXing::ReadBarcodes(view(smaller), m_hints));
        }
        // One code never reaches the assertion that two equal codes side by side (two packets
        // of one product) run into.
        if (step())
            return printFound(toReduced, {ZXing::ReadBarcode(view(image), m_hints)});
        // Last, in overlapping tiles half its size, each searched these ways in turn.
        if (mayTile) {
            return runRegions(image, {image.rect()}, std::max(image.width(), image.height()) / 2,
                toReduced, false);
        }
        return {};
    }

    // The picture and copies of it a third the size each, while they are large.
    QList<QRect> runLayers(QImage layer)
    {
        QList<QRect> places;
        const QSize size = layer.size();
        for (int n = 0; n < kMaxLayers && !layer.isNull(); ++n) {
            const QSize from = layer.size();
            places += run(layer, [&](QRect r) { return vesker::mapRect(r, from, size); });
            if (std::min(layer.width(), layer.height()) <= kSmallestLayerSide)
                break;
            layer = layer.scaled(layer.width() / kLayerFactor, layer.height() / kLayerFactor,
                Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        return places;
    }

    // Searches each of `regions` of `image`, in tiles of `tile` pixels that overlap by half
    // where a region is larger (whole where `tile` is 0), as `run` searches a picture. Gives the
    // places of what it found, on the reduced picture, as `run` does.
    QList<QRect> runRegions(const QImage& image, const QList<QRect>& regions, int tile,
        const std::function<QRect(QRect)>& toReduced, bool mayTile = true)
    {
        QList<QRect> found;
        const auto runOn = [&](const QRect& crop) {
            found += run(
                image.copy(crop), [&](QRect r) { return toReduced(r.translated(crop.topLeft())); },
                mayTile);
        };
        for (const QRect& region : regions) {
            if (tile <= 0) {
                runOn(region);
                continue;
            }
            const int step = tile / 2;
            for (int y = region.top();; y += step) {
                for (int x = region.left();; x += step) {
                    runOn(QRect(x, y, tile, tile) & region);
                    if (x + tile > region.right())
                        break;
                }
                if (y + tile > region.bottom())
                    break;
            }
        }
        return found;
    }

private:
    // The next step; false when it is one to avoid.
    bool step()
    {
        if (m_avoid.count(++m_step))
            return false;
        std::printf("step %d\n", m_step);
        return true;
    }

    static ZXing::ImageView view(const QImage& image)
    {
        return ZXing::ImageView(image.constBits(), image.width(), image.height(),
            ZXing::ImageFormat::Lum, int(image.bytesPerLine()));
    }

    // Prints what a step found.
    QList<QRect> printFound(
        const std::function<QRect(QRect)>& toReduced, const ZXing::Results& results)
    {
        QList<QRect> places;
        for (const ZXing::Result& result : results) {
            if (!result.isValid())
                continue;
            if (m_printed.insert({result.format(), result.text()}).second)
                printCode(result);
            const QRect place = toReduced(placeOf(result));
            std::printf(
                "place %d %d %d %d\n", place.left(), place.top(), place.right(), place.bottom());
            places.append(place);
        }
        return places;
    }

    std::set<int> m_avoid;
    int m_step = 0;
    std::set<std::pair<ZXing::BarcodeFormat, std::string>> m_printed;
    ZXing::DecodeHints m_hints = searchHints();
};

} // namespace

int main(int argc, char** argv)
{
    // ZXing's assertion is expected to end some searches; it must not leave core dumps behind.
    const rlimit noCore {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);

    // Whatever was found is out before a later step can abort the process.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    std::set<int> avoid;
    bool validSteps = true;
    if (args.size() > 1 && args[0] == QStringLiteral("--avoid")) {
        for (const QString& number : args[1].split(u',')) {
            bool valid = false;
            const int step = number.toInt(&valid);
            validSteps = validSteps && valid && step > 0;
            avoid.insert(step);
        }
        args = args.mid(2);
    }
    bool validLimit = false;
    const qint64 maxPixels = args.value(0).toLongLong(&validLimit);
    if (args.size() != 2 || !validSteps || !validLimit || maxPixels <= 0) {
        std::fputs("usage: vesker-barcodes [--avoid STEP,...] MAX_PIXELS IMAGE\n", stderr);
        return 2;
    }

    Search search(std::move(avoid));
    const QImage reduced
        = vesker::decodeForReading(args[1], maxPixels).convertToFormat(QImage::Format_Grayscale8);
    if (!reduced.isNull()) {
        QList<QRect> places = search.runLayers(reduced);
        // Where there is one code there may be more than ZXing gives of one picture: a sheet of
        // labels.
        if (const int tile = tileFor(places); tile > 0) {
            places += search.runRegions(
                reduced, vesker::inkRegions(reduced, places), tile, [](QRect r) { return r; });
        }
        const QList<QRect> regions = vesker::inkRegions(reduced, places);
        std::fputs("searched\n", stdout);
        std::fflush(stdout);
        if (std::max(reduced.width(), reduced.height()) >= vesker::kReadingSide
            && !regions.isEmpty()) {
            const QImage full = vesker::platform::decodeImage(args[1], maxPixels)
                                    .convertToFormat(QImage::Format_Grayscale8);
            qint64 area = 0;
            for (const QRect& region : regions)
                area += qint64(region.width()) * region.height();
            const auto fromFull
                = [&](QRect r) { return vesker::mapRect(r, full.size(), reduced.size()); };
            if (full.isNull() || full.size() == reduced.size()) {
                // Nothing larger to look at.
            } else if (area > kMostOfThePhoto * reduced.width() * reduced.height()) {
                search.run(full, fromFull);
            } else {
                QList<QRect> crops;
                for (const QRect& region : regions)
                    crops.append(vesker::mapRect(region, reduced.size(), full.size()));
                const int tile = tileFor(places) * full.width() / reduced.width();
                search.runRegions(full, crops, tile, fromFull);
            }
        }
    }
    std::fputs("end\n", stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
