// Cleanup by age: Inbox items older than the chosen age are archived or deleted.
#include "store/item_store.h"

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/enum_table.h"

#include <array>

namespace vesker {

namespace {

struct AgeRow {
    CleanupAge age;
    const char* raw;
    qint64 seconds;
};

constexpr std::array<AgeRow, 5> kAges {{
    {CleanupAge::never, "never", 0},
    {CleanupAge::oneDay, "oneDay", 86400},
    {CleanupAge::threeDays, "threeDays", 259200},
    {CleanupAge::oneWeek, "oneWeek", 604800},
    {CleanupAge::oneMonth, "oneMonth", 2592000},
}};

constexpr platform::EnumTable<CleanupAction, 2> kActions {{
    {CleanupAction::archive, "archive"},
    {CleanupAction::delete_, "delete"},
}};

} // namespace

QString toString(CleanupAge age)
{
    for (const AgeRow& row : kAges) {
        if (row.age == age)
            return QString::fromLatin1(row.raw);
    }
    return {};
}

std::optional<CleanupAge> cleanupAgeFromString(const QString& raw)
{
    for (const AgeRow& row : kAges) {
        if (raw == QLatin1String(row.raw))
            return row.age;
    }
    return std::nullopt;
}

std::optional<qint64> cleanupSeconds(CleanupAge age)
{
    for (const AgeRow& row : kAges) {
        if (row.age == age && row.seconds > 0)
            return row.seconds;
    }
    return std::nullopt;
}

QString toString(CleanupAction action)
{
    return platform::rawOf(kActions, action);
}

std::optional<CleanupAction> cleanupActionFromString(const QString& raw)
{
    return platform::caseOf(kActions, raw);
}

void ItemStore::runCleanup()
{
    const auto age = cleanupAgeFromString(m_defaults.string(QStringLiteral("cleanupAge")));
    const auto seconds = age ? cleanupSeconds(*age) : std::nullopt;
    if (!seconds)
        return;
    const bool deleting
        = cleanupActionFromString(m_defaults.string(QStringLiteral("cleanupAction")))
        == CleanupAction::delete_;
    const QDateTime cutoff = m_clock.now().addSecs(-*seconds);

    QList<ScreenItem> old;
    for (const ScreenItem& item : std::as_const(m_items)) {
        if (item.status == ItemStatus::inbox && item.receivedAt < cutoff)
            old.append(item);
    }
    const SaveBatch batch(*this);
    for (const ScreenItem& item : std::as_const(old)) {
        if (deleting) {
            remove(item.id, toString(AckAction::delete_));
        } else {
            acknowledge(item.id, toString(AckAction::archive));
            move(item, ItemStatus::archived);
        }
    }
}

} // namespace vesker
