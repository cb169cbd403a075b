// Photo-like pictures with known text and codes, drawn with Qt so that the benchmark needs no
// camera and no image tools: paper on a table, a little turned or tilted, lit unevenly, softened
// as a lens does, with sensor noise, saved as a phone saves it (JPEG, some with an orientation
// tag).
#include "recognize_corpus.h"

#include <QBuffer>
#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QRandomGenerator>
#include <QTransform>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Format = ZXing::BarcodeFormat;

struct Code {
    Format format;
    std::string payload;
    QRectF place; // on the document
    int moduleSize = 0; // pixels per module on the document; 0 stretches the code to `place`
};

struct Line {
    QString text;
    int pixelSize;
    bool bold = false;
};

// A document: paper of a size, lines of print from a top-left corner down, and codes.
struct Document {
    QSize size;
    QPointF origin;
    double lineSpacing = 1.55;
    std::vector<Line> lines;
    std::vector<Code> codes;
    QColor paper {240, 238, 230};
    QColor ink {30, 30, 36};
    QString family = QStringLiteral("DejaVu Sans");
};

QImage codeImage(const Code& code)
{
    const bool stretched = code.moduleSize == 0;
    const int w = stretched ? int(code.place.width()) : 0;
    const int h = stretched ? int(code.place.height()) : 0;
    const ZXing::BitMatrix bits = ZXing::MultiFormatWriter(code.format)
                                      .setMargin(stretched ? 10 : 0)
                                      .encode(code.payload, w, h);
    QImage image(bits.width(), bits.height(), QImage::Format_RGB32);
    for (int y = 0; y < bits.height(); ++y) {
        for (int x = 0; x < bits.width(); ++x)
            image.setPixel(x, y, bits.get(x, y) ? qRgb(20, 20, 25) : qRgb(250, 250, 250));
    }
    // A linear code is one row of modules, as tall as its place.
    if (!stretched)
        image = image.scaled(image.width() * code.moduleSize,
            image.height() == 1 ? int(code.place.height()) : image.height() * code.moduleSize,
            Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return image;
}

QImage render(const Document& doc)
{
    QImage image(doc.size, QImage::Format_RGB32);
    image.fill(doc.paper);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(doc.ink);
    double y = doc.origin.y();
    for (const Line& line : doc.lines) {
        QFont font(doc.family);
        font.setPixelSize(line.pixelSize);
        font.setBold(line.bold);
        painter.setFont(font);
        y += line.pixelSize * doc.lineSpacing;
        painter.drawText(QPointF(doc.origin.x(), y), line.text);
    }
    for (const Code& code : doc.codes) {
        const QImage drawn = codeImage(code);
        if (code.moduleSize == 0)
            painter.drawImage(code.place, drawn);
        else
            painter.drawImage(code.place.topLeft(), drawn);
    }
    return image;
}

// A table top of one colour with a grain, lit from one side.
QImage tableTop(QSize size, QColor colour, quint32 seed)
{
    QImage photo(size, QImage::Format_RGB32);
    QRandomGenerator grain(seed);
    std::vector<int> streak(size.height());
    for (int& s : streak)
        s = int(grain.bounded(15)) - 7;
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            row[x] = qRgb(std::clamp(colour.red() + streak[y], 0, 255),
                std::clamp(colour.green() + streak[y], 0, 255),
                std::clamp(colour.blue() + streak[y], 0, 255));
    }
    return photo;
}

// The document seen by the camera: its corners land on `corners` (top-left, top-right,
// bottom-right, bottom-left) of the photo.
void place(QImage& photo, const QImage& document, const QPolygonF& corners)
{
    const QRectF r(QPointF(0, 0), QSizeF(document.size()));
    QTransform view;
    QTransform::quadToQuad(
        QPolygonF({r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()}), corners, view);
    QPainter painter(&photo);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(view);
    painter.drawImage(0, 0, document);
}

QPolygonF turned(QPointF topLeft, QSizeF size, double degrees)
{
    QTransform t;
    t.translate(topLeft.x(), topLeft.y()).rotate(degrees);
    const QRectF r(QPointF(0, 0), size);
    return t.map(QPolygonF({r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()}));
}

// What the lens, the light and the sensor add: a soft edge, a falloff to one corner, noise.
void photograph(QImage& photo, quint32 seed)
{
    const int w = photo.width(), h = photo.height();
    QImage soft = photo.copy();
    for (int y = 1; y + 1 < h; ++y) {
        const auto* up = reinterpret_cast<const QRgb*>(photo.constScanLine(y - 1));
        const auto* mid = reinterpret_cast<const QRgb*>(photo.constScanLine(y));
        const auto* down = reinterpret_cast<const QRgb*>(photo.constScanLine(y + 1));
        auto* out = reinterpret_cast<QRgb*>(soft.scanLine(y));
        for (int x = 1; x + 1 < w; ++x) {
            const auto mix = [&](int (*channel)(QRgb)) {
                return (4 * channel(mid[x]) + channel(mid[x - 1]) + channel(mid[x + 1])
                           + channel(up[x]) + channel(down[x]))
                    / 8;
            };
            out[x] = qRgb(mix(qRed), mix(qGreen), mix(qBlue));
        }
    }
    QRandomGenerator noise(seed);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(soft.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int light = -(x + y) * 36 / (w + h) + int(noise.bounded(13)) - 6;
            const QRgb p = row[x];
            row[x] = qRgb(std::clamp(qRed(p) + light, 0, 255),
                std::clamp(qGreen(p) + light, 0, 255), std::clamp(qBlue(p) + light - 4, 0, 255));
        }
    }
    photo = std::move(soft);
}

// A JPEG with an EXIF block holding only the orientation tag, as a phone held upright writes.
QByteArray jpegWithOrientation(const QImage& image, quint16 orientation)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    const char tiff[] = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1,
        char(orientation >> 8), char(orientation & 0xff), 0, 0, 0, 0, 0, 0};
    QByteArray app1("\xff\xe1", 2);
    const int length = 2 + 6 + int(sizeof tiff);
    app1 += char(length >> 8);
    app1 += char(length & 0xff);
    app1 += QByteArray("Exif\0\0", 6);
    app1 += QByteArray(tiff, sizeof tiff);
    return data.left(2) + app1 + data.mid(2);
}

struct Photo {
    QString name;
    QImage pixels;
    std::vector<const Document*> documents;
    quint16 orientation = 1;
    int shake = 0; // pixels the camera moved sideways while the shutter was open
};

// A hand that moved while the shutter was open: every point drawn along a short stroke.
void shaken(QImage& photo, int pixels)
{
    if (pixels < 2)
        return;
    const int w = photo.width();
    std::vector<int> red(w + 1), green(w + 1), blue(w + 1);
    for (int y = 0; y < photo.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(photo.scanLine(y));
        // Running sums, so that a long stroke costs no more than a short one.
        for (int x = 0; x < w; ++x) {
            red[x + 1] = red[x] + qRed(row[x]);
            green[x + 1] = green[x] + qGreen(row[x]);
            blue[x + 1] = blue[x] + qBlue(row[x]);
        }
        for (int x = 0; x < w; ++x) {
            const int from = std::max(0, x - pixels / 2), to = std::min(w, from + pixels);
            const int n = to - from;
            row[x] = qRgb((red[to] - red[from]) / n, (green[to] - green[from]) / n,
                (blue[to] - blue[from]) / n);
        }
    }
}

bool write(const QString& dir, const Photo& photo)
{
    const QString base = dir + u'/' + photo.name;
    QByteArray jpeg;
    if (photo.orientation == 1) {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        photo.pixels.save(&buffer, "JPEG", 90);
    } else {
        jpeg = jpegWithOrientation(photo.pixels, photo.orientation);
    }
    QStringList text, codes;
    for (const Document* doc : photo.documents) {
        for (const Line& line : doc->lines)
            text.append(line.text);
        for (const Code& code : doc->codes)
            codes.append(QString::fromStdString(code.payload));
    }
    const auto save = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    return save(base + QStringLiteral(".jpg"), jpeg)
        && save(base + QStringLiteral(".txt"), text.join(u'\n').toUtf8() + '\n')
        && save(base + QStringLiteral(".codes"), codes.join(u'\n').toUtf8() + '\n');
}

std::vector<Line> lines(const std::vector<const char*>& texts, int pixelSize)
{
    std::vector<Line> out;
    for (const char* text : texts)
        out.push_back({QString::fromUtf8(text), pixelSize});
    return out;
}

} // namespace

namespace {

// A page held by hand at arm's length: a delivery note with three codes filling the frame.
Photo pagePhoto(Document& doc)
{
    doc.size = QSize(4000, 3000);
    doc.family = QStringLiteral("DejaVu Sans Mono");
    doc.origin = QPointF(260, 230 - 76);
    doc.lineSpacing = 76.0 / 48;
    doc.lines = lines({"Harbour Street Hardware - Delivery Note 20417",
                          "Received from: Northfield Timber Supplies, Unit 4, Mill Lane",
                          "Delivered to: Harbour Street Hardware, 12 Harbour Street",
                          "Date of delivery: Tuesday 14 May, between nine and eleven", "",
                          "Quantity  Description                          Weight",
                          "12        Pine boards, planed, 2.4 metres       86 kg",
                          "40        Oak dowels, 18 millimetres            11 kg",
                          "6         Birch plywood sheets, 12 millimetres  97 kg",
                          "3         Boxes of brass wood screws, size 8     4 kg",
                          "25        Bags of fine sawdust for the workshop 50 kg", "",
                          "Please check every item against this note before signing.",
                          "Damaged goods must be reported within two working days, with",
                          "a photograph of the damage and the number of this delivery.",
                          "The driver cannot wait while the goods are counted, so keep",
                          "this copy and call the office if anything is missing.", "",
                          "Returns are collected on Thursdays. Wrap loose boards together",
                          "and label each bundle with the delivery number shown above.",
                          "Invoices follow by post at the end of the month; payment is",
                          "due within thirty days of the invoice date.", "",
                          "Thank you for your order. Our summer opening hours are",
                          "Monday to Friday from seven until five, Saturday until noon.",
                          "Signed for by: ______________________   Time: __________"},
        48);
    doc.codes = {{Format::QRCode, "https://example.com/d/20417", QRectF(3300, 120, 520, 520)},
        {Format::Code128, "DN-20417/NTS", QRectF(1750, 2380, 820, 420)},
        {Format::EAN13, "4006381333931", QRectF(2650, 2380, 900, 420)}};
    Photo photo {QStringLiteral("page"), tableTop(doc.size, QColor(90, 70, 50), 1), {&doc}};
    QTransform around;
    around.translate(2000, 1500).rotate(0.8).translate(-2000, -1500);
    const QRectF whole(0, 0, 4000, 3000);
    place(photo.pixels, render(doc),
        around.map(QPolygonF(
            {whole.topLeft(), whole.topRight(), whole.bottomRight(), whole.bottomLeft()})));
    return photo;
}

// A till receipt held close to the lens: large print, a long narrow strip, a code at its foot.
Photo receiptPhoto(Document& doc)
{
    doc.size = QSize(1100, 2300);
    doc.family = QStringLiteral("DejaVu Sans Mono");
    doc.origin = QPointF(70, 40);
    doc.paper = QColor(246, 246, 242);
    doc.lines = lines({"GREEN LANE GROCERS", "14 Market Row, Ashby", "Till 3   Receipt 88120", "",
                          "Apples Braeburn 1kg    2.40", "Sourdough loaf         3.10",
                          "Free range eggs x6     2.85", "Whole milk 2 litres    1.65",
                          "Cheddar mature 400g    4.20", "Tomatoes vine 500g     1.90",
                          "Coffee beans 250g      5.75", "Dark chocolate         1.80", "",
                          "Items 8", "Total                 23.65", "Card payment          23.65",
                          "", "Thank you, see you soon", "Keep this receipt for returns"},
        40);
    doc.codes = {{Format::Code128, "R88120-T3", QRectF(150, 1860, 800, 260)}};
    Photo photo {
        QStringLiteral("receipt"), tableTop(QSize(3000, 4000), QColor(60, 45, 35), 2), {&doc}};
    place(photo.pixels, render(doc), turned(QPointF(650, 180), QSizeF(doc.size) * 1.55, -1.2));
    return photo;
}

// A parcel on the floor seen from 60 cm: the label is a small part of the frame and its
// smallest print (7 pt) is a few pixels high.
Photo labelPhoto(Document& doc)
{
    doc.size = QSize(520, 780);
    doc.origin = QPointF(24, 8);
    doc.paper = QColor(250, 250, 248);
    doc.lineSpacing = 1.45;
    doc.lines = {{"FROM: Northfield Timber Supplies, Mill Lane, Hexham", 13}, {"SHIP TO", 26, true},
        {"Harbour Street Hardware", 24, true}, {"12 Harbour Street", 24}, {"Whitby YO21 3PU", 24},
        {"", 24}, {"", 24}, {"", 24}, {"", 24}, {"", 24}, {"", 24},
        {"Parcel 2 of 3, weight 14.2 kg.", 13}, {"Keep dry and store flat until opened.", 13},
        {"If undelivered, return to sender within fourteen days.", 13},
        {"Contents: oak dowels and brass screws, no hazards.", 13},
        {"Scan the code above at every depot on the way.", 13}};
    doc.codes = {{Format::Code128, "NTS774100325590", QRectF(40, 200, 0, 110), 2}};
    Photo photo {
        QStringLiteral("label"), tableTop(QSize(4000, 3000), QColor(178, 140, 96), 3), {&doc}};
    place(photo.pixels, render(doc), turned(QPointF(1700, 1100), QSizeF(doc.size), 1.5));
    return photo;
}

// A printed letter photographed from its foot at an angle: the far lines smaller and narrower.
Photo anglePhoto(Document& doc)
{
    doc.size = QSize(2100, 2970);
    doc.family = QStringLiteral("DejaVu Serif");
    doc.origin = QPointF(160, 120);
    doc.lines = lines({"Ashby Community Woodworking Club", "Minutes of the meeting of 3 April", "",
                          "Present were eleven members and two guests from the",
                          "Hexham club, who brought a lathe for the spring fair.",
                          "The treasurer reported that the roof repair is paid and",
                          "that the fund for new clamps now holds ninety pounds.", "",
                          "The fair will open at ten on the first Saturday of June.",
                          "Every member is asked to bring one finished piece and",
                          "to help with the stall for at least an hour. Tables and",
                          "chairs are lent by the school, and must go back by six.", "",
                          "Safety: the band saw guard was found loose again. It",
                          "is now fixed, and the saw stays locked unless a trained",
                          "member is present. Please sign the book when you use it.", "",
                          "The next meeting is on 1 May at half past seven in the",
                          "workshop behind the library. Tea and cake as usual."},
        46);
    doc.codes = {{Format::EAN13, "5012345678900", QRectF(1300, 2480, 620, 300)}};
    Photo photo {
        QStringLiteral("angle"), tableTop(QSize(4000, 3000), QColor(70, 80, 90), 4), {&doc}};
    place(photo.pixels, render(doc),
        QPolygonF(
            {QPointF(1150, 230), QPointF(2900, 290), QPointF(3350, 2830), QPointF(700, 2760)}));
    return photo;
}

// A product leaflet with a small QR code and a dense DataMatrix side by side in one corner.
Photo cornerCodesPhoto(Document& doc)
{
    doc.size = QSize(3600, 2600);
    doc.origin = QPointF(200, 150);
    doc.lines = lines({"Bench Vice BV-150 - Assembly and Care",
                          "1. Bolt the vice to the bench through all four holes.",
                          "2. Grease the main screw once a month with light oil.",
                          "3. Never extend the handle with a pipe for more force.",
                          "4. Keep the jaws clean; replace worn jaw plates in pairs.", "",
                          "Spare parts and videos are found through the codes below.",
                          "Quote the lot number on every order for replacement jaws."},
        44);
    doc.codes
        = {{Format::QRCode, "https://example.com/bv150/parts?lot=A7", QRectF(3060, 2230, 0, 0), 4},
            {Format::DataMatrix, "LOT A7-22914 BV150 2024-03-11 L4 QC0412 EN-GJL-250",
                QRectF(3260, 2230, 0, 0), 3}};
    Photo photo {QStringLiteral("corner-codes"),
        tableTop(QSize(4000, 3000), QColor(120, 110, 100), 5), {&doc}};
    place(photo.pixels, render(doc), turned(QPointF(220, 180), QSizeF(doc.size), 0.5));
    return photo;
}

// A phone held upright: the sensor stores the picture lying on its side and tags it to be
// turned a quarter clockwise for viewing.
Photo portraitPhoto(Document& doc)
{
    doc.size = QSize(2250, 3000);
    doc.origin = QPointF(170, 380);
    doc.lines = lines(
        {"Harbour Cafe", "Breakfast until half past eleven", "", "Porridge with honey and apple",
            "Two eggs on toast", "Kippers with brown bread", "Bacon roll with tomato relish",
            "Mushrooms on sourdough", "", "Pot of tea for one", "Filter coffee, refills free",
            "Fresh orange juice", "", "Ask us about food allergies.", "Table service from nine."},
        60);
    doc.codes = {{Format::Code128, "CAFE-TABLE-07", QRectF(1350, 60, 760, 260)}};
    QImage upright = tableTop(QSize(3000, 4000), QColor(150, 120, 90), 6);
    place(upright, render(doc), turned(QPointF(380, 430), QSizeF(doc.size), 0.6));
    return {QStringLiteral("portrait"), upright, {&doc}, 6};
}

// A page read in a hurry: the hand moved sideways by a few pixels while the shutter was open.
Photo shakenPhoto(Document& doc)
{
    doc.size = QSize(3400, 2500);
    doc.family = QStringLiteral("DejaVu Serif");
    doc.origin = QPointF(220, 140);
    doc.lines = lines({"Notice to all tenants of Quay House", "",
                          "The water will be turned off on Monday from nine until",
                          "about two in the afternoon while the old pipes in the",
                          "cellar are replaced. Please fill a kettle the night before.",
                          "The lift is out of service for the same hours, as the",
                          "engineers need its shaft to carry the new pipes up.", "",
                          "Bicycles left in the hall will be moved to the yard.",
                          "Questions go to the caretaker, flat 1, or by telephone",
                          "on 01947 600 218 between eight and six."},
        52);
    doc.codes
        = {{Format::QRCode, "https://example.com/quay/notice-12", QRectF(2750, 1850, 0, 0), 9}};
    Photo photo {
        QStringLiteral("shaken"), tableTop(QSize(4000, 3000), QColor(80, 90, 70), 7), {&doc}};
    place(photo.pixels, render(doc), turned(QPointF(300, 250), QSizeF(doc.size), -0.7));
    photo.shake = 9;
    return photo;
}

// Grey print on grey card, as on a recycled envelope or a faded ticket: little contrast.
Photo greyPhoto(Document& doc)
{
    doc.size = QSize(3000, 2000);
    doc.origin = QPointF(200, 120);
    doc.paper = QColor(158, 156, 150);
    doc.ink = QColor(92, 92, 96);
    doc.lines = lines({"Return slip - Hexham Library", "", "Borrower 40172, Ms J. Harding",
                          "The Joiner and Cabinet Maker       due 21 May",
                          "Hand Tools and Their Care          due 21 May",
                          "A History of the Tyne Valley       due 28 May", "",
                          "Renew online or at any branch. Late items cost",
                          "ten pence a day, up to two pounds an item."},
        50);
    doc.codes = {{Format::Code128, "LIB-40172-0521", QRectF(200, 1560, 900, 240)}};
    Photo photo {
        QStringLiteral("grey"), tableTop(QSize(4000, 3000), QColor(60, 60, 64), 8), {&doc}};
    place(photo.pixels, render(doc), turned(QPointF(500, 500), QSizeF(doc.size), 1.1));
    return photo;
}

} // namespace

int makeCorpus(const QString& dir)
{
    QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"));
    Photo (*const makers[])(Document&) = {pagePhoto, receiptPhoto, labelPhoto, anglePhoto,
        cornerCodesPhoto, portraitPhoto, shakenPhoto, greyPhoto};
    constexpr int kPhotos = int(std::size(makers));
    Document docs[kPhotos];
    for (int i = 0; i < kPhotos; ++i) {
        Photo photo = makers[i](docs[i]);
        shaken(photo.pixels, photo.shake);
        photograph(photo.pixels, 20417 + i);
        if (photo.orientation == 6)
            photo.pixels = photo.pixels.transformed(QTransform().rotate(-90));
        if (!write(dir, photo)) {
            std::fprintf(
                stderr, "cannot write %s in %s\n", qPrintable(photo.name), qPrintable(dir));
            return 1;
        }
        std::printf("%s\n", qPrintable(photo.name));
    }
    return 0;
}
