// Nothing answered 200 is lost: not on a full disk, not when the program is killed.
#include "http_client.h"
#include "store_files.h"
#include "vesker_instance.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vesker::e2e;
using ::testing::IsEmpty;

namespace {

QByteArray contentOf(UploadKind kind, qsizetype size, int n)
{
    switch (kind) {
    case UploadKind::photo:
        return jpegOfSize(size);
    case UploadKind::pdf:
        return pdfOfSize(size);
    case UploadKind::text:
        return QByteArray("note ") + QByteArray::number(n) + QByteArray(size, '.');
    }
    return {};
}

QString idOf(const HttpReply& reply)
{
    return reply.json().value(QStringLiteral("id")).toString();
}

// Items listed in the index whose file is missing or empty.
QStringList recordsWithoutContent(const QString& store)
{
    QStringList missing;
    for (const QJsonValue& value : indexRecords(store)) {
        const QString name = value.toObject().value(QStringLiteral("filename")).toString();
        if (QFileInfo(store + QStringLiteral("/Inbox/") + name).size() == 0)
            missing.append(name);
    }
    return missing;
}

} // namespace

TEST(Durability, FullDiskRefusesUploadsAndKeepsEveryStoredOne)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs for the store needs root";
    VeskerInstance vesker;
    ASSERT_TRUE(vesker.mountStoreOnTmpfs(2));
    // Room the test gives back once the disk is full.
    QFile filler(vesker.storePath(QStringLiteral("filler")));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    ASSERT_EQ(filler.write(QByteArray(384 * 1024, 'x')), 384 * 1024);
    filler.close();
    ASSERT_TRUE(vesker.start()) << vesker.log().toStdString();
    const QString store = vesker.storePath();

    // Small files as well as larger ones: a small write can seem to succeed into a buffer.
    const std::array<std::pair<UploadKind, qsizetype>, 4> rounds {{{UploadKind::photo, 3000},
        {UploadKind::pdf, 6000}, {UploadKind::text, 300}, {UploadKind::photo, 40000}}};
    QStringList stored;
    QStringList problems;
    int refused = 0;
    qint64 indexSize = 0;
    for (int n = 0; n < 600 && refused < 8; ++n) {
        const auto [kind, size] = rounds.at(n % rounds.size());
        const HttpReply reply = upload(vesker.port(), kind, contentOf(kind, size, n));
        if (reply.status == 200) {
            stored.append(idOf(reply));
            if (!indexIds(store).contains(stored.last()))
                problems.append(
                    QStringLiteral("upload %1 answered 200 is not in the index").arg(n));
        } else {
            ++refused;
            if (reply.status < 500 || !reply.body.startsWith("Save failed: "))
                problems.append(QStringLiteral("upload %1 refused as %2 \"%3\"")
                                    .arg(n)
                                    .arg(reply.status)
                                    .arg(QString::fromUtf8(reply.body.left(80))));
        }
        const qint64 nowSize = QFileInfo(store + QStringLiteral("/index.json")).size();
        if (nowSize < indexSize)
            problems.append(QStringLiteral("index shrank from %1 to %2 bytes after upload %3")
                                .arg(indexSize)
                                .arg(nowSize)
                                .arg(n));
        indexSize = std::max(indexSize, nowSize);
    }
    ASSERT_GT(refused, 0) << "the disk never filled";
    EXPECT_TRUE(vesker.running()) << vesker.log().toStdString();
    EXPECT_THAT(problems.mid(0, 10), IsEmpty()) << problems.size() << " problems in all";
    EXPECT_THAT(emptyInboxFiles(store), IsEmpty());
    EXPECT_EQ(inboxCount(vesker.port()), stored.size());

    // With space again, the sender's retry goes through.
    ASSERT_TRUE(QFile::remove(vesker.storePath(QStringLiteral("filler"))));
    for (const UploadKind kind : {UploadKind::photo, UploadKind::pdf, UploadKind::text}) {
        const HttpReply retry = upload(vesker.port(), kind, contentOf(kind, 3000, 0));
        EXPECT_EQ(retry.status, 200) << retry.body.toStdString();
        if (retry.status == 200)
            stored.append(idOf(retry));
    }

    ASSERT_TRUE(vesker.restart()) << vesker.log().toStdString();
    EXPECT_EQ(inboxCount(vesker.port()), stored.size());
    EXPECT_EQ(indexIds(store), QSet<QString>(stored.cbegin(), stored.cend()));
    EXPECT_THAT(recordsWithoutContent(store), IsEmpty());
    EXPECT_EQ(inboxFiles(store).size(), stored.size()) << "files left behind by failed uploads";
    EXPECT_THAT(keptAside(store), IsEmpty());
}

TEST(Durability, EveryUploadAnsweredBeforeAKillSurvivesIt)
{
    VeskerInstance vesker;
    ASSERT_TRUE(vesker.start()) << vesker.log().toStdString();
    constexpr int kUploads = 100;
    constexpr int kSenders = 8;
    constexpr int kKillAfter = 30;
    const QByteArray photo = jpegOfSize(20000);
    const QByteArray pdf = pdfOfSize(20000);

    std::atomic<int> next {0};
    std::atomic<int> answered {0};
    std::mutex lock;
    QStringList stored;
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
        senders.emplace_back([&] {
            for (int n; (n = next++) < kUploads;) {
                const UploadKind kind = n % 3 == 0 ? UploadKind::photo
                    : n % 3 == 1                   ? UploadKind::pdf
                                                   : UploadKind::text;
                const HttpReply reply = upload(vesker.port(), kind,
                    kind == UploadKind::photo     ? photo
                        : kind == UploadKind::pdf ? pdf
                                                  : "burst " + QByteArray::number(n));
                if (reply.status != 200)
                    continue;
                const std::lock_guard guard(lock);
                stored.append(idOf(reply));
                ++answered;
            }
        });
    }
    const QDeadlineTimer deadline(20000);
    while (answered < kKillAfter && !deadline.hasExpired())
        QThread::msleep(1);
    vesker.kill();
    for (std::thread& sender : senders)
        sender.join();
    ASSERT_GE(stored.size(), kKillAfter);

    ASSERT_TRUE(vesker.start()) << vesker.log().toStdString();
    const QSet<QString> listed = indexIds(vesker.storePath());
    for (const QString& id : std::as_const(stored))
        EXPECT_TRUE(listed.contains(id)) << id.toStdString() << " was answered 200 but is lost";
    EXPECT_GE(inboxCount(vesker.port()), stored.size());
    EXPECT_THAT(recordsWithoutContent(vesker.storePath()), IsEmpty());
}
