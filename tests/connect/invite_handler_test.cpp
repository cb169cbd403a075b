// Which opened links the invite handler takes as invitations.
#include "connect/invite_handler.h"
#include "connect/invite_links.h"
#include "platform/service_hosts.h"

#include <gtest/gtest.h>

using namespace vesker;

TEST(InviteHandler, TakesOnlyLinksOfThisProgramOrOfTheInviteServiceItself)
{
    const QString host = QString::fromLatin1(kInviteServiceHost);
    const struct {
        QString link;
        bool taken;
    } rows[] {
        {"vesker://invite/ABCD-EFGH", true},
        {"vesker://invite/", false},
        {"https://" + host + "/i/AB12CD34", true},
        {"https://" + host.toUpper() + "/i/AB12CD34", true},
        {"https://" + host + ":443/i/AB12CD34", true},
        {"https://" + host + "/i/AB12CD34?from=mail#top", true},
        {"https://" + host + "/i/", false},
        {"https://" + host + "/x/i/AB12CD34", false},
        {"https://" + host + ":8443/i/AB12CD34", false},
        {"http://" + host + "/i/AB12CD34", false},
        {"https://shop.example/i/AB12CD34", false},
        {"https://" + host + ".shop.example/i/AB12CD34", false},
        {"https://" + host + "@shop.example/i/AB12CD34", false},
        {"https://someone@" + host + "/i/AB12CD34", false},
        {"https://" + host + ":pass@shop.example/i/AB12CD34", false},
        {"https://shop.example/?next=https://" + host + "/i/AB12CD34", false},
        {"https://shop.example/i/vesker://invite/ABCD", false},
    };
    for (const auto& [link, taken] : rows) {
        SCOPED_TRACE(link.toStdString());
        InviteHandler invites;
        invites.handle(link, QStringLiteral("Desk"));
        EXPECT_EQ(invites.pending().has_value(), taken);
        EXPECT_EQ(InviteLinks::isInviteLink(link), taken);
        // The same link inside a message is offered as a link exactly when it would be taken.
        const std::optional<QUrl> found
            = InviteLinks::extract(QStringLiteral("join me: ") + link + QStringLiteral(" thanks"));
        EXPECT_EQ(found.has_value(), taken);
    }
}
