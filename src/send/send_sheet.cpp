#include "send/send_sheet.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesker {

namespace {

QString describe(const OutgoingItem& item)
{
    if (!item.imageURL.isEmpty())
        return item.imageURL.fileName();
    return item.text.left(200);
}

} // namespace

SendSheet::SendSheet(const QList<OutgoingItem>& items, QWidget* parent)
    : QDialog(parent)
    , m_items(items)
{
    setObjectName(QStringLiteral("sendSheet"));
    setWindowTitle(QStringLiteral("Send"));
    setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(this);
    // A list widget shows its rows as plain text, so a pasted text cannot turn into markup.
    auto* list = new QListWidget(this);
    list->setObjectName(QStringLiteral("sendItems"));
    for (const OutgoingItem& item : m_items)
        list->addItem(describe(item));
    layout->addWidget(list);

    auto* note = new QLabel(
        QStringLiteral("Sending to other screens is not available in this version."), this);
    note->setObjectName(QStringLiteral("sendUnavailable"));
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("sendClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

} // namespace vesker
