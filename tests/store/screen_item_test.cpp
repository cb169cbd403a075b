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

TEST(ScreenItem, SearchFindsEveryShownFieldByFullCaseFolding)
{
    EXPECT_TRUE(ScreenItem().matches(u"  \n "_s, u""_s));
    EXPECT_TRUE(ScreenItem().matches(u" moth "_s, u"Mother"_s));
    EXPECT_FALSE(ScreenItem().matches(u"moth"_s, u"mum"_s));
    for (QString ScreenItem::*field :
        {&ScreenItem::note, &ScreenItem::text, &ScreenItem::recognizedText, &ScreenItem::sender}) {
        ScreenItem item;
        item.*field = u"Hauptstraße 1"_s;
        EXPECT_TRUE(item.matches(u"STRASSE"_s, u""_s));
        EXPECT_FALSE(item.matches(u"strasze"_s, u""_s));
    }
    for (QStringList ScreenItem::*field : {&ScreenItem::barcodes, &ScreenItem::tags}) {
        ScreenItem item;
        item.*field = {u"x"_s, u"xABCx"_s};
        EXPECT_TRUE(item.matches(u"abc"_s, u""_s));
    }
}
