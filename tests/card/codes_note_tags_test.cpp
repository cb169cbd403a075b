// What a card shows of a photo's codes and recognised text, and how its note and tags reach
// the store.
#include "card/item_row.h"
#include "card_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

struct CodesNoteTagsTest : ::testing::Test {
    test::CardWorld world;
    std::shared_ptr<CardState> state = std::make_shared<CardState>();

    std::unique_ptr<ItemRow> card(const ScreenItem& item, ViewMode mode = ViewMode::compact)
    {
        const CardServices services {world.store, world.loader, world.permissions};
        auto row = std::make_unique<ItemRow>(
            services, item, ItemRowLayout {.mode = mode, .availableWidth = 600}, state);
        row->resize(700, row->heightForWidth(700));
        row->show();
        return row;
    }

    ScreenItem photo(const QStringList& barcodes, const QString& text)
    {
        ScreenItem item = world.add(ItemKind::photo, u"Ann"_s);
        world.store.setRecognition(item.id, barcodes, text);
        return stored(item.id);
    }

    ScreenItem stored(const QUuid& id) const
    {
        for (const ScreenItem& item : world.store.items())
            if (item.id == id)
                return item;
        return {};
    }

    static QList<QString> texts(const QWidget& parent, const QString& name)
    {
        QList<QString> found;
        for (const QLabel* label : parent.findChildren<QLabel*>(name))
            if (label->isVisibleTo(&parent))
                found.append(label->text());
        return found;
    }
};

} // namespace

TEST_F(CodesNoteTagsTest, BlockShowsPayloadsLiterallyAndTextFromTwelveCharacters)
{
    const struct {
        const char* name;
        QStringList barcodes;
        QString text;
        bool block;
        QStringList values;
        bool textRow;
    } rows[] = {
        {"no symbology name", {u"Code 128 <b>A&B</b>\nC"_s, u"plain"_s}, {}, true,
            {u"<b>A&B</b>\nC"_s, u"plain"_s}, false},
        {"eleven characters", {}, u"abcdefghijk"_s, false, {}, false},
        {"twelve characters", {}, u"abcdefghijkl"_s, true, {}, true},
    };
    for (const auto& row : rows) {
        const auto shown = card(photo(row.barcodes, row.text));
        const auto* block = shown->findChild<QWidget*>(u"recognisedBlock"_s);
        ASSERT_EQ(block != nullptr, row.block) << row.name;
        if (!block)
            continue;
        EXPECT_EQ(texts(*shown, u"barcodeValue"_s), row.values) << row.name;
        for (const QLabel* value : shown->findChildren<QLabel*>(u"barcodeValue"_s))
            EXPECT_EQ(value->textFormat(), Qt::PlainText);
        EXPECT_EQ(
            shown->findChild<QLabel*>(u"recognisedText"_s)->isVisibleTo(shown.get()), row.textRow)
            << row.name;
        if (!row.values.isEmpty()) {
            shown->findChild<QPushButton*>(u"copyBarcodeButton"_s)->click();
            EXPECT_EQ(QApplication::clipboard()->text(), row.values.first());
            EXPECT_TRUE(shown->findChild<QLabel*>(u"copiedLabel"_s)->isVisible());
        }
    }
}

TEST_F(CodesNoteTagsTest, MoreShowsEveryLineAndCopyTakesThemAll)
{
    const QString text = u"one\n\ntwo\nthree\nfour\nfive"_s;
    const auto row = card(photo({}, text), ViewMode::large);
    auto* shown = row->findChild<QLabel*>(u"recognisedText"_s);
    auto* more = row->findChild<QPushButton*>(u"moreTextButton"_s);
    auto* copy = row->findChild<QPushButton*>(u"copyRecognisedTextButton"_s);
    EXPECT_EQ(shown->text(), u"one\ntwo"_s);
    copy->click();
    EXPECT_EQ(QApplication::clipboard()->text(), text);

    more->click();
    EXPECT_EQ(shown->text(), text);
    EXPECT_EQ(more->text(), u"Less"_s);
    // The card made again for this item, scrolled back into view, keeps it open.
    const auto again = card(row->item(), ViewMode::large);
    EXPECT_EQ(again->findChild<QLabel*>(u"recognisedText"_s)->text(), text);

    more->click();
    EXPECT_EQ(shown->text(), u"one\ntwo"_s);
}

TEST_F(CodesNoteTagsTest, PasteWithoutXTestLeavesTheValueOnTheClipboardAndSaysSo)
{
    const auto row = card(photo({u"QR https://example.com/?a=1&b=2"_s}, {}));
    auto* paste = row->findChild<QPushButton*>(u"pasteBarcodeButton"_s);
    paste->click();
    EXPECT_EQ(QApplication::clipboard()->text(), u"https://example.com/?a=1&b=2"_s);
    EXPECT_TRUE(row->isVisible()) << "nothing to switch to: the window stays";
    const auto* hint = row->findChild<QLabel*>(u"pasteHint"_s);
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(), u"Copied — press Ctrl+V in the other app"_s);
}

TEST_F(CodesNoteTagsTest, TagsAreAddedInTypedOrderAndRemovedFromTheirChip)
{
    const QUuid id = world.add(ItemKind::text, u"Ann"_s, u"hi"_s).id;
    const auto row = card(stored(id));
    auto* input = row->findChild<QLineEdit*>(u"tagInput"_s);
    EXPECT_EQ(input->placeholderText(), u"add tag, press return"_s);
    const struct {
        QString typed;
        QStringList tags;
        QString left;
    } steps[] = {
        {u"<b>Milk</b>, B"_s, {u"<b>Milk</b>"_s, u"B"_s}, {}},
        {u" ,, \t"_s, {u"<b>Milk</b>"_s, u"B"_s}, u" ,, \t"_s},
        {u"b,\tR&D\t,r&d"_s, {u"<b>Milk</b>"_s, u"B"_s, u"R&D"_s}, {}},
    };
    for (const auto& step : steps) {
        input->setText(step.typed);
        QTest::keyClick(input, Qt::Key_Return);
        EXPECT_EQ(stored(id).tags, step.tags) << step.typed.toStdString();
        EXPECT_EQ(input->text(), step.left);
        row->setItem(stored(id), state);
    }
    EXPECT_EQ(texts(*row, u"tagText"_s), stored(id).tags);
    EXPECT_EQ(input->placeholderText(), u"add tag"_s);

    world.store.setTags({u"x"_s, u"B"_s}, id);
    row->setItem(stored(id), state);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    row->findChildren<QToolButton*>(u"removeTagButton"_s).first()->click();
    EXPECT_EQ(stored(id).tags, QStringList {u"B"_s});
}

// In a window 1100 wide the tag box runs far right of its field: a click anywhere in it is a
// click in the field, and what is typed next becomes a tag.
TEST_F(CodesNoteTagsTest, AClickAnywhereInTheTagBoxPutsTheCaretInItsField)
{
    const QUuid id = world.add(ItemKind::text, u"Ann"_s, u"hi"_s).id;
    const CardServices services {world.store, world.loader, world.permissions};
    ItemRow row(services, stored(id),
        ItemRowLayout {.mode = ViewMode::large, .availableWidth = 1040}, state);
    row.resize(1100, row.heightForWidth(1100));
    row.show();
    row.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&row));
    auto* input = row.findChild<QLineEdit*>(u"tagInput"_s);
    auto* note = row.findChild<QPlainTextEdit*>(u"noteField"_s);
    const QWidget* box = input->parentWidget()->parentWidget();
    const QRect inBox(box->mapTo(&row, QPoint(0, 0)), box->size());
    const int y = inBox.center().y();

    QStringList typed;
    for (const int x : {inBox.left() + 3, 700, 800, 900, inBox.right() - 3}) {
        SCOPED_TRACE(x);
        ASSERT_TRUE(inBox.contains(x, y));
        note->setFocus();
        QWidget* under = row.childAt(x, y);
        ASSERT_NE(under, nullptr);
        QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(&row, QPoint(x, y)));
        EXPECT_EQ(QApplication::focusWidget(), input);
        const QString tag = u"t"_s + QString::number(x);
        QTest::keyClicks(QApplication::focusWidget(), tag);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        typed.append(tag);
        EXPECT_EQ(stored(id).tags, typed);
        EXPECT_TRUE(note->toPlainText().isEmpty());
        row.setItem(stored(id), state);
    }
}
