#pragma once

#include "store/screen_item.h"

#include <QList>
#include <QString>

#include <functional>

namespace vesker {

class SenderAliases;

namespace platform {
class Defaults;
} // namespace platform

struct TagEntry {
    QString tag;
    int count = 0;
    bool operator==(const TagEntry&) const = default;
};

// The lists the views make of a store's items (ItemStore::items()).

// The items of one status, newest first; items of one second keep their stored order.
QList<ScreenItem> itemsIn(const QList<ScreenItem>& items, ItemStatus status);
// What the Inbox list shows: the items of one status narrowed by the filter and the search,
// newest first. Senders are matched and searched by the name they are shown under, which the
// aliases in `defaults` give.
QList<ScreenItem> itemsIn(const QList<ScreenItem>& items, ItemStatus status,
    const ItemFilter& filter, const QString& search, const platform::Defaults& defaults);
// Whether itemsIn() with these choices lists `item`; `aliases` made from the same defaults.
bool isListedIn(const ScreenItem& item, ItemStatus status, const ItemFilter& filter,
    const QString& search, const SenderAliases& aliases);
// The order of the lists above: newer first, items of one second in stored order (`storedRow`
// gives an item's place in the store).
bool listedBefore(const ScreenItem& a, const ScreenItem& b,
    const std::function<qsizetype(const QUuid&)>& storedRow);
int countIn(const QList<ScreenItem>& items, ItemStatus status);
// Every item sent together with `item`, in stored order; the item alone when it has no group.
QList<ScreenItem> groupOf(const QList<ScreenItem>& items, const ScreenItem& item);
// Each tag with the number of items carrying it, sorted ignoring case.
QList<TagEntry> tagsOf(const QList<ScreenItem>& items);

} // namespace vesker
