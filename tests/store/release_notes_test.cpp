#include "store/whats_new.h"

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

TEST(WhatsNew, NotesAreFoundByExactVersionOnly)
{
    // Otherwise an upgrade to this version would show no what's-new card.
    EXPECT_TRUE(WhatsNew::notes(QStringLiteral(VESKER_VERSION)));
    for (const QString& missing : {u"1.11.4 "_s, u"1.11.04"_s, u"1.2"_s, u""_s, u"1"_s})
        EXPECT_FALSE(WhatsNew::notes(missing)) << missing.toStdString();
}
