#include "card/item_actions.h"
#include "image_edit/image_edit_operations.h"
#include "platform/image_decode.h"
#include "platform/media.h"
#include "platform/thumbnail_loader.h"
#include "send/photo_preparation.h"
#include "store/recognizer.h"

#include "support/picture_formats.h"
#include "support/temp_env.h"
#include "support/test_images.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

QImage decoded(const QByteArray& bytes)
{
    return platform::decodeImageData(bytes);
}

int longest(QSize size)
{
    return std::max(size.width(), size.height());
}

QSize fitted(QSize size, int side)
{
    return longest(size) <= side ? size : size.scaled(side, side, Qt::KeepAspectRatio);
}

// Every road a received picture takes after it is stored, for one picture in one file named as
// the upload route names it.
void takeEveryRoad(const test::PictureSample& sample, const QString& folder)
{
    SCOPED_TRACE(sample.name);
    const QString extension = platform::pictureExtension(sample.bytes);
    ASSERT_FALSE(extension.isEmpty()) << "taken as a picture";
    const QString path = folder + u'/' + QString::fromLatin1(sample.name) + u'.' + extension;
    ASSERT_TRUE(test::writeFile(path, sample.bytes));

    // The card's picture, at its size and at the blurred one.
    for (const int side : {400, 24}) {
        const QImage card = ThumbnailLoader::makeThumbnail(path, side);
        ASSERT_FALSE(card.isNull()) << "card at " << side;
        EXPECT_NEAR(longest(card.size()), longest(fitted(sample.size, side)), 1);
    }

    // The browser screen's thumbnail, and the type its image is served under.
    const std::optional<QByteArray> thumb = platform::thumbnailData(path, 240);
    ASSERT_TRUE(thumb) << "browser thumbnail";
    EXPECT_EQ(decoded(*thumb).size(), fitted(sample.size, 240));
    EXPECT_EQ(platform::mimeType(path), imageMimeType(sample.bytes));

    // A quarter turn on the card, saved in the file's own format where it can be written.
    const auto turned = ItemActions::quarterTurned(path, true);
    ASSERT_TRUE(turned) << "rotate";
    EXPECT_EQ(decoded(turned->data).size(), sample.size.transposed());
    EXPECT_EQ(turned->extension, extension == u"png" ? u"png"_s : u"jpg"_s);

    // The editor's crop of the middle, saved.
    const QImage editing = ThumbnailLoader::makeThumbnail(path, 6000);
    const auto middle = ImageEditOperations::crop(editing, QRectF(0.25, 0.25, 0.5, 0.5));
    ASSERT_TRUE(middle) << "crop";
    const auto cropped = ImageEditOperations::encode(*middle, path);
    ASSERT_TRUE(cropped);
    EXPECT_EQ(decoded(cropped->data).size(), middle->size());

    // What the Send sheet and a card's Forward send, at each size.
    for (const PhotoSize size : allPhotoSizes()) {
        SCOPED_TRACE(toString(size).toStdString());
        const PreparedPhoto prepared = preparePhoto(test::fileBytes(path), size);
        const QImage sent = decoded(prepared.bytes);
        ASSERT_FALSE(sent.isNull());
        EXPECT_EQ(sent.size(), sample.size);
        EXPECT_EQ(prepared.mimeType, imageMimeType(prepared.bytes));
    }
}

} // namespace

TEST(EveryPicture, EveryFormTakesEveryRoad)
{
    QTemporaryDir dir;
    const QList<test::PictureSample> samples = test::everyPictureForm();
    for (const test::PictureSample& sample : samples)
        takeEveryRoad(sample, dir.path());
}

namespace {

// Qt's own limit on one image's memory as it starts, before anything here raised it.
constexpr int kQtDefaultAllocationLimit = 128;

struct HugeForm {
    const char* name;
    QByteArray (*encode)(const QImage&);
    QSize size = {8000, 7990}; // just under the pixel budget
};

QByteArray lzwTiff(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setCompression(1);
    return writer.write(image) ? bytes : QByteArray();
}

// A JPEG of 48 megapixels, as the largest phone cameras take, which its reader decodes straight at
// a smaller size past Qt's limit; and the forms whose readers decode whole (PNG scales only plain
// colours as it reads) just under the pixel budget.
const HugeForm kHugeForms[] = {
    {"JPEG", [](const QImage& p) { return test::encoded(p, "jpeg", 80); }, {8000, 6000}},
    {"PalettePNG",
        [](const QImage& p) {
            return test::encoded(p.convertToFormat(QImage::Format_Indexed8), "png");
        }},
    {"GreyPNG",
        [](const QImage& p) {
            return test::encoded(p.convertToFormat(QImage::Format_Grayscale8), "png");
        }},
    {"Grey16PNG",
        [](const QImage& p) {
            return test::encoded(p.convertToFormat(QImage::Format_Grayscale16), "png");
        }},
    {"PaletteBMP",
        [](const QImage& p) {
            return test::encoded(p.convertToFormat(QImage::Format_Indexed8), "bmp");
        }},
    {"GreyTIFF",
        [](const QImage& p) { return lzwTiff(p.convertToFormat(QImage::Format_Grayscale8)); }},
    {"GIF", [](const QImage& p) { return test::gifBytes(p); }},
};

// Named in the list of tests by its form alone.
void PrintTo(const HugeForm& form, std::ostream* out)
{
    *out << form.name;
}

class HugePicture : public ::testing::TestWithParam<HugeForm> { };

} // namespace

// With print to read. Every road is taken as if it were the first picture this process decoded:
// none may lean on a limit another raised before it.
TEST_P(HugePicture, WithinTheBudgetTakesEveryRoad)
{
    const QSize size = GetParam().size;
    QImage huge = test::markedPicture(size.width(), size.height());
    test::drawLines(huge, {QStringLiteral("Invoice 2291")});
    const QByteArray bytes = GetParam().encode(huge);
    ASSERT_FALSE(bytes.isEmpty());
    QTemporaryDir dir;
    const QString path = dir.filePath(u"huge."_s + platform::pictureExtension(bytes));
    ASSERT_TRUE(test::writeFile(path, bytes));
    const auto first = [] { QImageReader::setAllocationLimit(kQtDefaultAllocationLimit); };

    first();
    EXPECT_EQ(ThumbnailLoader::makeThumbnail(path, 400).size(), fitted(size, 400));
    first();
    const std::optional<QByteArray> thumb = platform::thumbnailData(path, 240);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(decoded(*thumb).size(), fitted(size, 240));
    first();
    const auto turned = ItemActions::quarterTurned(path, false);
    ASSERT_TRUE(turned);
    EXPECT_EQ(decoded(turned->data).size(), fitted(size, 6000).transposed())
        << "the editor's own bound";
    first();
    const QImage editing = ThumbnailLoader::makeThumbnail(path, 6000);
    EXPECT_EQ(editing.size(), fitted(size, 6000));
    const auto cropped = ImageEditOperations::encode(
        *ImageEditOperations::crop(editing, QRectF(0.5, 0.5, 0.5, 0.5)), path);
    ASSERT_TRUE(cropped);
    EXPECT_NEAR(decoded(cropped->data).width(), fitted(size, 6000).width() / 2, 1);
    for (const auto& [sent, side] : {std::pair {PhotoSize::original, longest(size)},
             std::pair {PhotoSize::large, 3200}, std::pair {PhotoSize::medium, 2048}}) {
        SCOPED_TRACE(toString(sent).toStdString());
        first();
        const PreparedPhoto prepared = preparePhoto(bytes, sent);
        // Read from its header: a JPEG past Qt's limit decodes here at a fraction of its size.
        QBuffer sentBytes;
        sentBytes.setData(prepared.bytes);
        sentBytes.open(QIODevice::ReadOnly);
        EXPECT_EQ(longest(QImageReader(&sentBytes).size()), side);
    }
    first();
    EXPECT_TRUE(Recognizer::recognizeNow(path).text.contains(u"Invoice 2291"_s));
}

INSTANTIATE_TEST_SUITE_P(EveryPicture, HugePicture, ::testing::ValuesIn(kHugeForms),
    [](const ::testing::TestParamInfo<HugeForm>& form) { return std::string(form.param.name); });

namespace {

void putLittle(QByteArray& bytes, qsizetype at, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = char(value >> (8 * i));
}

void putBig(QByteArray& bytes, qsizetype at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (8 * (3 - i)));
}

} // namespace

TEST(EveryPicture, APictureOverTheBudgetIsRefusedFromItsHeader)
{
    // One pixel more than the budget allows, declared by a small picture's header: decoding
    // would take the memory before it found the data missing.
    const quint32 width = 8000, height = 8001;
    const QImage small = test::markedPicture(40, 30);
    QByteArray png = test::encoded(small.convertToFormat(QImage::Format_Grayscale8), "png");
    putBig(png, 16, width);
    putBig(png, 20, height);
    putBig(png, 29, test::crc32(png.mid(12, 17))); // IHDR's type and fields
    QByteArray bmp = test::encoded(small.convertToFormat(QImage::Format_Indexed8), "bmp");
    putLittle(bmp, 18, width, 4);
    putLittle(bmp, 22, height, 4);
    QByteArray gif = test::gifBytes(small);
    for (const qsizetype at : {6, 13 + 768 + 5}) {
        putLittle(gif, at, width, 2);
        putLittle(gif, at + 2, height, 2);
    }
    QByteArray tiff = test::tiffBytes(small, test::TiffModel::grey, 8);
    const qsizetype entries = qFromLittleEndian<quint32>(tiff.constData() + 4) + 2;
    putLittle(tiff, entries + 8, width, 4); // ImageWidth, then ImageLength
    putLittle(tiff, entries + 12 + 8, height, 4);
    putLittle(tiff, entries + 7 * 12 + 8, height, 4); // RowsPerStrip: still one strip
    const struct {
        const char* name;
        QByteArray bytes;
    } rows[] = {{"grey PNG", png}, {"palette BMP", bmp}, {"GIF", gif}, {"grey TIFF", tiff}};

    QTemporaryDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = dir.filePath(
            QString::fromLatin1(row.name) + u'.' + platform::pictureExtension(row.bytes));
        ASSERT_TRUE(test::writeFile(path, row.bytes));
        platform::DecodeError error {};
        EXPECT_TRUE(platform::decodeImage(path, platform::kMaxDecodedPixels, &error).isNull());
        EXPECT_EQ(error, platform::DecodeError::tooLarge);
        EXPECT_TRUE(ThumbnailLoader::makeThumbnail(path, 400).isNull());
        EXPECT_FALSE(platform::thumbnailData(path, 240));
        EXPECT_FALSE(ItemActions::quarterTurned(path, true));
        EXPECT_EQ(Recognizer::recognizeNow(path), Recognizer::Result {});
    }
}
