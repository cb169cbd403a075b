#include "store/screen_item.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace vesker;

namespace {

QJsonObject parse(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

constexpr auto kMinimal = R"({"id": "1a2b3c4d-0000-4000-8000-000000000001",
    "receivedAt": "2025-03-01T09:30:00Z", "filename": "a.jpg", "note": "", "sender": "Ann",
    "status": "inbox")";

QJsonObject minimalWith(const char* extra)
{
    return parse((QByteArray(kMinimal) + extra + "}").constData());
}

} // namespace

TEST(ScreenItem, MissingOptionalKeysTakeTheirDefaults)
{
    const auto item = ScreenItem::fromJson(minimalWith(""));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->kind, ItemKind::photo);
    EXPECT_FALSE(item->acknowledged);
    EXPECT_EQ(item->groupIndex, 0);
    EXPECT_TRUE(item->tags.isEmpty());
    EXPECT_FALSE(item->lat.has_value());
    EXPECT_EQ(item->receivedAt, QDateTime(QDate(2025, 3, 1), QTime(9, 30), Qt::UTC));
}

TEST(ScreenItem, ReadingAcceptsOrRefusesEachRecord)
{
    struct Row {
        const char* name;
        QJsonObject json;
        bool reads;
    };
    const Row rows[] = {
        {"unknown kind reads as photo", minimalWith(R"(, "kind": "video")"), true},
        {"fractional seconds", parse(R"({"id": "1A2B3C4D-0000-4000-8000-000000000001",
            "receivedAt": "2025-03-01T09:30:00.250Z", "filename": "a", "note": "", "sender": "",
            "status": "later"})"),
            true},
        {"status deleted", parse(R"({"id": "1A2B3C4D-0000-4000-8000-000000000001",
            "receivedAt": "2025-03-01T09:30:00Z", "filename": "a", "note": "", "sender": "",
            "status": "deleted"})"),
            false},
        {"no filename", parse(R"({"id": "1A2B3C4D-0000-4000-8000-000000000001",
            "receivedAt": "2025-03-01T09:30:00Z", "note": "", "sender": "", "status": "inbox"})"),
            false},
        {"date without zone", parse(R"({"id": "1A2B3C4D-0000-4000-8000-000000000001",
            "receivedAt": "2025-03-01T09:30:00", "filename": "a", "note": "", "sender": "",
            "status": "inbox"})"),
            false},
        {"id not a uuid", parse(R"({"id": "abc", "receivedAt": "2025-03-01T09:30:00Z",
            "filename": "a", "note": "", "sender": "", "status": "inbox"})"),
            false},
        {"tags not strings", minimalWith(R"(, "tags": [1])"), false},
        {"group index not whole", minimalWith(R"(, "groupIndex": 1.5)"), false},
        {"acknowledged not a bool", minimalWith(R"(, "acknowledged": "yes")"), false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ScreenItem::fromJson(row.json).has_value(), row.reads) << row.name;
}

TEST(ScreenItem, WritesEveryKeyAndLocationOnlyWhenPresent)
{
    auto item = *ScreenItem::fromJson(minimalWith(R"(, "kind": "pdf", "lat": 52.5)"));
    QJsonObject json = item.toJson();
    EXPECT_EQ(json.value(QStringLiteral("id")).toString(),
        QStringLiteral("1A2B3C4D-0000-4000-8000-000000000001"));
    EXPECT_EQ(json.value(QStringLiteral("receivedAt")).toString(),
        QStringLiteral("2025-03-01T09:30:00Z"));
    EXPECT_EQ(json.value(QStringLiteral("kind")).toString(), QStringLiteral("pdf"));
    EXPECT_TRUE(json.value(QStringLiteral("lat")).isDouble());
    EXPECT_FALSE(json.contains(QStringLiteral("lon")));
    EXPECT_EQ(json.size(), 18);
    EXPECT_EQ(ScreenItem::fromJson(json), item);

    item.lat.reset();
    json = item.toJson();
    EXPECT_FALSE(json.contains(QStringLiteral("lat")));
    EXPECT_EQ(json.size(), 17);
}

TEST(AckAction, RawValuesMatchExactly)
{
    const QStringList raws {QStringLiteral("got-it"), QStringLiteral("archive"),
        QStringLiteral("delete"), QStringLiteral("later"), QStringLiteral("on-it"),
        QStringLiteral("cant-read"), QStringLiteral("send-another"),
        QStringLiteral("wrong-screen")};
    ASSERT_EQ(allAckActions().size(), raws.size());
    for (int i = 0; i < raws.size(); ++i) {
        EXPECT_EQ(toString(allAckActions().at(i)), raws.at(i));
        EXPECT_EQ(ackActionFromString(raws.at(i)), allAckActions().at(i));
    }
    for (const char* wrong : {"Got-it", "got it", "GOT-IT", ""})
        EXPECT_FALSE(ackActionFromString(QString::fromLatin1(wrong))) << wrong;
}

TEST(ScreenItem, SearchLooksThroughEveryShownField)
{
    ScreenItem item;
    item.sender = QStringLiteral("mum");
    item.tags = {QStringLiteral("xABCx")};
    item.barcodes = {QStringLiteral("QR https://example.org/x")};
    item.recognizedText = QStringLiteral("Invoice 42");
    EXPECT_TRUE(item.matches(QStringLiteral("  \n "), QStringLiteral("mum")));
    EXPECT_TRUE(item.matches(QStringLiteral("abc"), QStringLiteral("mum")));
    EXPECT_TRUE(item.matches(QStringLiteral(" moth "), QStringLiteral("Mother")));
    EXPECT_FALSE(item.matches(QStringLiteral("moth"), QStringLiteral("mum")));
    EXPECT_TRUE(item.matches(QStringLiteral("EXAMPLE.ORG"), QStringLiteral("mum")));
    EXPECT_TRUE(item.matches(QStringLiteral("invoice"), QStringLiteral("mum")));
    EXPECT_FALSE(item.matches(QStringLiteral("receipt"), QStringLiteral("mum")));
}
