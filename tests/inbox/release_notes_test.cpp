#include "inbox/app_version.h"
#include "inbox/whats_new.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace vesker;

TEST(WhatsNew, NotesAreFoundByExactVersionOnly)
{
    ASSERT_TRUE(WhatsNew::notes(QStringLiteral("1.11.4")));
    EXPECT_TRUE(
        WhatsNew::notes(QStringLiteral("1.11.2"))->startsWith(QStringLiteral("Speed review")));
    EXPECT_EQ(WhatsNew::notes(QStringLiteral("1.0")), QStringLiteral("First release."));
    for (const char* missing : {"1.11.4 ", "1.11.04", "1.2", "", "1"})
        EXPECT_FALSE(WhatsNew::notes(QString::fromLatin1(missing))) << missing;
}

TEST(AppVersion, ABuildWithoutVersionReportsOnePointZero)
{
    const QString saved = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QString());
    EXPECT_EQ(AppVersion::current(), QStringLiteral("1.0"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.11.4"));
    EXPECT_EQ(AppVersion::current(), QStringLiteral("1.11.4"));
    QCoreApplication::setApplicationVersion(saved);
}

TEST(AppVersion, TheProgramVersionHasReleaseNotes)
{
    // Otherwise an upgrade to this version would show no what's-new card.
    EXPECT_TRUE(WhatsNew::notes(QStringLiteral(VESKER_VERSION)));
}
