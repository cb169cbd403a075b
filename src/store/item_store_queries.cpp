// Lists of items, senders and tags, and the per-sender preferences kept in the settings.
#include "store/item_store.h"

#include "platform/defaults.h"

#include <QCollator>
#include <QHash>

#include <algorithm>

namespace vesker {

namespace {

constexpr auto kSenderAliases = "senderAliases";
constexpr auto kSenderArrival = "senderArrival";

QString displayNameWith(const QMap<QString, QString>& aliases, const QString& rawSender)
{
    const auto it = aliases.constFind(rawSender);
    if (it != aliases.cend()) {
        const QString alias = it.value().trimmed();
        if (!alias.isEmpty())
            return alias;
    }
    return rawSender;
}

void sortNewestFirst(QList<ScreenItem>& items)
{
    std::stable_sort(items.begin(), items.end(),
        [](const ScreenItem& a, const ScreenItem& b) { return a.receivedAt > b.receivedAt; });
}

} // namespace

QList<ScreenItem> ItemStore::items(ItemStatus status) const
{
    QList<ScreenItem> result;
    for (const ScreenItem& item : m_items) {
        if (item.status == status)
            result.append(item);
    }
    sortNewestFirst(result);
    return result;
}

QList<ScreenItem> ItemStore::items(
    ItemStatus status, const ItemFilter& filter, const QString& search) const
{
    // Aliases are read once per query, not once per item.
    const QMap<QString, QString> aliases = m_defaults.stringMap(QLatin1String(kSenderAliases));
    QList<ScreenItem> result;
    for (const ScreenItem& item : m_items) {
        if (item.status != status)
            continue;
        const QString shownSender = displayNameWith(aliases, item.sender);
        const bool kept = std::visit(
            [&](const auto& f) {
                using F = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<F, ItemFilter::Sender>) {
                    return shownSender == f.name;
                } else if constexpr (std::is_same_v<F, ItemFilter::Tag>) {
                    return std::any_of(item.tags.begin(), item.tags.end(), [&f](const QString& t) {
                        return t.compare(f.name, Qt::CaseInsensitive) == 0;
                    });
                } else {
                    return true;
                }
            },
            filter.value);
        if (kept && item.matches(search, shownSender))
            result.append(item);
    }
    sortNewestFirst(result);
    return result;
}

int ItemStore::count(ItemStatus status) const
{
    return int(std::count_if(m_items.begin(), m_items.end(),
        [status](const ScreenItem& item) { return item.status == status; }));
}

std::optional<ScreenItem> ItemStore::item(const QUuid& id) const
{
    const int i = indexOf(id);
    if (i < 0)
        return std::nullopt;
    return m_items.at(i);
}

QList<ScreenItem> ItemStore::groupItems(const ScreenItem& item) const
{
    if (item.groupID.isEmpty())
        return {item};
    QList<ScreenItem> group;
    for (const ScreenItem& stored : m_items) {
        if (stored.groupID == item.groupID)
            group.append(stored);
    }
    return group;
}

QList<SenderEntry> ItemStore::senders() const
{
    const QMap<QString, QString> aliases = m_defaults.stringMap(QLatin1String(kSenderAliases));
    QList<SenderEntry> entries;
    QList<QDateTime> latest;
    QHash<QString, qsizetype> indexOfName;
    for (const ScreenItem& item : m_items) {
        const QString name = displayNameWith(aliases, item.sender);
        auto it = indexOfName.constFind(name);
        if (it == indexOfName.cend()) {
            it = indexOfName.insert(name, entries.size());
            entries.append({name, {}, 0});
            latest.append(item.receivedAt);
        }
        SenderEntry& entry = entries[*it];
        ++entry.count;
        if (!entry.rawNames.contains(item.sender))
            entry.rawNames.append(item.sender);
        latest[*it] = std::max(latest[*it], item.receivedAt);
    }
    QList<qsizetype> order(entries.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
        [&latest](qsizetype a, qsizetype b) { return latest[a] > latest[b]; });
    QList<SenderEntry> sorted;
    sorted.reserve(entries.size());
    for (qsizetype i : order)
        sorted.append(entries[i]);
    return sorted;
}

QList<TagEntry> ItemStore::tags() const
{
    QHash<QString, int> counts;
    for (const ScreenItem& item : m_items) {
        for (const QString& tag : item.tags)
            ++counts[tag];
    }
    QList<TagEntry> entries;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        entries.append({it.key(), it.value()});
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Tags that differ only in case still get one fixed order.
    std::sort(entries.begin(), entries.end(), [&collator](const TagEntry& a, const TagEntry& b) {
        const int c = collator.compare(a.tag, b.tag);
        return c != 0 ? c < 0 : a.tag < b.tag;
    });
    return entries;
}

QStringList ItemStore::senderSummary(const QString& displayName) const
{
    for (const SenderEntry& entry : senders()) {
        if (entry.name == displayName)
            return entry.rawNames;
    }
    return {displayName};
}

QString ItemStore::displayName(const QString& rawSender, const platform::Defaults& defaults)
{
    return displayNameWith(defaults.stringMap(QLatin1String(kSenderAliases)), rawSender);
}

QString ItemStore::displayName(const QString& rawSender)
{
    return displayName(rawSender, platform::Defaults::standard());
}

void ItemStore::setAlias(const QString& alias, const QString& rawSender)
{
    QMap<QString, QString> aliases = m_defaults.stringMap(QLatin1String(kSenderAliases));
    const QString trimmed = alias.trimmed();
    if (!trimmed.isEmpty() && trimmed != rawSender)
        aliases.insert(rawSender, trimmed);
    else
        aliases.remove(rawSender);
    m_defaults.setStringMap(QLatin1String(kSenderAliases), aliases);
    announceChange();
}

void ItemStore::renameSender(const QString& displayName, const QString& newName)
{
    const QString trimmed = newName.trimmed();
    for (const QString& raw : senderSummary(displayName))
        setAlias(trimmed, raw);
}

SenderArrival ItemStore::arrivalMode(const QString& rawSender) const
{
    const QMap<QString, QString> modes = m_defaults.stringMap(QLatin1String(kSenderArrival));
    return modes.value(rawSender.toLower()) == QLatin1String("quiet") ? SenderArrival::quiet
                                                                      : SenderArrival::normal;
}

} // namespace vesker
