#include "store/store_cleanup.h"

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/enum_table.h"
#include "store/item_store.h"

#include <array>

namespace vesker {

namespace {

constexpr int kIntervalMs = 1800 * 1000;

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

StoreCleanup::StoreCleanup(
    ItemStore& store, platform::Defaults& defaults, const platform::Clock& clock, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_defaults(defaults)
    , m_clock(clock)
{
    run();
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &StoreCleanup::run);
    m_timer.start();
    m_choiceChanged.setSingleShot(true);
    m_choiceChanged.setInterval(0);
    connect(&m_choiceChanged, &QTimer::timeout, this, &StoreCleanup::run);
    connect(&m_defaults, &platform::Defaults::changed, this, [this](const QString& key) {
        if (key == QLatin1String("cleanupAge") || key == QLatin1String("cleanupAction"))
            m_choiceChanged.start();
    });
}

void StoreCleanup::run()
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
    for (const ScreenItem& item : m_store.items()) {
        if (item.status == ItemStatus::inbox && item.receivedAt < cutoff)
            old.append(item);
    }
    const SaveBatch batch(m_store);
    for (const ScreenItem& item : std::as_const(old)) {
        if (deleting) {
            m_store.remove(item.id, toString(AckAction::delete_));
        } else {
            // Its sender hears "archived" only of an item that is.
            if (m_store.move(item, ItemStatus::archived))
                m_store.acknowledge(item.id, toString(AckAction::archive));
        }
    }
}

} // namespace vesker
