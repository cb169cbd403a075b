// The store's files as a start finds them: after kills in the middle of moves, with files of the
// person's own in its folders, with an index it cannot read, and with records a cleanup must tell
// apart.
#include "harness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QThread>

#include <atomic>
#include <csignal>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vesker::e2e;
using ::testing::IsEmpty;

namespace {

// Every file under the store with its bytes, by path inside it.
QMap<QString, QByteArray> storeFiles(const Vesker& vesker)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(vesker.store(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path.mid(vesker.store().size()), vesker::test::fileBytes(path));
    }
    return files;
}

// What is wrong between the records and the item folders: a record whose file is missing from
// the folder its status names, or a file no record names.
QStringList mismatches(const Vesker& vesker)
{
    QStringList wrong;
    QSet<QString> named;
    for (const QJsonValue& record : vesker.index()) {
        const QString folder = record["status"].toString() == "archived" ? "Archive/" : "Inbox/";
        const QString path = folder + record["filename"].toString();
        named.insert(path);
        if (!QFileInfo::exists(vesker.store(path)))
            wrong.append("no file for " + path);
    }
    for (const QString folder : {"Inbox/", "Archive/"}) {
        for (const QString& name :
            QDir(vesker.store(folder)).entryList(QDir::Files | QDir::Hidden)) {
            if (!named.contains(folder + name))
                wrong.append("no record for " + folder + name);
        }
    }
    return wrong;
}

// One line per file, for a failure to show what differs.
std::string listing(const QMap<QString, QByteArray>& files)
{
    std::string text;
    for (auto it = files.begin(); it != files.end(); ++it)
        text += it.key().toStdString() + " = " + it.value().left(40).toStdString() + "\n";
    return text;
}

Reply post(const Vesker& vesker, const QByteArray& pathAndQuery)
{
    return exchange(vesker.port, kBoundMs,
        "POST " + pathAndQuery
            + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
}

QStringList listedIds(const Vesker& vesker)
{
    const Reply listed = exchange(vesker.port, kBoundMs,
        "GET /api/items HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QStringList ids;
    for (const QJsonValue item : QJsonDocument::fromJson(listed.body)["items"].toArray())
        ids.append(item["id"].toString());
    return ids;
}

void writeStoreFile(const Vesker& vesker, const QString& relative, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(vesker.store(relative)).path());
    QFile file(vesker.store(relative));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QJsonObject record(const QString& filename, const QString& status, qint64 ageSeconds,
    const QString& id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())
{
    return {{"id", id}, {"filename", filename}, {"status", status}, {"kind", "photo"},
        {"sender", "Ann"}, {"note", ""}, {"deviceID", ""}, {"acknowledged", false},
        {"receivedAt", QDateTime::currentDateTimeUtc().addSecs(-ageSeconds).toString(Qt::ISODate)},
        {"tags", QJsonArray()}, {"barcodes", QJsonArray()}, {"recognizedText", ""}, {"groupID", ""},
        {"groupIndex", 0}, {"groupCount", 0}};
}

} // namespace

// Phones send in bursts while a browser screen moves what arrives to Later and to the Archive,
// and the program is killed at a random moment; VESKER_KILL_ROUNDS sets how many times.
TEST(StoreFiles, KillsDuringMovesLeaveEveryRecordWithItsFileAndNoFileAlone)
{
    const int rounds = qEnvironmentVariableIsSet("VESKER_KILL_ROUNDS")
        ? qEnvironmentVariableIntValue("VESKER_KILL_ROUNDS")
        : 4;
    Vesker vesker(
        {{"allowBrowserScreens", true}, {"viewerCanLater", true}, {"viewerCanArchive", true}});
    int movedInAll = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(vesker.start());
        // Every other round the kill comes the moment a file is moved, the others at a random
        // moment.
        const bool atAnswer = round % 2 == 1;
        const pid_t pid = pid_t(vesker.pid());
        std::atomic<bool> running {true};
        std::atomic<int> moved {0};
        std::jthread sender([&] {
            for (int n = 0; running; ++n) {
                vesker.upload(Kind::photo, sample(Kind::photo, 2000 + 500 * (n % 5)));
                if (n % 6 == 5)
                    QThread::msleep(30);
            }
        });
        std::jthread mover([&] {
            while (running) {
                for (const QString& id : listedIds(vesker)) {
                    const bool archive = QRandomGenerator::global()->bounded(2) == 0;
                    const QByteArray path
                        = (archive ? "/api/archive?id=" : "/api/later?id=") + id.toLatin1();
                    if (post(vesker, path).status == 200)
                        ++moved;
                    if (!running)
                        break;
                }
            }
        });
        if (atAnswer) {
            // The moment a file lands in the Archive, before the program is idle again.
            const int watch = ::inotify_init1(IN_CLOEXEC);
            ::inotify_add_watch(watch, QFile::encodeName(vesker.store("Archive")).constData(),
                IN_MOVED_TO);
            pollfd ready {watch, POLLIN, 0};
            if (::poll(&ready, 1, 20000) == 1)
                ::kill(pid, SIGKILL);
            ::close(watch);
        } else {
            QThread::msleep(200 + QRandomGenerator::global()->bounded(800));
        }
        vesker.kill();
        running = false;
        sender.join();
        mover.join();
        movedInAll += moved;

        ASSERT_TRUE(vesker.start());
        EXPECT_EQ(mismatches(vesker).join(u'\n').toStdString(), "");
        vesker.stop();
        std::printf("round %d: %lld records, %d moves answered 200\n", round,
            qlonglong(vesker.index().size()), int(moved));
    }
    EXPECT_GT(movedInAll, 0) << "nothing was moved before a kill";
}

TEST(StoreFiles, AStartLeavesThePersonsOwnFilesAndRemovesOnlyItsOwnLeftovers)
{
    Vesker vesker;
    vesker.captureLog();
    const QString cutOff = "2026-03-01_09-30-00-1A2B3C4D.jpg";
    writeStoreFile(vesker, "Inbox/party.new-year.jpg", "party");
    writeStoreFile(vesker, "Inbox/notes.unfinished", "notes");
    writeStoreFile(vesker, "Archive/draft.removed", "draft");
    writeStoreFile(vesker, "Inbox/" + cutOff + ".unfinished", "cut off");
    writeStoreFile(vesker, "Inbox/" + cutOff + ".new-2kf9a", "half written");
    QMap<QString, QByteArray> expected = storeFiles(vesker);

    ASSERT_TRUE(vesker.start());
    vesker.stop();
    QMap<QString, QByteArray> after = storeFiles(vesker);
    after.remove("index.json");
    after.remove("acks.json");
    expected.remove("Inbox/" + cutOff + ".unfinished");
    expected.remove("Inbox/" + cutOff + ".new-2kf9a");
    EXPECT_EQ(listing(after), listing(expected));
    EXPECT_TRUE(vesker.log().contains(("[store] removed an arrival no record lists "
        + vesker.store("Inbox/" + cutOff + ".unfinished"))
                                          .toUtf8()))
        << vesker.log().toStdString();
}

TEST(StoreFiles, AnIndexThatCannotBeReadIsLeftAsItIsAndArrivalsAreRefusedUntilItCan)
{
    Vesker vesker;
    const QJsonObject kept = record("2026-03-01_09-30-00-1A2B3C4D.jpg", "inbox", 60);
    writeStoreFile(vesker, "Inbox/2026-03-01_09-30-00-1A2B3C4D.jpg", "kept");
    const QByteArray index = QJsonDocument(QJsonArray {kept}).toJson();
    // A folder where index.json is: reading it fails, as a permission would, also for root.
    QDir().mkpath(vesker.store("index.json"));
    const QMap<QString, QByteArray> before = storeFiles(vesker);

    ASSERT_TRUE(vesker.start());
    const Reply refused = vesker.upload(Kind::photo, sample(Kind::photo, 3000));
    EXPECT_GE(refused.status, 500);
    EXPECT_TRUE(refused.body.contains("index.json")) << refused.body.toStdString();
    vesker.stop();
    EXPECT_EQ(listing(storeFiles(vesker)), listing(before));
    EXPECT_TRUE(QFileInfo(vesker.store("index.json")).isDir());
    EXPECT_THAT(vesker.keptAside(), IsEmpty());

    // Mended while the program runs: the next upload is taken, beside every earlier item.
    ASSERT_TRUE(vesker.start());
    QDir(vesker.store("index.json")).removeRecursively();
    writeStoreFile(vesker, "index.json", index);
    const Reply taken = vesker.upload(Kind::photo, sample(Kind::photo, 3000));
    EXPECT_EQ(taken.status, 200) << taken.body.toStdString();
    vesker.stop();
    EXPECT_EQ(vesker.indexIds(), (QSet<QString> {kept["id"].toString(), taken.id()}));
    EXPECT_EQ(mismatches(vesker).join(u'\n').toStdString(), "");
}

TEST(StoreFiles, CleanupNeitherReplacesNorTakesAFileAKeptRecordNames)
{
    for (const char* action : {"archive", "delete"}) {
        SCOPED_TRACE(action);
        Vesker vesker({{"cleanupAge", "oneDay"}, {"cleanupAction", action}});
        constexpr qint64 kOld = 3 * 86400;
        const QString twin = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        const QJsonArray records {// An old Inbox item whose name an archived item's file has.
            record("same.jpg", "inbox", kOld), record("same.jpg", "archived", 60),
            // Two records of one file, and two of one id: only the old one's age counts.
            record("shared.jpg", "inbox", kOld), record("shared.jpg", "inbox", 60),
            record("twin-old.jpg", "inbox", kOld, twin), record("twin-new.jpg", "inbox", 60, twin)};
        writeStoreFile(vesker, "index.json", QJsonDocument(records).toJson());
        for (const QString name : {"same.jpg", "shared.jpg", "twin-old.jpg", "twin-new.jpg"})
            writeStoreFile(vesker, "Inbox/" + name, name.toUtf8());
        writeStoreFile(vesker, "Archive/same.jpg", "archived");
        const QMap<QString, QByteArray> before = storeFiles(vesker);

        QStringList wanted {"same.jpg archived", "shared.jpg inbox", "twin-new.jpg inbox"};
        if (QByteArray(action) == "archive")
            wanted = QStringList {"same.jpg archived", "same.jpg inbox", "shared.jpg inbox",
                "shared.jpg inbox", "twin-new.jpg inbox", "twin-old.jpg archived"};
        const auto names = [&] {
            QStringList names;
            for (const QJsonValue& r : vesker.index())
                names.append(r["filename"].toString() + ' ' + r["status"].toString());
            names.sort();
            return names;
        };

        ASSERT_TRUE(vesker.start());
        // The cleanup at the start is on disk soon after; only then is the program ended.
        const QDeadlineTimer deadline(kBoundMs);
        while (names() != wanted && !deadline.hasExpired())
            QThread::msleep(20);
        vesker.stop();
        QMap<QString, QByteArray> after = storeFiles(vesker);
        for (const QString& name : {"index.json", "index.journal", "acks.json"})
            after.remove(name);
        QMap<QString, QByteArray> expected = before;
        expected.remove("index.json");
        expected.remove("Inbox/twin-old.jpg");
        if (QByteArray(action) == "archive")
            expected.insert("Archive/twin-old.jpg", "twin-old.jpg");
        else
            expected.remove("Inbox/same.jpg"); // no other record names this one
        EXPECT_EQ(listing(after), listing(expected));
        EXPECT_EQ(names().join(u'\n').toStdString(), wanted.join(u'\n').toStdString());
    }
}

// A run as another user (root's, say) that ended abruptly leaves index.journal, mode 600, that
// the person's own next run may not read.
TEST(StoreFiles, AJournalOfAnotherUserIsLeftAsItIsAndLoadedWhenItCanBeRead)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to be another user";
    constexpr uid_t kPerson = 65534;
    Vesker vesker;
    ASSERT_TRUE(vesker.runAs(kPerson));
    ASSERT_TRUE(vesker.start());
    QSet<QString> sent;
    for (const QByteArray text : {"one", "two", "three"}) {
        const Reply reply = vesker.upload(Kind::text, text);
        ASSERT_EQ(reply.status, 200) << reply.body.toStdString();
        sent.insert(reply.id());
    }
    vesker.stop();
    // The three records in the journal alone, as before its fold.
    QByteArray lines;
    for (const QJsonValue& record : vesker.index())
        lines += QJsonDocument(QJsonObject {{"put", record}}).toJson(QJsonDocument::Compact) + '\n';
    ASSERT_TRUE(QFile::remove(vesker.store("index.json")));
    writeStoreFile(vesker, "index.journal", lines);
    ASSERT_EQ(::chmod(QFile::encodeName(vesker.store("index.journal")).constData(), 0600), 0);
    const QMap<QString, QByteArray> before = storeFiles(vesker);

    ASSERT_TRUE(vesker.start());
    EXPECT_EQ(vesker.inboxCount(), 0);
    const Reply refused = vesker.upload(Kind::text, "four");
    EXPECT_GE(refused.status, 500);
    EXPECT_TRUE(refused.body.contains("index.journal")) << refused.body.toStdString();
    vesker.stop();
    EXPECT_EQ(listing(storeFiles(vesker)), listing(before));

    ASSERT_TRUE(vesker.runAs(kPerson));
    ASSERT_TRUE(vesker.start());
    EXPECT_EQ(vesker.inboxCount(), 3);
    vesker.stop();
    EXPECT_TRUE(vesker.indexIds() == sent) << "records: " << vesker.index().size();
    EXPECT_EQ(mismatches(vesker).join(u'\n').toStdString(), "");
}

TEST(StoreFiles, AStartWithAFifoForTheIndexListensAndEndsOnItsSignal)
{
    Vesker vesker;
    QDir().mkpath(vesker.store());
    ASSERT_EQ(::mkfifo(QFile::encodeName(vesker.store("index.json")).constData(), 0600), 0);

    ASSERT_TRUE(vesker.start());
    const Reply refused = vesker.upload(Kind::text, "one");
    EXPECT_GE(refused.status, 500);
    EXPECT_TRUE(refused.body.contains("index.json")) << refused.body.toStdString();
    EXPECT_EQ(vesker.endWith(SIGTERM), 0);
    struct stat status { };
    ASSERT_EQ(::lstat(QFile::encodeName(vesker.store("index.json")).constData(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}
