#include "card/item_row.h"
#include "card/zoom_controls_view.h"
#include "card/zoomable_image_view.h"
#include "card_fixture.h"
#include "image_edit/crop_box.h"
#include "image_edit/image_edit_sheet.h"

#include <QAbstractButton>
#include <QLabel>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStyleHints>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

// A 600 x 400 photo in a 600 x 300 viewport: fitted to 450 x 300.
struct ZoomTest : ::testing::Test {
    QTemporaryDir dir;
    ThumbnailLoader loader {1};
    ZoomableImageView view {loader};

    void SetUp() override
    {
        const QString path = dir.filePath(u"photo.png"_s);
        ASSERT_TRUE(test::whitePage(600, 400).save(path));
        view.setViewport({600, 300});
        view.setSource(path);
        view.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view.image().isNull(); }));
    }

    void pinch(Qt::NativeGestureType type, double value = 0)
    {
        QNativeGestureEvent event(
            type, QPointingDevice::primaryPointingDevice(), 2, {}, {}, {}, value, {});
        QApplication::sendEvent(&view, &event);
    }
};

} // namespace

TEST_F(ZoomTest, ADoubleClickZoomsWithoutOpeningAndASingleClickOpensOnceNoSecondFollows)
{
    EXPECT_EQ(view.size(), QSize(450, 300)) << "unzoomed, the frame hugs the photo";
    QSignalSpy opened(&view, &ZoomableImageView::openRequested);
    QTest::mouseClick(&view, Qt::LeftButton);
    QTest::mouseDClick(&view, Qt::LeftButton);
    QTest::mouseRelease(&view, Qt::LeftButton);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return view.zoom() == ZoomableImageView::kDoubleClickZoom; }));
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
    EXPECT_EQ(opened.count(), 0);
    EXPECT_EQ(view.size(), QSize(600, 300)) << "zoomed, it takes the whole viewport";

    QTest::mouseClick(&view, Qt::LeftButton);
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
    EXPECT_EQ(opened.count(), 0) << "a click on a zoomed photo does nothing";

    view.setZoom(1.0);
    QTest::mouseClick(&view, Qt::LeftButton);
    EXPECT_EQ(opened.count(), 0) << "not before a second click could have come";
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened.count() == 1; }));
}

TEST_F(ZoomTest, ADragPansOnlyAsFarAsThePictureReaches)
{
    view.setZoom(2.5); // 1125 x 750 in 600 x 300: ±262.5 across, ±225 down
    const QPoint centre = view.rect().center();
    QTest::mousePress(&view, Qt::LeftButton, {}, centre);
    QTest::mouseMove(&view, centre + QPoint(500, -400));
    EXPECT_EQ(view.displayedOffset(), QPointF(262.5, -225));
    QTest::mouseMove(&view, centre + QPoint(400, -400));
    EXPECT_EQ(view.displayedOffset(), QPointF(262.5, -225)) << "the drag is still past the edge";
    QTest::mouseMove(&view, centre + QPoint(100, 0));
    EXPECT_EQ(view.displayedOffset(), QPointF(100, 0));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, centre + QPoint(100, 0));

    view.setZoom(1.0);
    view.setZoom(2.5);
    EXPECT_EQ(view.displayedOffset(), QPointF(0, 0)) << "leaving the zoom recentres";
}

TEST_F(ZoomTest, WheelAndPinchZoomWithinOneToSix)
{
    QSignalSpy changed(&view, &ZoomableImageView::zoomChanged);
    const auto wheel = [&](Qt::KeyboardModifiers modifiers, int delta) {
        QWheelEvent event(QPointF(10, 10), view.mapToGlobal(QPointF(10, 10)), {}, {0, delta},
            Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &event);
        return event.isAccepted();
    };
    EXPECT_FALSE(wheel(Qt::NoModifier, 120)) << "a plain wheel is left to the list";
    EXPECT_EQ(view.zoom(), 1.0);
    EXPECT_TRUE(wheel(Qt::ControlModifier, 120 * 40));
    EXPECT_EQ(view.zoom(), 6.0);
    wheel(Qt::ControlModifier, -120 * 40);
    EXPECT_EQ(view.zoom(), 1.0);

    view.setZoom(2.0);
    pinch(Qt::BeginNativeGesture);
    pinch(Qt::ZoomNativeGesture, 0.5); // magnification 1.5
    EXPECT_DOUBLE_EQ(view.zoom(), 3.0);
    pinch(Qt::ZoomNativeGesture, 1.0); // magnification 3
    EXPECT_EQ(view.zoom(), 6.0);
    pinch(Qt::EndNativeGesture);
    pinch(Qt::BeginNativeGesture);
    pinch(Qt::ZoomNativeGesture, -0.9);
    EXPECT_EQ(view.zoom(), 1.0);
    EXPECT_EQ(changed.last().at(0).toDouble(), 1.0) << "the card hears every change";
}

TEST(ZoomView, LoadsThePhotoAtTheSizeShownAndASharperOneWhenZoomed)
{
    // A card never holds a full-size picture it shows small; zooming in brings the detail.
    QTemporaryDir dir;
    const QString path = dir.filePath(u"large.png"_s);
    ASSERT_TRUE(test::whitePage(4000, 3000).save(path));
    ThumbnailLoader loader {1};
    ZoomableImageView view {loader};
    view.setViewport({600, 300});
    view.setSource(path);
    view.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.image().isNull(); }));
    EXPECT_EQ(view.image().width(), 750);
    view.setZoom(6);
    // A bound, not a speed: the sharper decode is slow in the sanitizer build.
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.image().width() == 3000; }, 30000));
}

TEST(ZoomControls, ResetIsOfferedOnlyWhileZoomed)
{
    ZoomControls controls;
    auto* reset = controls.findChild<QPushButton*>(u"zoomReset"_s);
    EXPECT_FALSE(reset->isEnabled());
    controls.setZoom(3.04);
    EXPECT_EQ(controls.findChild<QLabel*>(u"zoomFactor"_s)->text(), u"3.0×"_s);
    QSignalSpy changed(&controls, &ZoomControls::zoomChanged);
    reset->click();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toDouble(), 1.0);
    EXPECT_FALSE(reset->isEnabled());
}

TEST(CropBox, DragsKeepTheBoxInsideAndAtLeastItsSmallestSize)
{
    using Mode = CropBox::DragMode;
    const QRectF half(0.25, 0.25, 0.5, 0.5);
    const struct {
        const char* name;
        Mode mode;
        qreal dx, dy;
        QRectF expected;
    } rows[] = {
        {"move past the right edge", Mode::move, 0.6, 0.1, {0.5, 0.35, 0.5, 0.5}},
        {"move past the top-left", Mode::move, -1, -1, {0, 0, 0.5, 0.5}},
        {"top-left past the opposite corner", Mode::topLeft, 2, 2, {0.72, 0.72, 0.03, 0.03}},
        {"bottom-right past the opposite corner", Mode::bottomRight, -2, -2,
            {0.25, 0.25, 0.03, 0.03}},
        {"top-right out of the image", Mode::topRight, 1, -1, {0.25, 0, 0.75, 0.75}},
        {"bottom-left out of the image", Mode::bottomLeft, -1, 1, {0, 0.25, 0.75, 0.75}},
    };
    for (const auto& row : rows) {
        const QRectF got = CropBox::adjusted(half, row.mode, row.dx, row.dy);
        EXPECT_NEAR(got.x(), row.expected.x(), 1e-9) << row.name;
        EXPECT_NEAR(got.y(), row.expected.y(), 1e-9) << row.name;
        EXPECT_NEAR(got.width(), row.expected.width(), 1e-9) << row.name;
        EXPECT_NEAR(got.height(), row.expected.height(), 1e-9) << row.name;
    }
    const QRectF box(100, 100, 300, 200);
    EXPECT_EQ(CropBox::hitTest(box, {113, 100}), Mode::topLeft);
    EXPECT_EQ(CropBox::hitTest(box, {114, 100}), Mode::move);
    EXPECT_EQ(CropBox::hitTest(QRectF(100, 100, 10, 10), {105, 105}), Mode::topLeft)
        << "a tiny box: the first corner in reading order";
}

namespace {

struct EditSheetTest : ::testing::Test {
    QTemporaryDir dir;
    ThumbnailLoader loader {1};
    QList<QByteArray> saved;

    std::unique_ptr<ImageEditSheet> open(const QString& name, QSize size)
    {
        const QString path = dir.filePath(name);
        test::whitePage(size.width(), size.height()).save(path, "PNG");
        auto sheet = std::make_unique<ImageEditSheet>(loader, path, u"Edit photo"_s,
            [this](const ImageEditOperations::Encoded& edited) { saved << edited.data; });
        QSignalSpy loaded(sheet.get(), &ImageEditSheet::imageLoaded);
        sheet->open();
        EXPECT_TRUE(loaded.wait());
        return sheet;
    }
    QPushButton* button(QWidget& sheet, const QString& name)
    {
        return sheet.findChild<QPushButton*>(name);
    }
};

} // namespace

TEST_F(EditSheetTest, ReturnSavesOnlyAnEditAndEscapeCancels)
{
    auto sheet = open(u"photo.PNG"_s, {60, 40});
    QTest::keyClick(sheet.get(), Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible()) << "nothing to save yet";
    button(*sheet, u"rotateRightButton"_s)->click();
    QTest::keyClick(sheet.get(), Qt::Key_Return);
    EXPECT_FALSE(sheet->isVisible());
    ASSERT_EQ(saved.size(), 1);
    const QImage turned = QImage::fromData(saved[0]);
    EXPECT_EQ(turned.size(), QSize(40, 60));

    auto cancelled = open(u"other.jpg"_s, {60, 40});
    button(*cancelled, u"rotateLeftButton"_s)->click();
    QTest::keyClick(cancelled.get(), Qt::Key_Escape);
    EXPECT_FALSE(cancelled->isVisible());
    EXPECT_EQ(saved.size(), 1);
}

TEST_F(EditSheetTest, DraggingACornerOnTheCanvasCropsTheSavedImage)
{
    auto sheet = open(u"wide.jpg"_s, {640, 440}); // fills the canvas point for point
    auto* canvas = sheet->findChild<QWidget*>(u"cropCanvas"_s);
    QTest::mousePress(canvas, Qt::LeftButton, {}, {5, 5});
    QTest::mouseMove(canvas, {325, 225});
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, {325, 225});
    EXPECT_EQ(sheet->crop(), QRectF(0.5, 0.5, 0.5, 0.5));
    button(*sheet, u"editSaveButton"_s)->click();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(QImage::fromData(saved[0]).size(), QSize(320, 220));
}

TEST(ZoomOnCard, PhotoAndSliderShareTheCardsZoomAndSimpleModeHasNoControls)
{
    test::CardWorld world;
    const ScreenItem item = world.add(ItemKind::photo, u"Mum"_s);
    auto state = std::make_shared<CardState>();
    const CardServices services {world.store, world.loader, world.permissions, nullptr, {}};
    const ItemRowLayout layout {.availableWidth = 600, .fitHeight = 400};
    ItemRow card(services, item, layout, state);
    card.show();
    auto* slider = card.findChild<QSlider*>(u"zoomSlider"_s);
    ASSERT_TRUE(slider);
    slider->setValue(300);
    EXPECT_EQ(state->zoom, 3.0);
    EXPECT_EQ(card.findChild<ZoomableImageView*>()->zoom(), 3.0);

    ItemRow again(services, item, layout, state);
    EXPECT_EQ(again.findChild<ZoomableImageView*>()->zoom(), 3.0) << "scrolled away and back";
    EXPECT_EQ(again.findChild<QSlider*>(u"zoomSlider"_s)->value(), 300);

    world.defaults.set(u"macSimpleMode"_s, true);
    ItemRow simple(services, item, layout, state);
    EXPECT_TRUE(simple.findChild<ZoomableImageView*>());
    EXPECT_FALSE(simple.findChild<ZoomControls*>());
    EXPECT_FALSE(simple.findChild<QToolButton*>(u"rotateLeftButton"_s));
}

TEST(ZoomOnCard, ClicksOnTheGlyphsStepThePhotosZoomWithinOneToSix)
{
    test::CardWorld world;
    const ScreenItem item = world.add(ItemKind::photo, u"Mum"_s);
    auto state = std::make_shared<CardState>();
    const CardServices services {world.store, world.loader, world.permissions, nullptr, {}};
    ItemRow card(services, item, {.availableWidth = 600, .fitHeight = 400}, state);
    card.show();
    const auto press = [&card](const QString& name, int times) {
        auto* glyph = card.findChild<QAbstractButton*>(name);
        ASSERT_TRUE(glyph);
        for (int i = 0; i < times; ++i)
            QTest::mouseClick(glyph, Qt::LeftButton);
    };
    press(u"zoomIn"_s, 3);
    EXPECT_EQ(card.findChild<ZoomableImageView*>()->zoom(), 2.5);
    EXPECT_EQ(card.findChild<QLabel*>(u"zoomFactor"_s)->text(), u"2.5×"_s);
    press(u"zoomIn"_s, 20);
    EXPECT_EQ(state->zoom, ZoomControls::kMaxZoom);
    press(u"zoomOut"_s, 20);
    EXPECT_EQ(state->zoom, 1.0);
}

TEST(EditFromCard, AnEditSavesEvenWhenItsCardIsTakenAwayMeanwhile)
{
    test::CardWorld world;
    const ScreenItem item = world.add(ItemKind::photo, u"Mum"_s);
    QWidget window;
    auto* card = new ItemRow({world.store, world.loader, world.permissions}, item,
        {.mode = ViewMode::large, .availableWidth = 600, .fitHeight = 400}, nullptr, &window);
    window.show();
    card->openEditor();
    auto* sheet = window.findChild<ImageEditSheet*>();
    ASSERT_NE(sheet, nullptr);
    QSignalSpy loaded(sheet, &ImageEditSheet::imageLoaded);
    ASSERT_TRUE(loaded.wait());
    delete card;

    sheet->findChild<QPushButton*>(u"rotateRightButton"_s)->click();
    QTest::keyClick(sheet, Qt::Key_Return);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return world.store.item(item.id)->filename != item.filename; }));
    EXPECT_EQ(QImage(world.store.fileURL(*world.store.item(item.id))).size(), QSize(48, 64));
}
