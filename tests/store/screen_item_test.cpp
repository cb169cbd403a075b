#include "store/screen_item.h"

#include <QJsonArray>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

TEST(ScreenItem, ReadingAcceptsOrRefusesEachRecord)
{
    const QJsonObject minimal {{u"id"_s, u"1a2b3c4d-0000-4000-8000-000000000001"_s},
        {u"receivedAt"_s, u"2025-03-01T09:30:00Z"_s}, {u"filename"_s, u"a.jpg"_s},
        {u"note"_s, u""_s}, {u"sender"_s, u"Ann"_s}, {u"status"_s, u"inbox"_s}};
    const auto item = ScreenItem::fromJson(minimal);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->receivedAt, QDateTime(QDate(2025, 3, 1), QTime(9, 30), Qt::UTC));
    EXPECT_FALSE(item->lat.has_value() || item->toJson().contains(u"lat"_s));

    const struct {
        const char* key;
        QJsonValue value; // undefined removes the key
        bool reads;
    } rows[] = {
        {"receivedAt", u"2025-03-01T09:30:00.250Z"_s, true},
        {"kind", u"video"_s, true},
        {"status", u"deleted"_s, false},
        {"filename", QJsonValue::Undefined, false},
        {"receivedAt", u"2025-03-01T09:30:00"_s, false},
        {"id", u"abc"_s, false},
        {"tags", QJsonArray {1}, false},
        {"groupIndex", 1.5, false},
        {"acknowledged", u"yes"_s, false},
    };
    for (const auto& row : rows) {
        QJsonObject json = minimal;
        json.insert(QLatin1String(row.key), row.value);
        const auto read = ScreenItem::fromJson(json);
        EXPECT_EQ(read.has_value(), row.reads) << row.key;
        if (read && row.key == std::string("kind")) {
            EXPECT_EQ(read->kind, ItemKind::photo);
        }
    }
}
