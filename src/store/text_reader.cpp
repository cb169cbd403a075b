#include "store/text_reader.h"

#include "platform/log.h"
#include "store/ink_regions.h"

#include <QFile>

#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vesker {

namespace {

// Tesseract is sure of each word of clear print at well above this, and of print too small or
// blurred for the reduced copy far below it.
constexpr float kConfident = 80;
// What Tesseract reads with less confidence than this where the reduced copy held no line is
// a code or a pattern taken for letters.
constexpr float kNoise = 40;
// Marks closer than this (on the reduced copy) are read as one part of the photo, so that
// the words of a line and the lines of a paragraph stay together.
constexpr int kGroupMargin = 40;
// A mark no larger than this on either side (on the reduced copy, with the margin inkRegions
// gives it), alone and away from any line, is a speck or the end of a code's bar: no word is
// that small.
constexpr int kSpeck = 64;
// Past this share of the photo, one read of the whole full photo costs less than its parts.
constexpr double kMostOfThePhoto = 0.5;
// ... unless the full photo is larger than this: then its parts are read one by one.
constexpr qint64 kWholeReadPixels = 16'000'000;

// A line is only as sure as its least sure word: one digit misread in a column of figures
// hardly moves the line's average. Its middle word says whether it is print at all.
std::pair<float, float> weakestAndMiddleWord(const tesseract::ResultIterator& line)
{
    tesseract::ResultIterator word(line);
    std::vector<float> sure;
    do {
        if (!word.Empty(tesseract::RIL_WORD))
            sure.push_back(word.Confidence(tesseract::RIL_WORD));
    } while (!word.IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD)
        && word.Next(tesseract::RIL_WORD));
    if (sure.empty())
        return {100, 100};
    std::sort(sure.begin(), sure.end());
    return {sure.front(), sure[sure.size() / 2]};
}

// Two readings of one line: they share half their height or more, and some of their width.
bool sameLine(const QRect& a, const QRect& b)
{
    const int shared = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
    return a.intersects(b) && 2 * shared >= std::min(a.height(), b.height());
}

// A line's box with room for what sticks out of it: accents, descenders, a letter the layout
// analysis left at its end.
QRect around(const QRect& box)
{
    const int h = box.height();
    return box.adjusted(-h, -h / 2, h, h / 2);
}

// A line's box as it is cut out to be read alone: the neighbours above and below are close,
// and a piece of them would be read as a line of its own.
QRect alone(const QRect& box)
{
    const int h = box.height();
    return box.adjusted(-h, -h / 5, h, h / 5);
}

// A mark at the end of a line, not a block of lines of its own.
bool sameRow(const QRect& line, const QRect& mark)
{
    if (mark.height() > 3 * line.height())
        return false;
    const int shared = std::min(line.bottom(), mark.bottom()) - std::max(line.top(), mark.top());
    const int gap = std::max(mark.left() - line.right(), line.left() - mark.right());
    return 2 * shared >= line.height() && gap <= 3 * line.height();
}

// Tesseract asks OpenMP for a team of threads for every line it reads. The recognition pool
// already reads two photos at once, and beside it those teams mostly spin: eight threads per
// photo spent 2.8 s of CPU where one spends 1.3 s, for a few per cent less wall time. OMP_*
// variables are read when libgomp loads, before main(), and libgomp keeps this setting per
// thread, so every thread that reads turns the teams off for itself before its first line.
void readOnThisThreadAlone()
{
    thread_local const bool alone = (omp_set_max_active_levels(0), true);
    Q_UNUSED(alone);
}

QList<Recognizer::TextLine> centred(const QList<TextReader::Line>& lines, double scale)
{
    QList<Recognizer::TextLine> out;
    out.reserve(lines.size());
    for (const TextReader::Line& line : lines)
        out.append({(line.box.top() + line.box.bottom() + 1) / 2.0 * scale, line.text});
    return out;
}

// Where the reduced copy is read again from the full photo: one of its lines (with marks
// beside it that it left out), or marks it found no line in.
struct Place {
    QRect box; // on the reduced copy
    qsizetype line = -1;
    bool widened = false; // the line's box was widened to marks beside it
    bool smallPrint = false; // a group of marks the reduced copy read little of
};

// Rectangles that overlap made one, until none do.
QList<QRect> merged(QList<QRect> rects)
{
    for (bool grew = true; grew;) {
        grew = false;
        for (qsizetype i = 0; i < rects.size(); ++i) {
            for (qsizetype j = rects.size() - 1; j > i; --j) {
                if (rects[i].intersects(rects[j])) {
                    rects[i] |= rects.takeAt(j);
                    grew = true;
                }
            }
        }
    }
    return rects;
}

// Tesseract takes the bars of a code for letters it is unsure of.
bool onCodes(const QRect& box, const QList<QRect>& codes)
{
    qint64 covered = 0;
    for (const QRect& code : codes) {
        const QRect shared = code & box;
        covered += qint64(shared.width()) * shared.height();
    }
    return 2 * covered >= qint64(box.width()) * box.height();
}

// Lines read with little confidence, and marks outside every line and code: print the reduced
// copy could not make out, or missed.
QList<Place> placesToReread(
    const QList<TextReader::Line>& lines, const QImage& gray, const QList<QRect>& codes)
{
    QList<QRect> explained = codes;
    QList<Place> places;
    std::vector<qsizetype> placeOfLine(lines.size(), -1);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        explained.append(around(lines[i].box));
        if (lines[i].confidence < kConfident && !onCodes(lines[i].box, codes)) {
            placeOfLine[i] = places.size();
            places.append({alone(lines[i].box), i});
        }
    }
    for (const QRect& mark : inkRegions(gray, explained)) {
        // A mark at the end of a line (a figure in a column of its own) is read with the line.
        qsizetype beside = -1;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (sameRow(lines[i].box, mark)
                && (beside < 0
                    || std::abs(lines[i].box.center().y() - mark.center().y())
                        < std::abs(lines[beside].box.center().y() - mark.center().y()))) {
                beside = i;
            }
        }
        // Faint print leaves gaps between the marks of one line; room at their sides joins
        // them up again. Above and below are other lines, which would be read in pieces.
        if (beside < 0) {
            places.append({mark.adjusted(-kGroupMargin, 0, kGroupMargin, 0), -1});
            continue;
        }
        if (placeOfLine[beside] < 0) {
            placeOfLine[beside] = places.size();
            places.append({alone(lines[beside].box), beside});
        }
        Place& place = places[placeOfLine[beside]];
        place.box |= QRect(mark.left(), place.box.top(), mark.width(), place.box.height());
        place.widened = true;
    }
    // A line within marks read anew is read with them.
    places.removeIf([&](const Place& place) {
        return place.line >= 0 && std::any_of(places.begin(), places.end(), [&](const Place& p) {
            return p.line < 0 && p.box.contains(lines[place.line].box.center());
        });
    });
    // Marks apart from lines that overlap are read together.
    for (qsizetype i = 0; i < places.size(); ++i) {
        places[i].box &= gray.rect();
        for (qsizetype j = places.size() - 1; j > i; --j) {
            if (places[i].line < 0 && places[j].line < 0 && places[i].box.intersects(places[j].box))
                places[i].box |= places.takeAt(j).box;
        }
    }
    places.removeIf([](const Place& place) {
        return place.line < 0 && place.box.width() <= kSpeck + 2 * kGroupMargin
            && place.box.height() <= kSpeck;
    });
    return places;
}

qint64 areaWithin(const QList<QRect>& rects, const QRect& within)
{
    qint64 area = 0;
    for (const QRect& rect : rects) {
        const QRect shared = rect & within;
        area += qint64(shared.width()) * shared.height();
    }
    return area;
}

// The groups of marks of which the reduced copy read little: not one line it is sure of, and
// most of their marks outside every line it read and every code. Their print is too small for
// that copy (a page of small print scanned or captured at a large size), not too faint for any.
// Where it read some lines plainly (a label's address above its small print), the lines and
// marks it could not make out are read again one by one instead.
QList<QRect> groupsOfSmallPrint(const QList<QRect>& groups, const QList<QRect>& marks,
    const QList<TextReader::Line>& lines, const QImage& gray, const QList<QRect>& codes)
{
    QList<QRect> read = codes;
    for (const TextReader::Line& line : lines) {
        if (line.confidence >= kNoise)
            read.append(around(line.box));
    }
    const QList<QRect> unread = inkRegions(gray, read);
    QList<QRect> small;
    for (const QRect& group : groups) {
        const QRect crop = group & gray.rect();
        const bool readSome = std::any_of(lines.begin(), lines.end(), [&](const auto& line) {
            return line.confidence >= kConfident && crop.contains(line.box.center());
        });
        if (readSome)
            continue;
        const qint64 ink = areaWithin(marks, crop);
        if (ink > qint64(kSpeck) * kSpeck && 2 * areaWithin(unread, crop) > ink)
            small.append(crop);
    }
    return small;
}

} // namespace

TextReader::TextReader(const QString& tessdataDir)
    : m_api(std::make_unique<tesseract::TessBaseAPI>())
{
    // Print is read as printed, without language correction: a part number or a misprint is
    // not bent towards an English word, and no dictionary is loaded. The LSTM engine takes its
    // word list only through lstm_use_matrix; the load_*_dawg switches keep the older engine's
    // lists out too. Tesseract writes its notes ("Estimating resolution as ...") to stderr
    // unless told where.
    const std::vector<std::string> names {"lstm_use_matrix", "load_system_dawg", "load_freq_dawg",
        "load_punc_dawg", "load_number_dawg", "load_unambig_dawg", "load_bigram_dawg",
        "debug_file"};
    const std::vector<std::string> values {"0", "0", "0", "0", "0", "0", "0", "/dev/null"};
    const QByteArray dir = QFile::encodeName(tessdataDir);
    m_ready = m_api->Init(dir.isEmpty() ? nullptr : dir.constData(), "eng",
                  tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false)
        == 0;
    if (m_ready)
        m_api->SetPageSegMode(tesseract::PSM_AUTO);
}

TextReader::~TextReader() = default;

std::optional<QList<TextReader::Line>> TextReader::read(const QImage& rgb)
{
    if (!m_ready || rgb.isNull())
        return std::nullopt;
    readOnThisThreadAlone();
    // The engine is kept for the next picture; this picture and its layout are not.
    struct Clear {
        tesseract::TessBaseAPI& api;
        ~Clear() { api.Clear(); }
    } clear {*m_api};
    m_api->SetImage(rgb.constBits(), rgb.width(), rgb.height(), 3, int(rgb.bytesPerLine()));
    if (m_api->Recognize(nullptr) != 0)
        return std::nullopt;

    QList<Line> lines;
    const std::unique_ptr<tesseract::ResultIterator> it(m_api->GetIterator());
    if (!it)
        return lines;
    do {
        if (it->Empty(tesseract::RIL_TEXTLINE))
            continue;
        const std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!text || !it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom))
            continue;
        QString line = QString::fromUtf8(text.get());
        // Tesseract ends every line with its own line feed; the lines are joined later.
        while (line.endsWith(u'\n'))
            line.chop(1);
        // A "line" with no character in it is a smudge the layout analysis took for text; it
        // would only leave blank lines between the real ones.
        if (line.trimmed().isEmpty())
            continue;
        const auto [weakest, middle] = weakestAndMiddleWord(*it);
        lines.append(
            {QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), line, weakest, middle});
    } while (it->Next(tesseract::RIL_TEXTLINE));
    return lines;
}

std::optional<QList<Recognizer::TextLine>> TextReader::readPhoto(const QImage& reduced,
    const std::function<QImage()>& loadFull, const std::function<QList<QRect>()>& codePlaces)
{
    if (std::max(reduced.width(), reduced.height()) < kReadingSide) {
        const auto lines = read(reduced);
        return lines ? std::optional(centred(*lines, 1)) : std::nullopt;
    }
    // Only the parts of the photo that hold marks are read: a label on a parcel, a receipt on
    // a table, the blank half of a page leave most of the frame to the engine's layout
    // analysis for nothing.
    const QImage gray = reduced.convertToFormat(QImage::Format_Grayscale8);
    const QList<QRect> marks = inkRegions(gray, {});
    QList<QRect> groups = marks;
    for (QRect& group : groups)
        group = group.adjusted(-kGroupMargin, -kGroupMargin, kGroupMargin, kGroupMargin);
    groups = merged(std::move(groups));
    if (groups.isEmpty())
        groups.append(reduced.rect());
    QList<Line> first;
    for (const QRect& group : groups) {
        const QRect crop = group & reduced.rect();
        auto lines = read(reduced.copy(crop));
        if (!lines)
            return std::nullopt;
        for (Line& line : *lines)
            line.box.translate(crop.topLeft());
        first += *lines;
    }

    // What Tesseract is unsure of on a code is the code's bars taken for letters.
    const QList<QRect> codes = codePlaces();
    first.removeIf(
        [&](const Line& line) { return line.confidence < kNoise && onCodes(line.box, codes); });
    QList<Place> places = placesToReread(first, gray, codes);
    const QList<QRect> smallPrint = groupsOfSmallPrint(groups, marks, first, gray, codes);
    if (!smallPrint.isEmpty()) {
        qCDebug(lcStore).nospace() << "[recognizer] " << smallPrint.size()
                                   << " groups of print too small for the reduced copy";
        // Read whole, from the full photo: the marks the reduced copy left unexplained split
        // where its print blurred away, and a line cut at their edge would be lost.
        places.removeIf([&](const Place& place) {
            return std::any_of(smallPrint.begin(), smallPrint.end(),
                [&](const QRect& group) { return group.contains(place.box.center()); });
        });
        for (const QRect& group : smallPrint)
            places.append({group, -1, false, true});
        first.removeIf([&](const Line& line) {
            return line.confidence < kConfident
                && std::any_of(smallPrint.begin(), smallPrint.end(),
                    [&](const QRect& group) { return group.contains(line.box.center()); });
        });
    }
    if (places.isEmpty())
        return centred(first, 1);
    qint64 area = 0;
    for (const Place& place : places)
        area += qint64(place.box.width()) * place.box.height();
    qCDebug(lcStore).nospace() << "[recognizer] " << places.size()
                               << " places to read again from the full photo, "
                               << 100 * area / (qint64(reduced.width()) * reduced.height())
                               << "% of it";
    const QImage full = loadFull();
    if (full.isNull() || full.size() == reduced.size())
        return centred(first, 1);
    const double scale = double(full.height()) / reduced.height();
    // The whole photo is read as one place of marks, not in place of the first reading: on a
    // grainy table top, marks are everywhere and the full photo's layout analysis may find no
    // line at all, while the reduced copy read the page's heading plainly. The text engine's
    // layout analysis of a very large picture takes minutes, though, where its parts take
    // seconds.
    if (area > kMostOfThePhoto * reduced.width() * reduced.height()
        && qint64(full.width()) * full.height() <= kWholeReadPixels)
        places = {Place {reduced.rect(), -1, false, !smallPrint.isEmpty()}};

    QList<Line> kept = first;
    QList<Line> closer;
    for (const Place& place : places) {
        const QRect crop = mapRect(place.box, reduced.size(), full.size());
        auto again = read(crop == full.rect() ? full : full.copy(crop));
        if (!again)
            continue;
        for (Line& line : *again)
            line.box.translate(crop.topLeft());
        if (place.line >= 0) {
            // The line read alone, closer: kept when Tesseract is surer of it, or when it now
            // takes in the marks beside it that the reduced copy left out.
            const QRect target = mapRect(kept[place.line].box, reduced.size(), full.size());
            const auto overlap = [&](const Line& line) {
                const QRect shared = line.box & target;
                return shared.isEmpty() ? 0 : qint64(shared.width()) * shared.height();
            };
            const auto best = std::max_element(again->begin(), again->end(),
                [&](const Line& a, const Line& b) { return overlap(a) < overlap(b); });
            if (best == again->end() || overlap(*best) == 0)
                continue;
            const Line& before = kept[place.line];
            const Line& now = *best;
            if (now.confidence > before.confidence
                || (place.widened && now.confidence >= kConfident)) {
                kept[place.line].text.clear();
                closer.append(now);
            }
            continue;
        }
        // Each new line replaces the lines the reduced copy gave in its place when Tesseract
        // is surer of it; where the reduced copy gave none, what only the full photo shows as
        // noise (a code, a pattern) is left out. In small print the reduced copy could not
        // make out, a line with one unsure word is still print when most of its words are sure,
        // unless it lies on a code.
        for (const Line& now : *again) {
            if (place.smallPrint
                && (now.middleConfidence < kNoise
                    || onCodes(mapRect(now.box, full.size(), reduced.size()), codes)))
                continue;
            QList<Line*> before;
            for (Line& line : kept) {
                if (!line.text.isEmpty()
                    && sameLine(mapRect(line.box, reduced.size(), full.size()), now.box))
                    before.append(&line);
            }
            float surest = before.isEmpty() && !place.smallPrint ? kNoise : 0;
            for (const Line* line : before)
                surest = std::max(surest, line->confidence);
            if (now.confidence < surest)
                continue;
            for (Line* line : before)
                line->text.clear();
            closer.append(now);
        }
    }
    kept.removeIf([](const Line& line) { return line.text.isEmpty(); });
    return centred(kept, scale) + centred(closer, 1);
}

} // namespace vesker
