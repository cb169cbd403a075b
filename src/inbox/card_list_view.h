#pragma once

#include "store/screen_item.h"

#include <QAbstractScrollArea>
#include <QList>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace vesker {

// Makes and refills the card widgets the list shows; the list owns them once made.
class CardFactory {
public:
    virtual ~CardFactory() = default;
    // A card for the item; `isFirst`: it is the newest card, the one item shortcuts act on.
    virtual QWidget* create(const ScreenItem& item, bool isFirst, QWidget* parent) = 0;
    // Shows another item, or the same item changed, on a card made earlier.
    virtual void reuse(QWidget* card, const ScreenItem& item, bool isFirst) = 0;
    // The card's own item changed: it shows the change and keeps its layout, so that a card
    // changed by a key typed into it is never rebuilt under that key.
    virtual void update(QWidget* card, const ScreenItem& item, bool isFirst)
    {
        reuse(card, item, isFirst);
    }
    // A height for a card not yet made, as close as can be told without making it.
    virtual int estimateHeight(const ScreenItem& item, int width) const = 0;
    // The item left the list: whatever was kept for its card can go.
    virtual void forget(const QUuid& id) = 0;
};

// The Inbox's list of cards, virtualised: it knows every listed item and a height for each
// (estimated until its card is measured) but makes cards only for what is on screen and one
// screen around it, reusing the ones that scrolled away. Changes arrive as a new list and are
// applied by id (inserts, removals, updates), so an arrival or a note edit never rebuilds it.
// The card holding keyboard focus is never destroyed, and the view stays put when a card above
// the top changes height.
class CardListView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CardListView(CardFactory& factory, QWidget* parent = nullptr);
    ~CardListView() override;

    void setItems(const QList<ScreenItem>& items);
    // One item's change without relisting the rest (see CardListModel::place): an arrival, an
    // edit or a removal costs the same whatever the length of the list.
    void placeItem(const QUuid& id, const std::optional<ScreenItem>& item,
        const std::function<bool(const ScreenItem&, const ScreenItem&)>& before);
    const QList<ScreenItem>& items() const;
    // The item's row in items(); -1 when it is not listed.
    int rowOf(const QUuid& id) const;
    // Space between cards and around them, and whether a divider follows each card.
    void setMetrics(int spacing, int inset, bool dividers);
    // The cards' look changed (mode, width, scale): every card is refilled and measured again.
    void refreshAll();

    // Puts the item's card at the top; animated over 0.25 s, easing out.
    void scrollToId(const QUuid& id, bool animated);
    // The id of the card at the top of the viewport; none when the list is empty.
    QUuid topId() const;

    // Tab from outside: the focus goes to the first control of the top card on screen (Backtab:
    // the last of the bottom one). Tab then walks the cards' controls in reading order, making
    // and scrolling to the cards on the way, and leaves the list after the last.
    void enterFocus(bool forward);
    // Where the focus goes when Tab or Backtab leaves the list; none: the window's focus chain.
    void setLeaveFocus(std::function<void(bool forward)> leave);
    // The item whose card holds the keyboard focus; none when the focus is elsewhere.
    QUuid focusedId() const;
    // Scrolls to the item's card and focuses its control of that object name, or its first
    // control; false when the card has no control to focus.
    bool focusItem(const QUuid& id, const QString& control = {});

    QWidget* cardFor(const QUuid& id) const;
    int cardWidgetCount() const;

Q_SIGNALS:
    // A scroll started by scrollToId has reached its place.
    void scrolledTo(const QUuid& id);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace vesker
