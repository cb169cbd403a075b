#include "platform/atomic_file.h"
#include "platform/defaults.h"
#include "support/manual_clock.h"
#include "support/temp_env.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker::platform;
using namespace Qt::Literals::StringLiterals;
using vesker::test::fileBytes;

namespace {
const vesker::test::ManualClock kClock;
} // namespace

TEST(Defaults, ValuesOfTheWrongTypeReadAsTheirDefault)
{
    QTemporaryDir dir;
    writeFileAtomically(
        dir.filePath(u"d.json"_s), R"({"flag": "false", "realFlag": false, "port": "8080",
        "half": 1.5, "whole": -9223372036854775807, "huge": 1e19, "name": 7, "list": ["a", 1], "map": {"a": "b", "c": 2},
        "goodMap": {"mum": "quiet"}})");
    Defaults d(dir.filePath(u"d.json"_s), kClock);
    // A string "false" must not read as a set flag (the INI format's trap).
    EXPECT_TRUE(d.boolValue(u"flag"_s, true));
    EXPECT_FALSE(d.boolValue(u"realFlag"_s, true));
    EXPECT_EQ(d.integer(u"port"_s, 1), 1);
    EXPECT_EQ(d.integer(u"half"_s, 1), 1);
    EXPECT_EQ(d.integer(u"whole"_s, 1), -9223372036854775807LL);
    EXPECT_EQ(d.integer(u"huge"_s, 1), 1);
    EXPECT_EQ(d.string(u"name"_s, u"x"_s), u"x"_s);
    EXPECT_TRUE(d.stringList(u"list"_s).isEmpty());
    EXPECT_TRUE(d.stringMap(u"map"_s).isEmpty());
    EXPECT_EQ(d.stringMap(u"goodMap"_s).value(u"mum"_s), u"quiet"_s);
}

TEST(Defaults, EveryWriteIsOnDiskAndAnnouncedOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"sub/d.json"_s);
    Defaults d(path, kClock);
    QSignalSpy spy(&d, &Defaults::changed);
    d.set(u"a"_s, true);
    d.setStringList(u"b"_s, {u"x"_s});
    d.setBytes(u"c"_s, QByteArray("\x00\xff", 2));
    d.set(u"a"_s, true); // unchanged: no write, no signal
    d.remove(u"missing"_s);
    EXPECT_EQ(spy.count(), 3);

    Defaults reread(path, kClock);
    EXPECT_TRUE(reread.boolValue(u"a"_s, false));
    EXPECT_EQ(reread.stringList(u"b"_s), QStringList {u"x"_s});
    EXPECT_EQ(reread.bytes(u"c"_s), QByteArray("\x00\xff", 2));
    EXPECT_TRUE(reread.string(u"c"_s).isEmpty()) << "bytes never read back as text";
}

TEST(Defaults, AnUnreadableFileIsKeptAsideBeforeTheFirstWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"d.json"_s);
    writeFileAtomically(path, "{ not json");
    Defaults d(path, kClock);
    EXPECT_FALSE(d.contains(u"x"_s));
    EXPECT_EQ(fileBytes(path), "{ not json") << "loading alone changes nothing";
    d.set(u"x"_s, 1);
    const QStringList kept = QDir(dir.path()).entryList({u"d.json.unreadable-*"_s});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(fileBytes(dir.filePath(kept.first())), "{ not json");
    EXPECT_EQ(Defaults(path, kClock).integer(u"x"_s, 0), 1);
}

TEST(AtomicFile, KeepAsideNeverOverwritesAnEarlierCopy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"index.json"_s);
    const QDateTime when(QDate(2025, 3, 1), QTime(9, 30), Qt::UTC);
    writeFileAtomically(path, "first");
    const QString first = keepAside(path, when);
    writeFileAtomically(path, "second");
    const QString second = keepAside(path, when);
    EXPECT_TRUE(first.endsWith(u"index.json.unreadable-2025-03-01T09-30-00Z"_s));
    EXPECT_NE(first, second);
    EXPECT_EQ(fileBytes(first), "first");
    EXPECT_EQ(fileBytes(second), "second");
    EXPECT_TRUE(keepAside(path, when).isEmpty()) << "nothing left to keep";
}
