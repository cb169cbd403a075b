// "Paste into front app" on a real X display: the value is typed into the window the user had
// before ours.
#include "card/item_row.h"
#include "card_fixture.h"

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

    card.findChild<QPushButton*>(u"pasteBarcodeButton"_s)->click();
    EXPECT_FALSE(card.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return other.text() == u"4006381333931"_s; }, 5000))
        << other.text().toStdString();
}
