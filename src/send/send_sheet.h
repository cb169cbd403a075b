#pragma once

#include "send/outgoing_item.h"

#include <QDialog>

namespace vesker {

// The Send sheet, opened with what is to be sent (possibly nothing).
class SendSheet : public QDialog {
    Q_OBJECT
public:
    explicit SendSheet(const QList<OutgoingItem>& items, QWidget* parent = nullptr);

    const QList<OutgoingItem>& items() const { return m_items; }

private:
    QList<OutgoingItem> m_items;
};

} // namespace vesker
