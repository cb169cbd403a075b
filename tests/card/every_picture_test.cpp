#include "card/item_actions.h"
#include "image_edit/image_edit_operations.h"
#include "platform/image_decode.h"
#include "platform/media.h"
#include "platform/thumbnail_loader.h"
#include "send/photo_preparation.h"

#include "support/picture_formats.h"
#include "support/temp_env.h"
#include "support/test_images.h"

#include <QTemporaryDir>

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

TEST(EveryPicture, AHugePictureWithinTheBudgetTakesEveryRoadScaled)
{
    QTemporaryDir dir;
    // 48 megapixels, as the largest phone cameras take, in the two forms that decode whole.
    const QImage huge = test::markedPicture(8000, 6000);
    const struct {
        const char* name;
        QByteArray bytes;
    } rows[] = {
        {"huge JPEG", test::encoded(huge, "jpeg", 80)},
        {"huge palette PNG", test::encoded(huge.convertToFormat(QImage::Format_Indexed8), "png")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = dir.filePath(
            QString::fromLatin1(row.name) + u'.' + platform::pictureExtension(row.bytes));
        ASSERT_TRUE(test::writeFile(path, row.bytes));
        EXPECT_EQ(ThumbnailLoader::makeThumbnail(path, 400).size(), QSize(400, 300));
        const std::optional<QByteArray> thumb = platform::thumbnailData(path, 240);
        ASSERT_TRUE(thumb);
        EXPECT_EQ(decoded(*thumb).size(), QSize(240, 180));
        const auto turned = ItemActions::quarterTurned(path, false);
        ASSERT_TRUE(turned);
        EXPECT_EQ(longest(decoded(turned->data).size()), 6000) << "the editor's own bound";
        const auto cropped = ImageEditOperations::encode(
            *ImageEditOperations::crop(
                ThumbnailLoader::makeThumbnail(path, 6000), QRectF(0.5, 0.5, 0.5, 0.5)),
            path);
        ASSERT_TRUE(cropped);
        EXPECT_EQ(decoded(cropped->data).size(), QSize(3000, 2250));
        for (const auto& [size, side] :
            {std::pair {PhotoSize::large, 3200}, std::pair {PhotoSize::medium, 2048}}) {
            const PreparedPhoto prepared = preparePhoto(row.bytes, size);
            EXPECT_EQ(longest(decoded(prepared.bytes).size()), side);
        }
    }
}
