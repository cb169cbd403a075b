// What the store keeps on a full disk and when the program is killed: nothing answered 200 is
// lost.
#include "harness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace vesker::e2e;
using ::testing::IsEmpty;

namespace {

// Items listed in the index whose file is missing or empty.
QStringList itemsWithoutFile(const Vesker& vesker)
{
    QStringList missing;
    for (const QJsonValue& record : vesker.index()) {
        const QString name = record["filename"].toString();
        if (QFileInfo(vesker.store("Inbox/" + name)).size() == 0)
            missing.append(name);
    }
    return missing;
}

// Phones sending `count` uploads between them, each made by `upload(n)`, until stop().
class Senders {
public:
    Senders(int phones, int count, std::function<Reply(int n)> upload)
    {
        for (int s = 0; s < phones; ++s) {
            m_threads.emplace_back([this, count, upload] {
                for (int n; (n = m_next++) < count;) {
                    const Reply reply = upload(n);
                    const std::lock_guard guard(m_lock);
                    if (reply.status == 200)
                        m_stored.insert(reply.id());
                    m_answered = m_stored.size();
                }
            });
        }
    }

    qsizetype answered() const { return m_answered; }
    // The ids answered 200, once every sender has stopped.
    QSet<QString> stop()
    {
        m_threads.clear();
        return m_stored;
    }

private:
    std::atomic<int> m_next {0};
    std::atomic<qsizetype> m_answered {0};
    std::mutex m_lock;
    QSet<QString> m_stored;
    std::vector<std::jthread> m_threads;
};

} // namespace

TEST(Store, FullDiskRefusesUploadsAndKeepsEveryStoredOne)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs for the store needs root";
    Vesker vesker;
    ASSERT_TRUE(vesker.mountStoreOnTmpfs(2));
    ASSERT_TRUE(vesker.start());

    // Small files as well as larger ones: a small write can seem to succeed into a buffer.
    const std::pair<Kind, qsizetype> rounds[] {
        {Kind::photo, 3000}, {Kind::pdf, 6000}, {Kind::text, 300}, {Kind::photo, 40000}};
    QSet<QString> stored;
    int refused = 0;
    qint64 indexSize = 0;
    for (int n = 0; n < 600 && refused < 8; ++n) {
        const auto [kind, size] = rounds[n % 4];
        const Reply reply = vesker.upload(kind, sample(kind, size));
        if (reply.status == 200) {
            stored.insert(reply.id());
            ASSERT_TRUE(vesker.indexIds().contains(reply.id())) << "upload " << n;
        } else {
            ++refused;
            // A photo's or text's sender is told why; a PDF's only that it was not kept.
            ASSERT_TRUE(reply.status >= 500
                && (kind == Kind::pdf ? reply.body == "Couldn't save the file"
                                      : reply.body.startsWith("Save failed: ")))
                << reply.status << " " << reply.body.toStdString();
        }
        const qint64 nowSize = QFileInfo(vesker.store("index.json")).size();
        ASSERT_GE(nowSize, indexSize) << "the index shrank after upload " << n;
        indexSize = nowSize;
    }
    ASSERT_GT(refused, 0) << "the disk never filled";
    EXPECT_EQ(vesker.inboxCount(), stored.size());

    // With space again, the sender's retry goes through.
    const QByteArray store = QFile::encodeName(vesker.store());
    ASSERT_EQ(::mount(nullptr, store.constData(), nullptr, MS_REMOUNT, "size=4m"), 0);
    for (const Kind kind : {Kind::photo, Kind::pdf, Kind::text}) {
        const Reply retry = vesker.upload(kind, sample(kind, 3000));
        EXPECT_EQ(retry.status, 200) << retry.body.toStdString();
        stored.insert(retry.id());
    }

    ASSERT_TRUE(vesker.restart());
    EXPECT_EQ(vesker.indexIds(), stored);
    EXPECT_THAT(itemsWithoutFile(vesker), IsEmpty());
    EXPECT_EQ(
        QDir(vesker.store("Inbox")).entryList(QDir::Files | QDir::Hidden).size(), stored.size())
        << "files left behind by failed uploads";
    EXPECT_THAT(vesker.keptAside(), IsEmpty());
}

TEST(Store, EveryUploadAnsweredBeforeAKillSurvivesIt)
{
    Vesker vesker;
    ASSERT_TRUE(vesker.start());

    // Eight phones send a hundred uploads between them; the program dies after thirty answers.
    Senders senders(
        8, 100, [&](int n) { return vesker.upload(Kind(n % 3), sample(Kind(n % 3), 20000)); });
    const QDeadlineTimer deadline(20000);
    while (senders.answered() < 30 && !deadline.hasExpired())
        QThread::msleep(1);
    vesker.kill();
    const QSet<QString> stored = senders.stop();
    ASSERT_GE(stored.size(), 30);
    // Changes since the index was last written whole live in its journal alone.
    EXPECT_TRUE(QFile::exists(vesker.store("index.journal")));

    ASSERT_TRUE(vesker.start());
    EXPECT_TRUE(vesker.indexIds().contains(stored)) << "an upload answered 200 is lost";
    EXPECT_THAT(itemsWithoutFile(vesker), IsEmpty());
    // Uploads the kill cut off leave no file that no record lists, and no temporary file.
    EXPECT_EQ(QDir(vesker.store("Inbox")).entryList(QDir::Files | QDir::Hidden).size(),
        vesker.indexIds().size());
    EXPECT_THAT(QDir(vesker.store()).entryList({"*.new-*"}, QDir::Files | QDir::Hidden), IsEmpty());
}

TEST(Store, EveryTextAnsweredBeforeAKillWhileTheIndexIsRewrittenSurvivesIt)
{
    Vesker vesker;
    ASSERT_TRUE(vesker.start());

    // Texts live in the index: a few long ones grow its journal past the point where it is
    // folded into the index, again and again, while more arrive.
    Senders senders(
        4, 60, [&](int) { return vesker.upload(Kind::text, sample(Kind::text, 400 * 1000)); });
    // The kill lands while the index's new file is being written.
    const QDeadlineTimer deadline(30000);
    bool folding = false;
    while (!folding && !deadline.hasExpired()) {
        QThread::msleep(1);
        folding = senders.answered() >= 8
            && !QDir(vesker.store()).entryList({"index.json.new-*"}, QDir::Files).isEmpty();
    }
    vesker.kill();
    const QSet<QString> stored = senders.stop();
    ASSERT_TRUE(folding) << "the index was never rewritten while texts arrived";

    ASSERT_TRUE(vesker.start());
    EXPECT_TRUE(vesker.indexIds().contains(stored)) << "a text answered 200 is lost";
    EXPECT_THAT(vesker.keptAside(), IsEmpty());
    EXPECT_THAT(QDir(vesker.store()).entryList({"*.new-*"}, QDir::Files | QDir::Hidden), IsEmpty());
}

TEST(Store, AFirstLaunchListsTheWelcomeItemsFromTheFirst)
{
    // Each launch is a fresh home; the four are written within a few milliseconds of each other.
    for (int launch = 0; launch < 3; ++launch) {
        Vesker vesker({{"didSeedWelcome", false}, {"allowBrowserScreens", true}});
        ASSERT_TRUE(vesker.start());
        const Reply reply = exchange(vesker.port, kBoundMs,
            "GET /api/items HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        ASSERT_EQ(reply.status, 200);
        QStringList titles;
        for (const QJsonValue item : QJsonDocument::fromJson(reply.body)["items"].toArray())
            titles.append(item["text"].toString().section(u'\n', 0, 0));
        EXPECT_EQ(titles,
            QStringList({"Welcome — 1 of 4", "Welcome — 2 of 4", "Welcome — 3 of 4",
                "Welcome — 4 of 4: Permissions"}));
    }
}

// As someone who skips each photo for later the moment its card appears, here through the
// browser screen's "later": the move may come before the arrival's record is on disk.
TEST(Store, PhotosMovedToLaterAsTheyLandKeepTheirFilesAcrossARestart)
{
    Vesker vesker({{"allowBrowserScreens", true}, {"viewerCanLater", true}});
    ASSERT_TRUE(vesker.start());
    const auto get = [&](const QByteArray& path) {
        return exchange(vesker.port, kBoundMs,
            "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    };

    std::atomic<bool> sending {true};
    std::mutex lock;
    QSet<QString> moved;
    std::jthread watcher([&] {
        // Once more after the last answer, for a card that appeared just before it.
        for (bool last = false; !last;) {
            last = !sending;
            const Reply listed = get("/api/items");
            for (const QJsonValue item : QJsonDocument::fromJson(listed.body)["items"].toArray()) {
                const QString id = item["id"].toString();
                const Reply later = exchange(vesker.port, kBoundMs,
                    "POST /api/later?id=" + id.toLatin1()
                        + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                          "Content-Length: 0\r\n\r\n");
                if (later.status == 200) {
                    const std::lock_guard guard(lock);
                    moved.insert(id);
                }
            }
        }
    });
    QSet<QString> stored;
    for (int n = 0; n < 8; ++n) {
        const Reply reply = vesker.upload(Kind::photo, sample(Kind::photo, 1024 * 1024));
        ASSERT_EQ(reply.status, 200) << reply.body.toStdString();
        stored.insert(reply.id());
    }
    sending = false;
    watcher.join();
    ASSERT_EQ(moved, stored);

    // Every photo is served from its file, and the record of each move is on disk.
    for (const QString& id : stored)
        EXPECT_EQ(get("/api/image/" + id.toLatin1()).status, 200) << id.toStdString();
    const QDeadlineTimer deadline(kBoundMs);
    const auto allLater = [&] {
        const QJsonArray records = vesker.index();
        return records.size() == stored.size()
            && std::all_of(records.begin(), records.end(),
                [](const QJsonValue& r) { return r["status"].toString() == "later"; });
    };
    while (!allLater() && !deadline.hasExpired())
        QThread::msleep(10);
    ASSERT_TRUE(allLater());

    ASSERT_TRUE(vesker.restart());
    EXPECT_EQ(vesker.indexIds(), stored);
    EXPECT_THAT(itemsWithoutFile(vesker), IsEmpty());
    EXPECT_THAT(QDir(vesker.store("Inbox")).entryList({"*.unfinished"}, QDir::Files), IsEmpty());
}
