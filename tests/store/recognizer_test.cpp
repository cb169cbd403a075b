#include "store/recognizer.h"

#include "support/test_images.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <algorithm>

using namespace vesker;
using namespace vesker::test;
using ZXing::BarcodeFormat;

namespace {

const QStringList kLines {QStringLiteral("Delivery note 4711"),
    QStringLiteral("Ship to 12 Harbour Road"), QStringLiteral("Handle with care")};

// The children of this process and the descriptors each holds, as /proc shows them.
QMap<int, QStringList> childDescriptors()
{
    QMap<int, QStringList> children;
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces, so read from its end.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.size() < 2 || rest[1] != self.toLatin1())
            continue;
        QStringList fds
            = QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::Files | QDir::System);
        if (!fds.isEmpty())
            children[pid.toInt()] = fds;
    }
    return children;
}

class RecognizerTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;

    QString save(const QImage& image, const QString& name)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(image.save(path)) << qPrintable(path);
        return path;
    }

    // A code drawn into the middle of a white page, as a photo of a label would show it.
    static QImage labelPage(const QImage& code)
    {
        QImage page = whitePage(code.width() + 200, code.height() + 200);
        QPainter(&page).drawImage(100, 100, code);
        return page;
    }
};

} // namespace

TEST(RecognizerNames, NameEachZXingFormatAsStored)
{
    const struct {
        BarcodeFormat format;
        const char* payload;
        const char* name;
    } cases[] = {
        {BarcodeFormat::EAN13, "4006381333931", "EAN-13"},
        {BarcodeFormat::EAN8, "96385074", "EAN-8"},
        {BarcodeFormat::UPCE, "01234565", "UPC-E"},
        {BarcodeFormat::Code128, "A", "Code 128"},
        {BarcodeFormat::Code39, "A", "Code 39"},
        {BarcodeFormat::Code93, "A", "Code 93"},
        {BarcodeFormat::QRCode, "A", "QR"},
        {BarcodeFormat::DataMatrix, "A", "DataMatrix"},
        {BarcodeFormat::PDF417, "A", "PDF417"},
        {BarcodeFormat::Aztec, "A", "Aztec"},
        // Interleaved 2 of 5 is ITF-14 only as a shipping code: fourteen digits whose last
        // is the GTIN check digit.
        {BarcodeFormat::ITF, "00012345678905", "ITF-14"},
        {BarcodeFormat::ITF, "00012345678906", "I2of5"},
        {BarcodeFormat::ITF, "123456", "I2of5"},
        {BarcodeFormat::ITF, "0001234567890A", "I2of5"},
        // Formats without a name of ours keep ZXing's.
        {BarcodeFormat::UPCA, "036000291452", "UPC-A"},
        {BarcodeFormat::Codabar, "A", "Codabar"},
        {BarcodeFormat::DataBarExpanded, "A", "DataBarExpanded"},
        {BarcodeFormat::MicroQRCode, "A", "MicroQRCode"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.payload);
        EXPECT_EQ(Recognizer::name(c.format, QString::fromLatin1(c.payload)),
            QString::fromLatin1(c.name));
    }
}

TEST(RecognizerNames, PayloadCutsOffOnlyAKnownNameAndItsSpace)
{
    const struct {
        const char* stored;
        const char* payload;
    } cases[] = {
        {"EAN-13 4006381333931", "4006381333931"},
        {"Code 128 AB 12", "AB 12"}, // inner spaces of the payload stay
        {"QR line one\nline two ", "line one\nline two "},
        {"QR", "QR"}, // a name without its space is no name
        {"QRX 1", "QRX 1"},
        {"PDF417 ", ""},
        {"Code 39 Code 39", "Code 39"},
        {"UPC-A 036000291452", "036000291452"},
        {"DataBarExpanded (01)9", "(01)9"}, // the longer of two names that begin alike
        {"DataBar (01)9", "(01)9"},
        {"Order 20417", "Order 20417"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(Recognizer::payload(QString::fromUtf8(c.stored)), QString::fromUtf8(c.payload));
    }
    const QStringList& names = Recognizer::symbologies();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(),
        [](const QString& a, const QString& b) { return a.size() > b.size(); }));
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), names.size());
}

TEST(RecognizerNames, EntriesDropEmptyAndRepeatedCodes)
{
    const QList<Recognizer::Barcode> found {
        {BarcodeFormat::QRCode, QStringLiteral("https://example.com/a")},
        {BarcodeFormat::EAN13, QString()},
        {BarcodeFormat::QRCode, QStringLiteral("https://example.com/a")},
        {BarcodeFormat::Code128, QStringLiteral("https://example.com/a")},
        {BarcodeFormat::None, QStringLiteral("bare")},
    };
    EXPECT_EQ(Recognizer::barcodeEntries(found),
        QStringList({QStringLiteral("QR https://example.com/a"),
            QStringLiteral("Code 128 https://example.com/a"), QStringLiteral("bare")}));
}

TEST(RecognizerNames, LinesAreJoinedFromTheTopDownAndTrimmed)
{
    using Lines = QList<Recognizer::TextLine>;
    const struct {
        const char* name;
        Lines lines;
        const char* text;
    } cases[] = {
        {"in order", {{10, "top"}, {50, "middle"}, {90, "bottom"}}, "top\nmiddle\nbottom"},
        {"reversed", {{90, "bottom"}, {10, "top"}, {50, "middle"}}, "top\nmiddle\nbottom"},
        {"equal centres keep their order", {{40, "right"}, {40, "left"}, {5, "title"}},
            "title\nright\nleft"},
        {"trimmed, inner blank lines kept", {{1, "  \n"}, {2, " a"}, {3, ""}, {4, "b \t"}},
            "a\n\nb"},
        {"only white space", {{1, " "}, {2, "\t\n"}}, ""},
        {"nothing", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Recognizer::joinLines(c.lines), QString::fromUtf8(c.text));
    }
}

TEST_F(RecognizerTest, ReadsEveryFormatZXingDraws)
{
    const struct {
        BarcodeFormat format;
        std::string payload;
        int width, height;
        const char* entry;
    } cases[] = {
        {BarcodeFormat::EAN13, "4006381333931", 380, 160, "EAN-13 4006381333931"},
        {BarcodeFormat::EAN8, "96385074", 300, 160, "EAN-8 96385074"},
        {BarcodeFormat::UPCE, "01234565", 300, 160, "UPC-E 01234565"},
        {BarcodeFormat::UPCA, "036000291452", 380, 160, "UPC-A 036000291452"},
        {BarcodeFormat::Code128, "Vesker 128", 420, 160, "Code 128 Vesker 128"},
        {BarcodeFormat::Code39, "VESKER-39", 520, 160, "Code 39 VESKER-39"},
        {BarcodeFormat::Code93, "VESKER93", 420, 160, "Code 93 VESKER93"},
        {BarcodeFormat::ITF, "00012345678905", 520, 160, "ITF-14 00012345678905"},
        {BarcodeFormat::ITF, "12345670", 400, 160, "I2of5 12345670"},
        {BarcodeFormat::QRCode, "https://example.com/caf\xc3\xa9", 240, 240,
            "QR https://example.com/caf\xc3\xa9"},
        {BarcodeFormat::DataMatrix, "Shelf B-12", 200, 200, "DataMatrix Shelf B-12"},
        {BarcodeFormat::PDF417, "Parcel 20417 of 3", 480, 160, "PDF417 Parcel 20417 of 3"},
        {BarcodeFormat::Aztec, "Boarding 7C", 200, 200, "Aztec Boarding 7C"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        const QString path = save(labelPage(barcodeImage(c.format, c.payload, c.width, c.height)),
            QStringLiteral("code.png"));
        EXPECT_EQ(
            Recognizer::recognizeNow(path).barcodes, QStringList {QString::fromUtf8(c.entry)});
    }
}

TEST_F(RecognizerTest, ListsARepeatedCodeOnceAndDifferentCodesEach)
{
    const QImage qr = barcodeImage(BarcodeFormat::QRCode, "https://example.com/20417", 220, 220);
    const QImage ean = barcodeImage(BarcodeFormat::EAN13, "4006381333931", 380, 160);
    const QImage code128 = barcodeImage(BarcodeFormat::Code128, "DN-20417", 380, 160);

    QImage twoQr = whitePage(800, 400);
    QPainter(&twoQr).drawImage(60, 80, qr);
    QPainter(&twoQr).drawImage(480, 100, qr);
    // Two packets of one product side by side: ZXing 1.4 as Debian builds it aborts the whole
    // process on this picture.
    QImage twoEan = whitePage(1000, 400);
    QPainter(&twoEan).drawImage(60, 100, ean);
    QPainter(&twoEan).drawImage(560, 140, ean);
    QImage eanAnd128 = whitePage(1000, 400);
    QPainter(&eanAnd128).drawImage(60, 100, ean);
    QPainter(&eanAnd128).drawImage(560, 100, code128);

    EXPECT_EQ(Recognizer::recognizeNow(save(twoQr, QStringLiteral("qr.png"))).barcodes,
        QStringList {QStringLiteral("QR https://example.com/20417")});
    EXPECT_EQ(Recognizer::recognizeNow(save(twoEan, QStringLiteral("ean.png"))).barcodes,
        QStringList {QStringLiteral("EAN-13 4006381333931")});
    QStringList both
        = Recognizer::recognizeNow(save(eanAnd128, QStringLiteral("two.png"))).barcodes;
    both.sort();
    EXPECT_EQ(both,
        QStringList({QStringLiteral("Code 128 DN-20417"), QStringLiteral("EAN-13 4006381333931")}));
}

TEST_F(RecognizerTest, ReadsPrintedLinesFromTheTopDown)
{
    const Recognizer::Result result
        = Recognizer::recognizeNow(save(textPage(kLines), QStringLiteral("note.png")));
    EXPECT_EQ(result.text, kLines.join(u'\n'));
    EXPECT_TRUE(result.barcodes.isEmpty());
}

TEST_F(RecognizerTest, TurnsAPortraitPhotoUprightBeforeReadingIt)
{
    // A phone held upright stores its picture lying on its side and says so in the tag.
    const QImage sideways = textPage(kLines).transformed(QTransform().rotate(-90));
    const QString tagged = m_dir.filePath(QStringLiteral("portrait.jpg"));
    ASSERT_TRUE(writeFile(tagged, jpegWithOrientation(sideways, 6)));
    EXPECT_EQ(Recognizer::recognizeNow(tagged).text, kLines.join(u'\n'));

    // The same pixels without the tag are not read as those lines.
    const QString untagged = m_dir.filePath(QStringLiteral("untagged.jpg"));
    ASSERT_TRUE(sideways.save(untagged, "JPEG", 95));
    EXPECT_FALSE(Recognizer::recognizeNow(untagged).text.contains(QStringLiteral("Harbour")));
}

TEST_F(RecognizerTest, KeepsTheBarcodesWhenTextCannotBeRead)
{
    QImage page = textPage(kLines);
    QPainter(&page).drawImage(
        820, 10, barcodeImage(BarcodeFormat::QRCode, "https://example.com/20417", 200, 200));
    const QString path = save(page, QStringLiteral("label.png"));
    const QStringList qr {QStringLiteral("QR https://example.com/20417")};

    const Recognizer::Result read = Recognizer::recognizeNow(path);
    EXPECT_EQ(read.barcodes, qr);
    EXPECT_TRUE(read.text.contains(QStringLiteral("Delivery note 4711"))) << qPrintable(read.text);

    // No trained data for the text engine: the codes still come back.
    QTemporaryDir noData;
    const Recognizer::Result withoutText = Recognizer::recognizeNow(path, {noData.path()});
    EXPECT_EQ(withoutText.barcodes, qr);
    EXPECT_EQ(withoutText.text, QString());
}

TEST_F(RecognizerTest, ReadsATransparentPictureAsShownOnWhite)
{
    // A code and a line printed in black on nothing, as a drawing program exports them.
    QImage page(1000, 400, QImage::Format_ARGB32);
    page.fill(Qt::transparent);
    drawLines(page, {QStringLiteral("Shelf B-12")});
    QImage code = barcodeImage(BarcodeFormat::QRCode, "https://example.com/b12", 200, 200)
                      .convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < code.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(code.scanLine(y));
        for (int x = 0; x < code.width(); ++x)
            row[x] = qRed(row[x]) > 128 ? qRgba(0, 0, 0, 0) : qRgba(0, 0, 0, 255);
    }
    QPainter(&page).drawImage(700, 100, code);

    const Recognizer::Result result
        = Recognizer::recognizeNow(save(page, QStringLiteral("clear.png")));
    EXPECT_EQ(result.barcodes, QStringList {QStringLiteral("QR https://example.com/b12")});
    EXPECT_EQ(result.text, QStringLiteral("Shelf B-12"));
}

TEST_F(RecognizerTest, ReadsHeicPhotos)
{
    QImage page = textPage({QStringLiteral("Shelf B-12")});
    QPainter(&page).drawImage(
        800, 0, barcodeImage(BarcodeFormat::QRCode, "https://example.com/b12", 160, 160));
    const QString path = m_dir.filePath(QStringLiteral("IMG_0001.HEIC"));
    if (!writeHeic(path, page))
        GTEST_SKIP() << "this libheif has no HEVC encoder";
    const Recognizer::Result result = Recognizer::recognizeNow(path);
    EXPECT_EQ(result.barcodes, QStringList {QStringLiteral("QR https://example.com/b12")});
    EXPECT_EQ(result.text, QStringLiteral("Shelf B-12"));
}

TEST_F(RecognizerTest, AnythingThatIsNotAPictureGivesTheEmptyResult)
{
    ASSERT_TRUE(writeFile(m_dir.filePath(QStringLiteral("note.jpg")), "Delivery note 4711\n"));
    ASSERT_TRUE(writeFile(m_dir.filePath(QStringLiteral("empty.png")), {}));
    QByteArray cut;
    {
        QBuffer buffer(&cut);
        buffer.open(QIODevice::WriteOnly);
        textPage(kLines).save(&buffer, "PNG");
    }
    cut.truncate(cut.size() / 3);
    ASSERT_TRUE(writeFile(m_dir.filePath(QStringLiteral("cut.png")), cut));

    for (const char* name : {"missing.jpg", "note.jpg", "empty.png", "cut.png", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Recognizer::recognizeNow(m_dir.filePath(QString::fromLatin1(name))),
            Recognizer::Result {});
    }
    // The folder itself.
    EXPECT_EQ(Recognizer::recognizeNow(m_dir.path()), Recognizer::Result {});
}

TEST_F(RecognizerTest, ABurstOfPhotosRunsAFewAtATimeOffTheCallersThread)
{
    const QString path = save(textPage(kLines), QStringLiteral("note.png"));
    QList<QFuture<Recognizer::Result>> futures;
    for (int i = 0; i < 6; ++i)
        futures.append(Recognizer::recognize(path));

    // The caller is not held up: every future is handed back before the work is done.
    EXPECT_FALSE(
        std::all_of(futures.begin(), futures.end(), [](const auto& f) { return f.isFinished(); }));
    int mostAtOnce = 0;
    QElapsedTimer timer;
    timer.start();
    while (!std::all_of(futures.begin(), futures.end(), [](const auto& f) {
        return f.isFinished();
    }) && timer.elapsed() < 60'000) {
        mostAtOnce = std::max(mostAtOnce, Recognizer::pool().activeThreadCount());
        QThread::msleep(5);
    }
    EXPECT_GE(mostAtOnce, 1);
    EXPECT_LE(mostAtOnce, 2);
    for (auto& future : futures)
        EXPECT_EQ(future.result().text, kLines.join(u'\n'));
}

TEST_F(RecognizerTest, TheBarcodeSearchHoldsNoneOfTheProgramsSockets)
{
    // A server of the program's own: a child that kept its socket would keep the port bound
    // and its connections open after the program closed them.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QImage page = whitePage(2600, 2000);
    drawLines(page, kLines);
    QPainter(&page).drawImage(
        1200, 800, barcodeImage(BarcodeFormat::EAN13, "4006381333931", 760, 320));
    const QString path = save(page, QStringLiteral("large.png"));

    QFuture<Recognizer::Result> future = Recognizer::recognize(path);
    // The last view of each child counts: the first instant after its start it still holds
    // everything, until it closes what it does not need.
    QMap<int, QStringList> seen;
    while (!future.isFinished()) {
        const QMap<int, QStringList> now = childDescriptors();
        for (auto it = now.begin(); it != now.end(); ++it)
            seen[it.key()] = it.value();
        QThread::msleep(2);
    }
    EXPECT_EQ(future.result().barcodes, QStringList {QStringLiteral("EAN-13 4006381333931")});
    ASSERT_FALSE(seen.isEmpty()) << "no barcode search was seen running";
    for (auto it = seen.begin(); it != seen.end(); ++it)
        EXPECT_EQ(it.value(), QStringList({"0", "1", "2", "3"})) << it.key();
}
