#include "access/access_manager.h"
#include "access/pending_approvals_view.h"
#include "platform/defaults.h"
#include "support/manual_clock.h"
#include "support/picture_formats.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace vesker;
using namespace vesker::test;

namespace {

// Every new device waits for an answer.
struct AskingAccess {
    AskingAccess() { defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("ask")); }

    QTemporaryDir dir;
    ManualClock clock;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json")), clock};
    AccessManager access {defaults, clock};
};

// The stack of cards and what it shows: the headlines of the cards in view, top to bottom.
struct Stack {
    explicit Stack(QWidget& banner)
        : area(banner.findChild<QAbstractScrollArea*>(QStringLiteral("approvalStack")))
    { }

    bool inView(const QWidget* widget) const
    {
        const QRect shown(widget->mapTo(area->viewport(), QPoint()), widget->size());
        return widget->isVisible() && area->viewport()->rect().contains(shown);
    }
    QStringList titles() const
    {
        QList<std::pair<int, QString>> placed;
        for (auto* label : area->findChildren<QLabel*>(QStringLiteral("approvalTitle"))) {
            if (inView(label->parentWidget()))
                placed.append({label->mapTo(area, QPoint()).y(), label->text()});
        }
        std::sort(placed.begin(), placed.end());
        QStringList texts;
        for (const auto& [y, text] : placed)
            texts.append(text);
        return texts;
    }
    // Card widgets that exist, in view or not.
    qsizetype made() const
    {
        qsizetype cards = 0;
        for (const QWidget* card : area->findChildren<QWidget*>(QStringLiteral("approvalCard")))
            cards += card->isHidden() ? 0 : 1;
        return cards;
    }
    // Scrolls down until the card with this headline is in view, as a person looking for it.
    QWidget* scrollTo(const QString& title) const
    {
        QScrollBar* bar = area->verticalScrollBar();
        for (bar->setValue(0);; bar->setValue(bar->value() + bar->singleStep())) {
            QApplication::processEvents();
            for (auto* label : area->findChildren<QLabel*>(QStringLiteral("approvalTitle"))) {
                if (label->text() == title && inView(label->parentWidget()))
                    return label->parentWidget();
            }
            if (bar->value() == bar->maximum())
                return nullptr;
        }
    }

    QAbstractScrollArea* area;
};

std::optional<HoldRefusal> ask(AskingAccess& asking, const QString& device)
{
    return asking.access.enqueue({.id = QUuid::createUuid(),
        .deviceID = device,
        .deviceName = device,
        .receivedAt = asking.clock.now(),
        .note = device});
}

QStringList waitingDevices(const AccessManager& access)
{
    QStringList devices;
    for (const PendingGroup& group : access.pendingGroups())
        devices.append(group.deviceID);
    return devices;
}

// Cards in the order of the devices, each with a number; a flood of any size.
class CountedBanner : public ApprovalBanner {
public:
    explicit CountedBanner(qsizetype devices)
    {
        for (qsizetype i = 0; i < devices; ++i)
            m_keys.append(QStringLiteral("device-%1").arg(i));
        scheduleRebuild();
    }

    qsizetype asked = 0; // cards made by the banner, over its life

protected:
    QStringList waitingKeys() override { return m_keys; }
    QList<ApprovalCardContent> cards(qsizetype first, qsizetype count) override
    {
        QList<ApprovalCardContent> contents;
        for (const QString& key : m_keys.mid(first, count)) {
            contents.append({.tint = QColor(255, 204, 0, 38),
                .leading = new QLabel,
                .headline = key,
                .detail = QStringLiteral("Allow this device?"),
                .allow = [](GrantDuration) {},
                .deny = [] {},
                .block = [] {},
                .key = key});
        }
        asked += contents.size();
        return contents;
    }

private:
    QStringList m_keys;
};

} // namespace

TEST(PendingApprovalsView, EveryWaitingDeviceHasACardAFewInViewAndTheRestScrolledTo)
{
    AskingAccess asking;
    PendingApprovalsView view(asking.access);
    view.resize(900, 400);
    view.show();
    const Stack stack(view);
    ASSERT_NE(stack.area, nullptr);
    // Made: the rows seen, one more cut at each edge while scrolling, and one made each side.
    const auto mostMade = [](int inView) { return inView + 4; };

    const struct {
        int devices;
        int inView;
    } cases[] = {{1, 1}, {3, 3}, {4, 3}, {int(kMaxWaitingDevices), 3}};
    int held = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.devices);
        for (; held < c.devices; ++held)
            ASSERT_EQ(ask(asking, QStringLiteral("device-%1").arg(held)), std::nullopt);
        ASSERT_TRUE(QTest::qWaitFor([&] { return stack.titles().size() == c.inView; }, 2000))
            << stack.titles().join(", ").toStdString();
        EXPECT_EQ(stack.titles().first(), "device-0 wants to send something");
        // No card holds the focus here: a focused card would stay made, with its neighbours.
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
        EXPECT_LE(stack.made(), mostMade(c.inView));
        const QString last = QStringLiteral("device-%1 wants to send something").arg(held - 1);
        EXPECT_NE(stack.scrollTo(last), nullptr);
        EXPECT_EQ(stack.titles().size(), c.inView);
        EXPECT_LE(stack.made(), mostMade(c.inView));
        stack.area->verticalScrollBar()->setValue(0);
    }
    asking.access.deny(QStringLiteral("device-0"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return stack.titles().value(0).startsWith("device-1 "); }, 2000));
    EXPECT_NE(stack.scrollTo("device-49 wants to send something"), nullptr);
}

// What a device nobody allowed yet holds up is decoded as every stored photo is: a palette PNG
// and a 16-bit CMYK TIFF show their picture; a bomb past the pixel budget shows the placeholder,
// refused from its header before it takes its pixels' memory.
TEST(PendingApprovalsView, HeldPhotosShowTheirPictureAndABombItsPlaceholder)
{
    // As after a picture of the whole budget at 16 bits a channel: Qt's own limit stops no bomb.
    QImageReader::setAllocationLimit(1024);
    QByteArray forged = test::blackGreyPng(1, 1);
    qToBigEndian<quint32>(60000, forged.data() + 16);
    qToBigEndian<quint32>(60000, forged.data() + 20);
    qToBigEndian<quint32>(test::crc32(forged.mid(12, 17)), forged.data() + 29);
    const QImage picture = test::markedPicture(200, 120);
    // The bombs first: the pictures after them show once the bombs were dealt with.
    const struct {
        const char* device;
        QByteArray bytes;
        bool shown;
    } rows[] = {
        {"bomb", test::blackGreyPng(8200, 8000), false},
        {"forged", forged, false},
        {"palette", test::encoded(picture.convertToFormat(QImage::Format_Indexed8), "png"), true},
        {"cmyk", test::tiffBytes(picture, test::TiffModel::cmyk, 16), true},
    };
    AskingAccess asking;
    PendingApprovalsView view(asking.access);
    view.resize(900, 400);
    view.show();
    const Stack stack(view);
    for (const auto& row : rows) {
        const QString device = QString::fromLatin1(row.device);
        ASSERT_EQ(asking.access.enqueue({.id = QUuid::createUuid(),
                      .deviceID = device,
                      .deviceName = device,
                      .receivedAt = asking.clock.now(),
                      .imageData = row.bytes,
                      .fileExtension = QStringLiteral("png")}),
            std::nullopt);
    }
    const auto showsPicture = [&](const char* device) {
        const QWidget* card = stack.scrollTo(QLatin1String(device) + " wants to send something");
        const auto* preview
            = card ? card->findChild<QLabel*>(QStringLiteral("approvalPreview")) : nullptr;
        return preview && preview->accessibleName().isEmpty();
    };
    for (const auto& row : rows) {
        if (row.shown)
            EXPECT_TRUE(QTest::qWaitFor([&] { return showsPicture(row.device); }, 30000))
                << row.device;
    }
    for (const auto& row : rows) {
        if (!row.shown)
            EXPECT_FALSE(showsPicture(row.device)) << row.device;
    }
}

// A few made-up devices in front of a real phone do not hold it back: it is answered first.
TEST(PendingApprovalsView, FiveWaitingDevicesAreAnsweredLastFirst)
{
    AskingAccess asking;
    PendingApprovalsView view(asking.access);
    view.resize(900, 400);
    view.show();
    const Stack stack(view);
    ASSERT_NE(stack.area, nullptr);
    QStringList waiting;
    for (int phone = 1; phone <= 5; ++phone) {
        waiting.append(QStringLiteral("phone-%1").arg(phone));
        ASSERT_EQ(ask(asking, waiting.last()), std::nullopt);
    }
    const struct {
        const char* device;
        const char* button;
    } answers[] = {{"phone-5", "Once"}, {"phone-4", "Always"}, {"phone-3", "Deny"},
        {"phone-2", "Block"}, {"phone-1", "30 min"}};
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.device);
        const QString device = QString::fromLatin1(answer.device);
        QWidget* card = nullptr;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return (card = stack.scrollTo(device + " wants to send something")); }, 2000));
        QPushButton* button = nullptr;
        for (auto* found : card->findChildren<QPushButton*>())
            button = found->text() == answer.button ? found : button;
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(stack.inView(button));
        QTest::mouseClick(button, Qt::LeftButton);
        waiting.removeOne(device);
        EXPECT_EQ(waitingDevices(asking.access), waiting);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return stack.scrollTo(device + " wants to send something") == nullptr; }, 2000));
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.isHidden(); }, 2000));
    EXPECT_TRUE(asking.access.deviceStatus(QStringLiteral("phone-4")).approved);
    EXPECT_TRUE(asking.access.deviceStatus(QStringLiteral("phone-3")).denied);
    ASSERT_EQ(asking.access.blocked().size(), 1);
    EXPECT_EQ(asking.access.blocked().first().deviceID, "phone-2");
}

// However many wait, the stack makes cards only for the few rows in view as it scrolls through.
TEST(PendingApprovalsView, AFloodMakesCardsOnlyForTheRowsInView)
{
    CountedBanner banner(500);
    banner.resize(900, 400);
    banner.show();
    const Stack stack(banner);
    ASSERT_TRUE(QTest::qWaitFor([&] { return stack.titles().size() == 3; }, 2000));
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
    QScrollBar* bar = stack.area->verticalScrollBar();
    qsizetype most = 0;
    for (int at = 0; at <= bar->maximum(); at += bar->pageStep() / 2) {
        bar->setValue(at);
        QApplication::processEvents();
        most = std::max(most, stack.made());
        ASSERT_FALSE(stack.titles().isEmpty()) << at;
    }
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    EXPECT_EQ(stack.titles().last(), "device-499");
    EXPECT_LE(most, ApprovalBanner::kShownCards + 4);
    // Each card is made about once on the way down, not the whole list at every step.
    EXPECT_LE(banner.asked, 2 * 500);
}

// The cards are made when a device asks, long after the Inbox below them; Tab still reaches
// their buttons right after the controls above them, as they are seen. Another device asking
// leaves the focus where it is; answering one gives it back above the cards, so that a second
// key press answers for no other device.
TEST(PendingApprovalsView, TabReachesTheCardsWhereTheyAreSeenAndAnAnswerLeavesNoOtherFocused)
{
    AskingAccess asking;
    AccessManager& access = asking.access;
    const ManualClock& clock = asking.clock;
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* above = new QPushButton(QStringLiteral("Above"), &window);
    column->addWidget(above);
    column->addWidget(new PendingApprovalsView(access, &window));
    column->addWidget(new QPushButton(QStringLiteral("Below"), &window));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    const auto ask = [&](const QString& device) {
        return access.enqueue({.id = QUuid::createUuid(),
            .deviceID = device,
            .deviceName = device,
            .receivedAt = clock.now()});
    };
    const auto onceButtons = [&] {
        qsizetype shown = 0;
        for (const QPushButton* button : window.findChildren<QPushButton*>())
            shown += button->text() == "Once" && button->isVisible() ? 1 : 0;
        return shown;
    };
    const auto focused = [] {
        const auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
        return button ? button->text() : QString();
    };
    const auto press = [](Qt::Key key, int times) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(QApplication::focusWidget(), key);
    };
    ASSERT_EQ(ask(QStringLiteral("phone-1")), std::nullopt);
    ASSERT_EQ(ask(QStringLiteral("phone-2")), std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return onceButtons() == 2; }));
    QStringList reached;
    above->setFocus();
    for (int tab = 0; tab < 13; ++tab) {
        press(Qt::Key_Tab, 1);
        reached.append(focused());
    }
    EXPECT_EQ(reached,
        QStringList({"Once", "30 min", "1 day", "Always", "Deny", "Block", "Once", "30 min",
            "1 day", "Always", "Deny", "Block", "Below"}));

    above->setFocus();
    press(Qt::Key_Tab, 6);
    ASSERT_EQ(focused(), "Block");
    ASSERT_EQ(ask(QStringLiteral("phone-3")), std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return onceButtons() == 3; }));
    EXPECT_EQ(focused(), "Block");
    press(Qt::Key_Tab, 1);
    EXPECT_EQ(focused(), "Once"); // the second card's: the first's Block kept its place

    press(Qt::Key_Backtab, 6);
    ASSERT_EQ(focused(), "Once");
    press(Qt::Key_Space, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return onceButtons() == 2; }));
    EXPECT_EQ(focused(), "Above");
}

// Tab walks on past the cards in view to every waiting device's buttons, and the stack scrolls
// so that the focused button can be seen; Shift+Tab walks back the same way.
TEST(PendingApprovalsView, TabReachesEveryWaitingDeviceAndTheStackFollowsTheFocus)
{
    AskingAccess asking;
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* above = new QPushButton(QStringLiteral("Above"), &window);
    column->addWidget(above);
    auto* view = new PendingApprovalsView(asking.access, &window);
    column->addWidget(view);
    column->addWidget(new QPushButton(QStringLiteral("Below"), &window));
    window.resize(900, 500);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (int phone = 1; phone <= 5; ++phone)
        ASSERT_EQ(ask(asking, QStringLiteral("phone-%1").arg(phone)), std::nullopt);
    const Stack stack(*view);
    ASSERT_TRUE(QTest::qWaitFor([&] { return stack.titles().size() == 3; }));

    // Which button has the focus, on which device's card, and whether it can be seen.
    const auto focused = [&] {
        auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
        if (!button)
            return QString();
        const auto* title = button->parentWidget()->findChild<QLabel*>(
            QStringLiteral("approvalTitle"), Qt::FindDirectChildrenOnly);
        return (title ? title->text().section(u' ', 0, 0) + u' ' : QString()) + button->text()
            + (title && !stack.inView(button) ? QStringLiteral(" (hidden)") : QString());
    };
    const QStringList buttons {"Once", "30 min", "1 day", "Always", "Deny", "Block"};
    QStringList expected;
    for (int phone = 1; phone <= 5; ++phone) {
        for (const QString& button : buttons)
            expected.append(QStringLiteral("phone-%1 %2").arg(phone).arg(button));
    }
    above->setFocus();
    QStringList reached;
    for (int tab = 0; tab <= expected.size(); ++tab) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QApplication::processEvents();
        reached.append(focused());
    }
    EXPECT_EQ(reached, expected + QStringList {"Below"});

    reached.clear();
    for (int tab = 0; tab <= expected.size(); ++tab) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QApplication::processEvents();
        reached.append(focused());
    }
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(reached, expected + QStringList {"Above"});
}
