#pragma once

#include "store/screen_item.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QUuid>

#include <functional>
#include <optional>

namespace vesker {

// The edits that turn one list of items into another, matched by id. An id whose place among
// the kept ids changed is both removed and inserted.
struct CardListEdits {
    QList<int> removals; // rows of the old list, ascending
    QList<int> insertions; // rows of the new list, ascending
    QList<int> updates; // rows of the new list whose record changed in place
    bool isEmpty() const { return removals.isEmpty() && insertions.isEmpty() && updates.isEmpty(); }

    static CardListEdits between(const QList<ScreenItem>& before, const QList<ScreenItem>& after);
};

// The ordered items the card list shows. A new list is applied as edits, removals first, then
// insertions, then updates, each announced once after it is applied, so a view can mirror the
// list step by step without ever starting over.
class CardListModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const QList<ScreenItem>& items() const { return m_items; }
    int count() const { return int(m_items.size()); }
    // -1 when the id is not listed.
    int indexOf(const QUuid& id) const
    {
        const auto it = m_rows.constFind(id);
        return it == m_rows.cend() ? -1 : int(*it + m_rowOffset);
    }

    // Returns the edits applied. An id listed twice is kept where it first appears.
    CardListEdits setItems(const QList<ScreenItem>& items);

    // Whether `a` is listed above `b`.
    using ListedBefore = std::function<bool(const ScreenItem& a, const ScreenItem& b)>;
    // One item's change, at a cost that does not grow with the list: `item` is its listed
    // record (none when it is no longer listed), placed after every item `before` puts above
    // it. The list is taken to be in `before`'s order already.
    CardListEdits place(
        const QUuid& id, const std::optional<ScreenItem>& item, const ListedBefore& before);

Q_SIGNALS:
    void removed(const QList<int>& oldRows);
    void inserted(const QList<int>& rows);
    void updated(const QList<int>& rows);

private:
    void reindex();
    // Rows from `row` on moved by `by`; shifts whichever side of the row is shorter.
    void shiftRows(int row, int by);

    QList<ScreenItem> m_items;
    // An id's row is its key plus the offset, so an arrival at the top moves no key.
    QHash<QUuid, qint64> m_rows;
    qint64 m_rowOffset = 0;
};

} // namespace vesker
