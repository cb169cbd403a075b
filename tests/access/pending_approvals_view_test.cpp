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

TEST(PendingApprovalsView, AFloodOfDevicesShowsAFewCardsAndACount)
{
    QTemporaryDir dir;
    ManualClock clock;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")), clock);
    defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("ask"));
    AccessManager access(defaults, clock);
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
// their buttons right after the controls above them, as they are seen.
TEST(PendingApprovalsView, TabReachesTheCardsBeforeWhatIsBelowThem)
{
    QTemporaryDir dir;
    ManualClock clock;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")), clock);
    defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("ask"));
    AccessManager access(defaults, clock);
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* above = new QPushButton(QStringLiteral("Above"), &window);
    column->addWidget(above);
    column->addWidget(new PendingApprovalsView(access, &window));
    column->addWidget(new QPushButton(QStringLiteral("Below"), &window));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    ASSERT_EQ(access.enqueue({.id = QUuid::createUuid(),
                  .deviceID = QStringLiteral("phone"),
                  .deviceName = QStringLiteral("Ana's phone"),
                  .receivedAt = clock.now()}),
        std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const auto buttons = window.findChildren<QPushButton*>();
        return std::any_of(buttons.begin(), buttons.end(),
            [](const QPushButton* b) { return b->text() == "Once" && b->isVisible(); });
    }));
    QStringList reached;
    above->setFocus();
    for (int press = 0; press < 7; ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
        reached.append(button ? button->text() : QString());
    }
    EXPECT_EQ(
        reached, QStringList({"Once", "30 min", "1 day", "Always", "Deny", "Block", "Below"}));
}
