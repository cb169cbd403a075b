#include "store/item_queries.h"

#include "store/senders.h"

#include <QCollator>
#include <QHash>

#include <algorithm>

namespace vesker {

namespace {

void sortNewestFirst(QList<ScreenItem>& items)
{
    std::stable_sort(items.begin(), items.end(),
        [](const ScreenItem& a, const ScreenItem& b) { return a.receivedAt > b.receivedAt; });
}

} // namespace

QList<ScreenItem> itemsIn(const QList<ScreenItem>& items, ItemStatus status)
{
    QList<ScreenItem> result;
    for (const ScreenItem& item : items) {
        if (item.status == status)
            result.append(item);
    }
    sortNewestFirst(result);
    return result;
}

bool isListedIn(const ScreenItem& item, ItemStatus status, const ItemFilter& filter,
    const QString& search, const SenderAliases& aliases)
{
    if (item.status != status)
        return false;
    const QString shownSender = aliases.displayName(item.sender);
    const bool kept = std::visit(
        [&](const auto& f) {
            using F = std::decay_t<decltype(f)>;
            if constexpr (std::is_same_v<F, ItemFilter::Sender>) {
                return shownSender == f.name;
            } else if constexpr (std::is_same_v<F, ItemFilter::Tag>) {
                return std::any_of(item.tags.begin(), item.tags.end(),
                    [&f](const QString& t) { return t.compare(f.name, Qt::CaseInsensitive) == 0; });
            } else {
                return true;
            }
        },
        filter.value);
    return kept && item.matches(search, shownSender);
}

QList<ScreenItem> itemsIn(const QList<ScreenItem>& items, ItemStatus status,
    const ItemFilter& filter, const QString& search, const platform::Defaults& defaults)
{
    const SenderAliases aliases(defaults);
    QList<ScreenItem> result;
    for (const ScreenItem& item : items) {
        if (isListedIn(item, status, filter, search, aliases))
            result.append(item);
    }
    sortNewestFirst(result);
    return result;
}

bool listedBefore(const ScreenItem& a, const ScreenItem& b,
    const std::function<qsizetype(const QUuid&)>& storedRow)
{
    if (a.receivedAt != b.receivedAt)
        return a.receivedAt > b.receivedAt;
    return storedRow(a.id) < storedRow(b.id);
}

int countIn(const QList<ScreenItem>& items, ItemStatus status)
{
    return int(std::count_if(items.begin(), items.end(),
        [status](const ScreenItem& item) { return item.status == status; }));
}

QList<ScreenItem> groupOf(const QList<ScreenItem>& items, const ScreenItem& item)
{
    if (item.groupID.isEmpty())
        return {item};
    QList<ScreenItem> group;
    for (const ScreenItem& stored : items) {
        if (stored.groupID == item.groupID)
            group.append(stored);
    }
    return group;
}

QList<TagEntry> tagsOf(const QList<ScreenItem>& items)
{
    QHash<QString, int> counts;
    for (const ScreenItem& item : items) {
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

} // namespace vesker
