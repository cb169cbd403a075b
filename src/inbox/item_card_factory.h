#pragma once

#include "card/item_row.h"
#include "inbox/card_list_view.h"

#include <QHash>
#include <QSize>

#include <functional>
#include <memory>

namespace vesker {

class InboxState;

// Makes the Inbox's cards: an ItemRow laid out as the window's state says for an item area of
// the list's viewport size, with the transient state kept per item while it stays listed.
class ItemCardFactory : public CardFactory {
public:
    struct Callbacks {
        std::function<QSize()> areaSize;
        std::function<void(const OutgoingItem&)> forward;
        // The item, and the picture its card shows now (none yet: null), to show while the
        // whole photo loads.
        std::function<void(const ScreenItem&, const QImage&)> preview;
    };

    ItemCardFactory(CardServices services, InboxState& state, Callbacks callbacks);

    QWidget* create(const ScreenItem& item, bool isFirst, QWidget* parent) override;
    void reuse(QWidget* card, const ScreenItem& item, bool isFirst) override;
    void update(QWidget* card, const ScreenItem& item, bool isFirst) override;
    int estimateHeight(const ScreenItem& item, int width) const override;
    void forget(const QUuid& id) override;
    // What the card of that item remembers, kept while the item is listed.
    std::shared_ptr<CardState> stateFor(const QUuid& id);

    ItemRowLayout rowLayout(bool isFirst) const;

private:
    CardServices m_services;
    InboxState& m_state;
    Callbacks m_callbacks;
    QHash<QUuid, std::shared_ptr<CardState>> m_cardStates;
};

} // namespace vesker
