#pragma once

#include "store/screen_item.h"

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace vesker {

class ItemStore;

// Going through a fixed list of items one at a time, marking some to delete: nothing is
// deleted until the marks are confirmed at the end. The list is a copy taken when the review
// starts; arrivals and removals in the store do not change it.
class SpeedReview {
public:
    explicit SpeedReview(QList<ScreenItem> items);

    const QList<ScreenItem>& items() const { return m_items; }
    // Equal to the number of items once the last one has been decided.
    int index() const { return m_index; }
    bool atEnd() const { return m_index >= m_items.size(); }
    std::optional<ScreenItem> current() const;
    bool isMarked(const QUuid& id) const { return m_marked.contains(id); }
    int markedCount() const { return int(m_marked.size()); }

    // Marks or unmarks the current item and goes on; nothing at the end.
    void decide(bool remove);
    // Back one item, never before the first.
    void previous();
    void discardMarks() { m_marked.clear(); }
    // Deletes every marked item that the store still holds, with one save for them all.
    void deleteMarked(ItemStore& store);

    // "3 of 12", or "12 reviewed" at the end.
    QString progressText() const;
    // "· 2 to delete"; empty while nothing is marked.
    QString marksText() const;
    // What the end card says about the marks.
    QString endText() const;
    // "Done", or "Delete 2 and finish".
    QString finishTitle() const;
    // "Delete 2 items?", "Delete 1 item?".
    QString confirmTitle() const;

private:
    QList<ScreenItem> m_items;
    int m_index = 0;
    QSet<QUuid> m_marked;
};

} // namespace vesker
