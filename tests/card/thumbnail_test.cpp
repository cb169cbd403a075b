#include "card_fixture.h"
#include "ui/thumbnail_view.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

TEST(ThumbnailLoader, MakesUprightBoundedPicturesOfPhotosAndFirstPages)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(u"letter.PDF"_s);
    ASSERT_TRUE(test::writePdf(pdf, 1));
    const QString small = dir.filePath(u"small.png"_s);
    ASSERT_TRUE(test::whitePage(50, 30).save(small));
    // Stored 200 wide, 100 high, with the tag "turn 90° clockwise to show".
    const QString turned = dir.filePath(u"turned.jpg"_s);
    ASSERT_TRUE(test::writeFile(turned, test::jpegWithOrientation(test::whitePage(200, 100), 6)));

    const struct {
        QString path;
        int maxPixel;
        QSize expected;
    } rows[] = {
        {pdf, 400, {309, 400}}, // a Letter page, enlarged to the size asked for
        {small, 400, {50, 30}}, // never enlarged
        {turned, 100, {50, 100}}, // upright, then bounded
        {dir.filePath(u"missing.jpg"_s), 400, {0, 0}},
    };
    for (const auto& row : rows) {
        const QImage image = ThumbnailLoader::makeThumbnail(row.path, row.maxPixel);
        EXPECT_EQ(image.size(), row.expected) << row.path.toStdString();
    }
    const QImage page = ThumbnailLoader::makeThumbnail(pdf, 400);
    EXPECT_EQ(page.pixelColor(300, 390), QColor(Qt::white)) << "a page is drawn on white";
}

TEST(ThumbnailLoader, CancelledOrOrphanedRequestsNeverCallBack)
{
    QTemporaryDir dir;
    const QString photo = dir.filePath(u"a.png"_s);
    ASSERT_TRUE(test::whitePage(40, 40).save(photo));
    ThumbnailLoader loader(1);
    QObject receiver;
    int calls = 0;
    const auto cancelled = loader.load(photo, 40, &receiver, [&](const QImage&) { ++calls; });
    loader.cancel(cancelled);
    auto* gone = new QObject;
    loader.load(photo, 40, gone, [&](const QImage&) { ++calls; });
    delete gone;
    bool delivered = false;
    loader.load(photo, 40, &receiver, [&](const QImage& image) { delivered = !image.isNull(); });

    QTRY_VERIFY(delivered);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

TEST(ThumbnailView, PicksUpAFileThatAppearsAfterAFailedAttempt)
{
    QTemporaryDir dir;
    const QString late = dir.filePath(u"late.png"_s);
    ThumbnailLoader loader(1);
    ThumbnailView view(loader);
    view.resize(100, 100);
    view.setSource(late, 100, ThumbnailView::ContentMode::fit);
    view.show();
    QSignalSpy loaded(&view, &ThumbnailView::loaded);
    QTest::qWait(50);
    ASSERT_TRUE(test::whitePage(30, 20).save(late));

    ASSERT_TRUE(loaded.wait(3000));
    EXPECT_EQ(view.image().size(), QSize(30, 20));
    EXPECT_FALSE(view.failed());
}

TEST(ThumbnailView, AnotherSourceDropsTheOldPictureAndItsLateResult)
{
    QTemporaryDir dir;
    const QString first = dir.filePath(u"first.png"_s);
    const QString second = dir.filePath(u"second.png"_s);
    ASSERT_TRUE(test::whitePage(80, 40).save(first));
    ASSERT_TRUE(test::whitePage(20, 60).save(second));
    ThumbnailLoader loader(1);
    ThumbnailView view(loader);
    view.show();
    QSignalSpy loaded(&view, &ThumbnailView::loaded);
    view.setSource(first, 100, ThumbnailView::ContentMode::fill);
    ASSERT_TRUE(loaded.wait(3000));

    view.setSource(first, 200, ThumbnailView::ContentMode::fill); // a load now runs for `first`
    view.setSource(second, 100, ThumbnailView::ContentMode::fill);
    EXPECT_TRUE(view.image().isNull()) << "the old picture goes at once";
    ASSERT_TRUE(loaded.wait(3000));
    QTest::qWait(50);
    EXPECT_EQ(view.image().size(), QSize(20, 60));
    EXPECT_EQ(loaded.count(), 2);
}
