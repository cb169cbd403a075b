#include "send/send_sheet.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vesker {

// The items it was given, kept and not shown.
SendSheet::SendSheet(const QList<OutgoingItem>& items, QWidget* parent)
    : QDialog(parent)
    , m_items(items)
{
    setObjectName(QStringLiteral("sendSheet"));
    setWindowModality(Qt::WindowModal);
    new QVBoxLayout(this);
    layout()->addWidget(new QLabel(QStringLiteral("Send"), this));
}

} // namespace vesker
