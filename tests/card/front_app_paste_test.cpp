// "Paste into front app" on a real X display: the value is typed into the window the user had
// before ours.
#include "card/item_row.h"
#include "card_fixture.h"
#include "ui/tray_availability.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

TEST(FrontAppPaste, TypesTheValueIntoThePreviouslyFocusedWindow)
{
    test::CardWorld world;
    QLineEdit other;
    other.setWindowTitle(u"Other app"_s);
    other.resize(300, 40);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));

    ScreenItem item = world.add(ItemKind::photo, u"Ann"_s);
    world.store.setRecognition(item.id, {u"EAN-13 4006381333931"_s}, {});
    item = world.store.items().first();
    ItemRow card({world.store, world.loader, world.permissions}, item,
        {.mode = ViewMode::compact, .availableWidth = 600}, std::make_shared<CardState>());
    card.show();
    card.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&card));

    TrayAvailability::pretend(true);
    card.findChild<QPushButton*>(u"pasteBarcodeButton"_s)->click();
    TrayAvailability::pretend(std::nullopt);
    EXPECT_FALSE(card.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return other.text() == u"4006381333931"_s; }, 5000))
        << other.text().toStdString();
}

// With a tray the window hides and comes back from there; without one it is minimised, keeping
// its task bar entry. Either way it comes back where it was.
TEST(FrontAppPaste, TheWindowStepsAsideAndComesBackWhereItWas)
{
    for (const bool tray : {false, true}) {
        SCOPED_TRACE(tray ? "with a tray" : "without a tray");
        test::CardWorld world;
        ScreenItem item = world.add(ItemKind::photo, u"Ann"_s);
        world.store.setRecognition(item.id, {u"QR_CODE table 4"_s}, {});
        item = world.store.items().first();
        ItemRow card({world.store, world.loader, world.permissions}, item,
            {.mode = ViewMode::compact, .availableWidth = 600}, std::make_shared<CardState>());
        card.resize(700, 300);
        card.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&card));
        card.move(250, 127);
        ASSERT_TRUE(QTest::qWaitFor([&] { return card.pos() == QPoint(250, 127); }, 5000));

        TrayAvailability::pretend(tray);
        card.findChild<QPushButton*>(u"pasteBarcodeButton"_s)->click();
        TrayAvailability::pretend(std::nullopt);
        if (tray) {
            EXPECT_FALSE(card.isVisible());
            card.show();
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return card.isMinimized(); }, 5000));
            EXPECT_TRUE(card.isVisible()) << "a minimised window keeps its task bar entry";
            card.setWindowState(card.windowState() & ~Qt::WindowMinimized);
            card.show();
        }
        card.raise();
        card.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&card));
        EXPECT_TRUE(QTest::qWaitFor([&] { return card.pos() == QPoint(250, 127); }, 5000))
            << card.pos().x() << "," << card.pos().y();
    }
}
