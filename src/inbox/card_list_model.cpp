#include "inbox/card_list_model.h"

#include <QSet>

#include <algorithm>
#include <vector>

namespace vesker {

namespace {

// Which of the pairs (old row, new row), taken in old order, keep their relative order: the
// longest run increasing in the new row, so that a single moved item costs one removal and one
// insertion rather than shifting everything between its two places.
std::vector<bool> keptInOrder(const std::vector<int>& newRows)
{
    const size_t n = newRows.size();
    std::vector<bool> kept(n, false);
    if (std::is_sorted(newRows.begin(), newRows.end())) {
        // Nothing moved: the usual case of an arrival, a removal or an edit.
        std::fill(kept.begin(), kept.end(), true);
        return kept;
    }
    std::vector<int> tails; // index into newRows of the smallest tail of each run length
    std::vector<int> previous(n, -1);
    for (size_t k = 0; k < n; ++k) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), newRows[k],
            [&newRows](int index, int value) { return newRows[size_t(index)] < value; });
        if (at != tails.begin())
            previous[k] = *(at - 1);
        if (at == tails.end())
            tails.push_back(int(k));
        else
            *at = int(k);
    }
    for (int k = tails.empty() ? -1 : tails.back(); k >= 0; k = previous[size_t(k)])
        kept[size_t(k)] = true;
    return kept;
}

} // namespace

CardListEdits CardListEdits::between(
    const QList<ScreenItem>& before, const QList<ScreenItem>& after)
{
    QHash<QUuid, int> newRowOf;
    newRowOf.reserve(after.size());
    for (int j = 0; j < after.size(); ++j)
        newRowOf.insert(after[j].id, j);

    std::vector<int> oldRows;
    std::vector<int> newRows;
    oldRows.reserve(size_t(before.size()));
    newRows.reserve(size_t(before.size()));
    for (int i = 0; i < before.size(); ++i) {
        const int j = newRowOf.value(before[i].id, -1);
        // A repeated id is listed once; its other places count as gone or new.
        if (j >= 0 && after[j].id == before[i].id) {
            oldRows.push_back(i);
            newRows.push_back(j);
        }
    }
    const std::vector<bool> kept = keptInOrder(newRows);

    std::vector<bool> oldKept(size_t(before.size()), false);
    std::vector<bool> newKept(size_t(after.size()), false);
    CardListEdits edits;
    for (size_t k = 0; k < kept.size(); ++k) {
        if (!kept[k] || newKept[size_t(newRows[k])])
            continue;
        oldKept[size_t(oldRows[k])] = true;
        newKept[size_t(newRows[k])] = true;
        if (!(before[oldRows[k]] == after[newRows[k]]))
            edits.updates.append(newRows[k]);
    }
    for (int i = 0; i < before.size(); ++i) {
        if (!oldKept[size_t(i)])
            edits.removals.append(i);
    }
    for (int j = 0; j < after.size(); ++j) {
        if (!newKept[size_t(j)])
            edits.insertions.append(j);
    }
    return edits;
}

CardListEdits CardListModel::setItems(const QList<ScreenItem>& listed)
{
    // Rows are found by id: an id listed twice is shown once, where it first appears.
    QList<ScreenItem> items = listed;
    QSet<QUuid> seen;
    seen.reserve(listed.size());
    for (const ScreenItem& item : listed)
        seen.insert(item.id);
    if (seen.size() != listed.size()) {
        seen.clear();
        items.clear();
        for (const ScreenItem& item : listed) {
            if (!seen.contains(item.id)) {
                seen.insert(item.id);
                items.append(item);
            }
        }
    }
    const CardListEdits edits = CardListEdits::between(m_items, items);

    if (!edits.removals.isEmpty()) {
        QList<ScreenItem> remaining;
        remaining.reserve(m_items.size() - edits.removals.size());
        qsizetype next = 0;
        for (int i = 0; i < m_items.size(); ++i) {
            if (next < edits.removals.size() && edits.removals[next] == i)
                ++next;
            else
                remaining.append(m_items[i]);
        }
        m_items = std::move(remaining);
        reindex();
        Q_EMIT removed(edits.removals);
    }
    if (!edits.insertions.isEmpty()) {
        QList<ScreenItem> merged;
        merged.reserve(items.size());
        qsizetype next = 0;
        qsizetype kept = 0;
        for (int j = 0; j < items.size(); ++j) {
            if (next < edits.insertions.size() && edits.insertions[next] == j) {
                merged.append(items[j]);
                ++next;
            } else {
                merged.append(m_items[kept++]);
            }
        }
        m_items = std::move(merged);
        reindex();
        Q_EMIT inserted(edits.insertions);
    }
    if (!edits.updates.isEmpty()) {
        for (const int j : edits.updates)
            m_items[j] = items[j];
        Q_EMIT updated(edits.updates);
    }
    return edits;
}

void CardListModel::reindex()
{
    m_rows.clear();
    m_rows.reserve(m_items.size());
    m_rowOffset = 0;
    for (int i = 0; i < m_items.size(); ++i)
        m_rows.insert(m_items[i].id, i);
}

void CardListModel::shiftRows(int row, int by)
{
    if (row > m_items.size() - row) {
        for (int i = row; i < m_items.size(); ++i)
            m_rows[m_items[i].id] += by;
        return;
    }
    m_rowOffset += by;
    for (int i = 0; i < row; ++i)
        m_rows[m_items[i].id] -= by;
}

CardListEdits CardListModel::place(
    const QUuid& id, const std::optional<ScreenItem>& item, const ListedBefore& before)
{
    CardListEdits edits;
    const int row = indexOf(id);
    if (row >= 0) {
        // Order depends on the time received alone: an edit that keeps it keeps the place.
        if (item && item->receivedAt == m_items[row].receivedAt) {
            if (!(m_items[row] == *item)) {
                m_items[row] = *item;
                edits.updates = {row};
                Q_EMIT updated(edits.updates);
            }
            return edits;
        }
        m_rows.remove(id);
        // A list gives back room at its front as cheaply as at its end: the shorter side moves.
        if (row < m_items.size() / 2) {
            std::rotate(m_items.begin(), m_items.begin() + row, m_items.begin() + row + 1);
            m_items.removeFirst();
        } else {
            m_items.removeAt(row);
        }
        shiftRows(row, -1);
        edits.removals = {row};
        Q_EMIT removed(edits.removals);
    }
    if (item) {
        const auto at = std::partition_point(m_items.cbegin(), m_items.cend(),
            [&](const ScreenItem& listed) { return before(listed, *item); });
        const int newRow = int(at - m_items.cbegin());
        // An arrival lands at or near the top; inserting there would move every item below.
        if (newRow < m_items.size() / 2) {
            m_items.prepend(*item);
            std::rotate(m_items.begin(), m_items.begin() + 1, m_items.begin() + newRow + 1);
        } else {
            m_items.insert(newRow, *item);
        }
        // The rows before the new one stay put: shifting the rest is shifting all but them.
        shiftRows(newRow, 1);
        m_rows.insert(id, newRow - m_rowOffset);
        edits.insertions = {newRow};
        Q_EMIT inserted(edits.insertions);
    }
    return edits;
}

} // namespace vesker
