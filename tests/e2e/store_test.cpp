// What the store keeps across a restart, whatever a sender put in its headers or body.
#include "http_client.h"
#include "store_files.h"
#include "vesker_instance.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

using namespace vesker::e2e;
using ::testing::IsEmpty;
using ::testing::SizeIs;

namespace {

QString idOf(const HttpReply& reply)
{
    return reply.json().value(QStringLiteral("id")).toString();
}

} // namespace

TEST(StoreAcrossRestarts, ExtremeHeaderValuesDoNotCostTheInbox)
{
    VeskerInstance vesker;
    ASSERT_TRUE(vesker.start()) << vesker.log().toStdString();
    const int before = inboxCount(vesker.port());

    const HttpReply reply = upload(vesker.port(), UploadKind::photo, jpegOfSize(2000),
        {{"X-Group", "G"}, {"X-Group-Index", "9223372036854775807"},
            {"X-Group-Count", "-9223372036854775808"}, {"X-Location", "nan,inf"}});
    ASSERT_EQ(reply.status, 200) << reply.body.toStdString();
    ASSERT_TRUE(vesker.restart()) << vesker.log().toStdString();

    EXPECT_EQ(inboxCount(vesker.port()), before + 1);
    const QJsonObject record = indexRecord(vesker.storePath(), idOf(reply));
    EXPECT_EQ(
        record.value(QStringLiteral("groupIndex")).toInteger(), std::numeric_limits<qint64>::max());
    EXPECT_EQ(
        record.value(QStringLiteral("groupCount")).toInteger(), std::numeric_limits<qint64>::min());
    EXPECT_THAT(keptAside(vesker.storePath()), IsEmpty());
}

TEST(StoreAcrossRestarts, OneUnreadableRecordCostsOnlyItself)
{
    VeskerInstance vesker;
    ASSERT_TRUE(vesker.start()) << vesker.log().toStdString();
    const int before = inboxCount(vesker.port());
    QStringList ids;
    for (const char* text : {"first", "second", "third"})
        ids.append(idOf(upload(vesker.port(), UploadKind::text, text)));
    ASSERT_THAT(indexIds(vesker.storePath()), SizeIs(before + 3));
    vesker.stop();

    // A record among good ones that no version of the program could have written.
    QJsonArray records = indexRecords(vesker.storePath());
    QJsonObject broken = records.at(0).toObject();
    broken.insert(QStringLiteral("id"), QStringLiteral("not an id"));
    records.insert(1, broken);
    const QByteArray damaged = QJsonDocument(records).toJson();
    QFile index(vesker.storePath(QStringLiteral("index.json")));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly | QIODevice::Truncate));
    index.write(damaged);
    index.close();

    ASSERT_TRUE(vesker.start()) << vesker.log().toStdString();
    EXPECT_EQ(inboxCount(vesker.port()), before + 3);
    // The next arrival writes the index again; the damaged one must be kept, whole.
    const HttpReply later = upload(vesker.port(), UploadKind::text, "fourth");
    ASSERT_EQ(later.status, 200) << later.body.toStdString();
    ids.append(idOf(later));
    const QStringList aside = keptAside(vesker.storePath());
    ASSERT_THAT(aside, SizeIs(1));
    QFile keptCopy(vesker.storePath(aside.first()));
    ASSERT_TRUE(keptCopy.open(QIODevice::ReadOnly));
    EXPECT_EQ(keptCopy.readAll(), damaged);

    ASSERT_TRUE(vesker.restart()) << vesker.log().toStdString();
    EXPECT_EQ(inboxCount(vesker.port()), before + 4);
    const QSet<QString> listed = indexIds(vesker.storePath());
    for (const QString& id : std::as_const(ids))
        EXPECT_TRUE(listed.contains(id)) << id.toStdString();
}

TEST(StoreAcrossRestarts, TextOverOneMebibyteIsRefused)
{
    VeskerInstance vesker;
    ASSERT_TRUE(vesker.start()) << vesker.log().toStdString();
    const int before = inboxCount(vesker.port());

    const HttpReply reply
        = upload(vesker.port(), UploadKind::text, QByteArray(1024 * 1024 + 1, 'a'));
    EXPECT_EQ(reply.status, 413);
    EXPECT_EQ(reply.body, "Text too long");
    EXPECT_EQ(inboxCount(vesker.port()), before);
    EXPECT_LT(QFileInfo(vesker.storePath(QStringLiteral("index.json"))).size(), 64 * 1024);
}
