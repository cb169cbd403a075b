#include "platform/atomic_file.h"
#include "platform/defaults.h"
#include "platform/notification_center.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using vesker::platform::Defaults;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

TEST(Defaults, ValuesOfTheWrongTypeReadAsTheirDefault)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("d.json"));
    writeAll(path, R"({"flag": "false", "realFlag": false, "port": "8080", "half": 1.5,
                       "whole": 8787, "name": 7, "list": ["a", 1], "map": {"a": "b", "c": 2},
                       "goodMap": {"mum": "quiet"}})");
    Defaults d(path);
    // A string "false" must not read as a set flag (the INI format's trap).
    EXPECT_TRUE(d.boolValue(QStringLiteral("flag"), true));
    EXPECT_FALSE(d.boolValue(QStringLiteral("realFlag"), true));
    EXPECT_EQ(d.integer(QStringLiteral("port"), 1), 1);
    EXPECT_EQ(d.integer(QStringLiteral("half"), 1), 1);
    EXPECT_EQ(d.integer(QStringLiteral("whole"), 1), 8787);
    EXPECT_EQ(d.string(QStringLiteral("name"), QStringLiteral("x")), QStringLiteral("x"));
    EXPECT_TRUE(d.stringList(QStringLiteral("list")).isEmpty());
    EXPECT_TRUE(d.stringMap(QStringLiteral("map")).isEmpty());
    EXPECT_EQ(d.stringMap(QStringLiteral("goodMap")).value(QStringLiteral("mum")),
        QStringLiteral("quiet"));
    EXPECT_EQ(d.string(QStringLiteral("missing"), QStringLiteral("dflt")), QStringLiteral("dflt"));
}

TEST(Defaults, EveryWriteIsOnDiskAndAnnounced)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/d.json"));
    Defaults d(path);
    QSignalSpy spy(&d, &Defaults::changed);
    d.set(QStringLiteral("a"), true);
    d.setStringList(QStringLiteral("b"), {QStringLiteral("x")});
    d.setBytes(QStringLiteral("c"), QByteArray("\x00\xff", 2));
    d.set(QStringLiteral("a"), true); // unchanged: no write, no signal
    d.remove(QStringLiteral("missing"));
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("a"));

    Defaults reread(path);
    EXPECT_TRUE(reread.boolValue(QStringLiteral("a"), false));
    EXPECT_EQ(reread.stringList(QStringLiteral("b")), QStringList {QStringLiteral("x")});
    EXPECT_EQ(reread.bytes(QStringLiteral("c")), QByteArray("\x00\xff", 2));
    // Bytes never read back as text.
    EXPECT_TRUE(reread.string(QStringLiteral("c")).isEmpty());
}

TEST(Defaults, AnUnreadableFileIsKeptAsideBeforeTheFirstWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("d.json"));
    writeAll(path, "{ not json");
    Defaults d(path);
    EXPECT_FALSE(d.contains(QStringLiteral("x")));
    EXPECT_EQ(readAll(path), QByteArray("{ not json")); // loading alone changes nothing
    d.set(QStringLiteral("x"), 1);
    const QStringList kept
        = QDir(dir.path()).entryList({QStringLiteral("d.json.unreadable-*")}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(readAll(dir.filePath(kept.first())), QByteArray("{ not json"));
    EXPECT_EQ(Defaults(path).integer(QStringLiteral("x"), 0), 1);
}

TEST(AtomicFile, KeepAsideNeverOverwritesAnEarlierCopy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("index.json"));
    const QDateTime when(QDate(2025, 3, 1), QTime(9, 30), Qt::UTC);
    writeAll(path, "first");
    const QString first = vesker::platform::keepAside(path, when);
    writeAll(path, "second");
    const QString second = vesker::platform::keepAside(path, when);
    EXPECT_TRUE(first.endsWith(QStringLiteral("index.json.unreadable-2025-03-01T09-30-00Z")));
    EXPECT_NE(first, second);
    EXPECT_EQ(readAll(first), QByteArray("first"));
    EXPECT_EQ(readAll(second), QByteArray("second"));
    EXPECT_TRUE(vesker::platform::keepAside(path, when).isEmpty()); // nothing left to keep
}

TEST(NotificationCenter, ObserversHearOnlyTheirNameAndOnlyWhileTheyLive)
{
    using vesker::platform::NotificationCenter;
    QList<QVariant> heard;
    auto receiver = std::make_unique<QObject>();
    NotificationCenter::shared().observe(QString::fromLatin1(vesker::platform::kCaptureAndSend),
        receiver.get(), [&heard](const QVariant& object) { heard.append(object); });
    NotificationCenter::shared().post(QString::fromLatin1(vesker::platform::kPasteAndSend));
    NotificationCenter::shared().post(
        QString::fromLatin1(vesker::platform::kCaptureAndSend), QStringLiteral("/tmp/a.png"));
    receiver.reset();
    NotificationCenter::shared().post(QString::fromLatin1(vesker::platform::kCaptureAndSend));
    EXPECT_EQ(heard, QList<QVariant> {QStringLiteral("/tmp/a.png")});
}
