#pragma once

#include "store/screen_item.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QUuid>

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
    int indexOf(const QUuid& id) const { return m_rows.value(id, -1); }

    // Returns the edits applied. An id listed twice is kept where it first appears.
    CardListEdits setItems(const QList<ScreenItem>& items);

Q_SIGNALS:
    void removed(const QList<int>& oldRows);
    void inserted(const QList<int>& rows);
    void updated(const QList<int>& rows);

private:
    QList<ScreenItem> m_items;
    QHash<QUuid, int> m_rows;
};

} // namespace vesker
