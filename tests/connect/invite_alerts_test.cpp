#include "connect/invite_alerts_view.h"
#include "connect/invite_handler.h"

#include <QWidget>

#include <gtest/gtest.h>

using namespace vesker;

TEST(InviteAlerts, ASecondResultIsShownWhileTheFirstIsOpen)
{
    QWidget window;
    window.show();
    InviteHandler invites;
    InviteAlerts alerts(invites, &window);
    invites.publishResult(QStringLiteral("First outcome"));
    ASSERT_NE(alerts.resultAlert(), nullptr);
    invites.publishResult(QStringLiteral("Second outcome"));

    ASSERT_TRUE(invites.result());
    EXPECT_EQ(*invites.result(), QStringLiteral("Second outcome"));
    ASSERT_NE(alerts.resultAlert(), nullptr);
    EXPECT_TRUE(alerts.resultAlert()->informativeText().contains(QStringLiteral("Second outcome")));

    alerts.resultAlert()->done(QMessageBox::Ok);
    EXPECT_FALSE(invites.result()) << "read once it is closed";
}
