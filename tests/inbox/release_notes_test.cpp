#include "inbox/app_version.h"
#include "inbox/whats_new.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

TEST(WhatsNew, NotesAreFoundByExactVersionOnly)
{
    // Otherwise an upgrade to this version would show no what's-new card.
    EXPECT_TRUE(WhatsNew::notes(QStringLiteral(VESKER_VERSION)));
    EXPECT_TRUE(WhatsNew::notes(u"1.11.2"_s)->startsWith(u"Speed review"_s));
    EXPECT_EQ(WhatsNew::notes(u"1.0"_s), u"First release."_s);
    for (const QString& missing : {u"1.11.4 "_s, u"1.11.04"_s, u"1.2"_s, u""_s, u"1"_s})
        EXPECT_FALSE(WhatsNew::notes(missing)) << missing.toStdString();
}

TEST(AppVersion, ABuildWithoutVersionReportsOnePointZero)
{
    const QString saved = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QString());
    EXPECT_EQ(AppVersion::current(), u"1.0"_s);
    QCoreApplication::setApplicationVersion(u"1.11.4"_s);
    EXPECT_EQ(AppVersion::current(), u"1.11.4"_s);
    QCoreApplication::setApplicationVersion(saved);
}
