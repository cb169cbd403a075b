#pragma once

#include "card/card_state.h"
#include "inbox/inbox_state.h"
#include "send/outgoing_item.h"
#include "store/screen_item.h"

#include <QFrame>

#include <functional>
#include <memory>
#include <optional>

namespace vesker {

class ItemStore;
class MacInviteHandler;
class ThumbnailLoader;

// What every card works with.
struct CardServices {
    ItemStore& store;
    ThumbnailLoader& thumbnails;
    // Opens the invite link of a text item; none: the button is not offered.
    MacInviteHandler* invites = nullptr;
    // This screen's own name, told to the invite handler.
    std::function<QString()> screenName;
};

// How the list lays one card out.
struct ItemRowLayout {
    ViewMode mode = ViewMode::large;
    bool isNewest = false;
    int availableWidth = 0;
    std::optional<int> fitHeight;
    double scale = 1.0;
    bool operator==(const ItemRowLayout&) const = default;
};

// The card of one received item, large or compact: its header, its photo, PDF or text, and the
// places of its codes, note and actions. Every change it makes goes through the store. Its
// transient state lives in a CardState the list keeps, so scrolling a card away and back loses
// nothing.
class ItemRow : public QFrame {
    Q_OBJECT
public:
    ItemRow(const CardServices& services, const ScreenItem& item, const ItemRowLayout& layout,
        std::shared_ptr<CardState> state, QWidget* parent = nullptr);
    ~ItemRow() override;

    const ScreenItem& item() const { return m_item; }
    // The list hands a card another item, or the same item changed.
    void setItem(const ScreenItem& item, std::shared_ptr<CardState> state);
    void setRowLayout(const ItemRowLayout& layout);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

Q_SIGNALS:
    void forwardRequested(const OutgoingItem& item);
    void previewRequested();

private:
    void rebuild();

    CardServices m_services;
    ScreenItem m_item;
    ItemRowLayout m_layout;
    std::shared_ptr<CardState> m_state;
};

} // namespace vesker
