#include "access/access_manager.h"
#include "access/pending_approvals_view.h"
#include "platform/defaults.h"
#include "support/manual_clock.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
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

} // namespace

TEST(PendingApprovalsView, AFloodOfDevicesShowsAFewCardsAndACount)
{
    AskingAccess asking;
    AccessManager& access = asking.access;
    const ManualClock& clock = asking.clock;
    PendingApprovalsView view(access);
    view.show();

    const auto titles = [&] {
        QStringList texts;
        for (auto* label : view.findChildren<QLabel*>(QStringLiteral("approvalTitle")))
            if (!label->parentWidget()->parentWidget()->isHidden())
                texts.append(label->text());
        return texts;
    };
    const auto more = [&] {
        auto* label = view.findChild<QLabel*>(QStringLiteral("approvalMore"));
        return label && !label->parentWidget()->isHidden() ? label->text() : QString();
    };
    const struct {
        int devices;
        int cards;
        QString more;
    } cases[] = {{1, 1, {}}, {3, 3, {}}, {4, 3, "1 more waiting"}, {50, 3, "47 more waiting"}};
    int held = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.devices);
        for (; held < c.devices; ++held) {
            const QString device = QStringLiteral("device-%1").arg(held);
            ASSERT_EQ(access.enqueue({.id = QUuid::createUuid(),
                          .deviceID = device,
                          .deviceName = device,
                          .receivedAt = clock.now(),
                          .note = device}),
                std::nullopt);
        }
        QTest::qWaitFor([&] { return titles().size() == c.cards && more() == c.more; }, 2000);
        EXPECT_EQ(titles().size(), c.cards);
        EXPECT_EQ(more(), c.more);
        EXPECT_EQ(titles().first(), "device-0 wants to send something");
    }
    access.deny(QStringLiteral("device-0"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !titles().isEmpty() && titles().first().startsWith("device-1 "); }, 2000));
    EXPECT_EQ(more(), "46 more waiting");
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
