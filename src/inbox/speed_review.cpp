#include "inbox/speed_review.h"

#include "store/item_store.h"

namespace vesker {

SpeedReview::SpeedReview(QList<ScreenItem> items)
    : m_items(std::move(items))
{ }

std::optional<ScreenItem> SpeedReview::current() const
{
    if (atEnd())
        return std::nullopt;
    return m_items.at(m_index);
}

void SpeedReview::decide(bool remove)
{
    if (atEnd())
        return;
    const QUuid id = m_items.at(m_index).id;
    if (remove)
        m_marked.insert(id);
    else
        m_marked.remove(id);
    ++m_index;
}

void SpeedReview::previous()
{
    m_index = std::max(0, m_index - 1);
}

void SpeedReview::deleteMarked(ItemStore& store)
{
    store.delete_(QList<QUuid>(m_marked.cbegin(), m_marked.cend()));
    m_marked.clear();
}

QString SpeedReview::progressText() const
{
    if (atEnd())
        return QStringLiteral("%1 reviewed").arg(m_items.size());
    return QStringLiteral("%1 of %2").arg(m_index + 1).arg(m_items.size());
}

QString SpeedReview::marksText() const
{
    return m_marked.isEmpty() ? QString()
                              : QStringLiteral("\u00b7 %1 to delete").arg(markedCount());
}

QString SpeedReview::endText() const
{
    if (m_marked.isEmpty())
        return QStringLiteral("Nothing marked to delete.");
    return QStringLiteral("%1 marked to delete \u2014 they go when you finish.").arg(markedCount());
}

QString SpeedReview::finishTitle() const
{
    return m_marked.isEmpty() ? QStringLiteral("Done")
                              : QStringLiteral("Delete %1 and finish").arg(markedCount());
}

QString SpeedReview::confirmTitle() const
{
    return QStringLiteral("Delete %1 item%2?")
        .arg(markedCount())
        .arg(markedCount() == 1 ? QString() : QStringLiteral("s"));
}

} // namespace vesker
