#include "send/outgoing_item.h"

#include <QMimeData>

namespace vesker {

// Local files, else text.
QList<OutgoingItem> OutgoingItem::fromPasteboard(const QMimeData* data)
{
    QList<OutgoingItem> items;
    if (!data)
        return items;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            items.append({.imageURL = url});
    if (items.isEmpty() && !data->text().trimmed().isEmpty())
        items.append({.text = data->text().trimmed()});
    return items;
}

} // namespace vesker
