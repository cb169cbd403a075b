#include "card/item_row.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vesker {

// A card that shows who sent the item, nothing more.
ItemRow::ItemRow(const CardServices& services, const ScreenItem& item,
    const ItemRowLayout& layout, std::shared_ptr<CardState> state, QWidget* parent)
    : QFrame(parent)
    , m_services(services)
    , m_item(item)
    , m_layout(layout)
    , m_state(std::move(state))
{
    setObjectName(QStringLiteral("itemRow"));
    new QVBoxLayout(this);
    rebuild();
}

ItemRow::~ItemRow() = default;

void ItemRow::setItem(const ScreenItem& item, std::shared_ptr<CardState> state)
{
    m_item = item;
    m_state = std::move(state);
    rebuild();
}

void ItemRow::setRowLayout(const ItemRowLayout& layout) { m_layout = layout; }

int ItemRow::heightForWidth(int) const { return 60; }

void ItemRow::rebuild()
{
    qDeleteAll(findChildren<QLabel*>());
    auto* label = new QLabel(m_item.sender, this);
    label->setObjectName(QStringLiteral("cardSender"));
    label->setTextFormat(Qt::PlainText);
    layout()->addWidget(label);
    setMinimumHeight(60);
}

} // namespace vesker
