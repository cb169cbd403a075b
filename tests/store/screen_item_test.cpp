#include "store/screen_item.h"

#include <QJsonArray>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

const QJsonObject kMinimal {{u"id"_s, u"1a2b3c4d-0000-4000-8000-000000000001"_s},
    {u"receivedAt"_s, u"2025-03-01T09:30:00Z"_s}, {u"filename"_s, u"a.jpg"_s}, {u"note"_s, u""_s},
    {u"sender"_s, u"Ann"_s}, {u"status"_s, u"inbox"_s}};

std::optional<ScreenItem> readWith(const QString& key, const QJsonValue& value)
{
    QJsonObject json = kMinimal;
    json.insert(key, value); // an undefined value removes the key
    return ScreenItem::fromJson(json);
}

} // namespace

TEST(ScreenItem, MissingOrUnknownOptionalKeysTakeTheirDefaults)
{
    const auto item = ScreenItem::fromJson(kMinimal);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->kind, ItemKind::photo);
    EXPECT_FALSE(item->acknowledged);
    EXPECT_EQ(item->groupIndex, 0);
    EXPECT_TRUE(item->tags.isEmpty());
    EXPECT_FALSE(item->lat.has_value());
    EXPECT_EQ(item->receivedAt, QDateTime(QDate(2025, 3, 1), QTime(9, 30), Qt::UTC));
    EXPECT_EQ(readWith(u"kind"_s, u"video"_s)->kind, ItemKind::photo);
    const QJsonObject written = item->toJson();
    EXPECT_FALSE(written.contains(u"lat"_s) || written.contains(u"lon"_s));
    EXPECT_EQ(written.size(), 17);
}

TEST(ScreenItem, ReadingAcceptsOrRefusesEachRecord)
{
    struct Row {
        const char* key;
        QJsonValue value;
        bool reads;
    };
    const Row rows[] = {
        {"receivedAt", u"2025-03-01T09:30:00.250Z"_s, true},
        {"status", u"deleted"_s, false},
        {"filename", QJsonValue::Undefined, false},
        {"receivedAt", u"2025-03-01T09:30:00"_s, false},
        {"id", u"abc"_s, false},
        {"tags", QJsonArray {1}, false},
        {"groupIndex", 1.5, false},
        {"acknowledged", u"yes"_s, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(readWith(QLatin1String(row.key), row.value).has_value(), row.reads) << row.key;
}

TEST(AckAction, RawValuesMatchExactly)
{
    const QStringList raws {u"got-it"_s, u"archive"_s, u"delete"_s, u"later"_s, u"on-it"_s,
        u"cant-read"_s, u"send-another"_s, u"wrong-screen"_s};
    ASSERT_EQ(allAckActions().size(), raws.size());
    for (int i = 0; i < raws.size(); ++i) {
        EXPECT_EQ(toString(allAckActions().at(i)), raws.at(i));
        EXPECT_EQ(ackActionFromString(raws.at(i)), allAckActions().at(i));
    }
    for (const QString& wrong : {u"Got-it"_s, u"got it"_s, u""_s})
        EXPECT_FALSE(ackActionFromString(wrong)) << wrong.toStdString();
}

TEST(ScreenItem, SearchLooksThroughEveryShownField)
{
    ScreenItem item;
    item.sender = u"mum"_s;
    item.tags = {u"xABCx"_s};
    item.recognizedText = u"Invoice 42"_s;
    EXPECT_TRUE(item.matches(u"  \n "_s, u"mum"_s));
    EXPECT_TRUE(item.matches(u"abc"_s, u"mum"_s));
    EXPECT_TRUE(item.matches(u" moth "_s, u"Mother"_s));
    EXPECT_FALSE(item.matches(u"moth"_s, u"mum"_s));
    EXPECT_TRUE(item.matches(u"invoice"_s, u"mum"_s));
}
