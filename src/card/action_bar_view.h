#pragma once

#include "card/item_row.h"
#include "store/screen_item.h"

#include <QWidget>

#include <functional>

class QBoxLayout;
class QLabel;
class QMessageBox;
class QPushButton;

namespace vesker {

// The row of actions at the foot of a card. The full bar answers the sender, files the item
// away, deletes it or its set, forwards, opens, copies, finds and turns it; the compact bar of
// simple mode keeps only Got it, Archive, Delete and Open or Copy. No button carries a
// shortcut: the window's shortcuts act on the newest item whether or not its card exists.
class ActionBarView : public QWidget {
    Q_OBJECT
public:
    ActionBarView(ItemRow& card, const CardServices& services, const ScreenItem& item, bool compact,
        QWidget* parent = nullptr);

    // Shows the controls for the item as it is now.
    void refresh(const ScreenItem& item);

    // One row when it fits; else the forward-and-file group goes under the first.
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int oneRowWidth() const;
    void arrange(int width);
    void fill();
    void addGotIt(bool offered);
    void fillFull();
    void fillCompact();
    // `action` acts on the item the bar shows when the button is clicked.
    QPushButton* button(const QString& name, const QString& title, const QString& symbol,
        const QString& help, std::function<void(const ScreenItem&)> action);
    // Runs once the click that asked for it is over: the action may rebuild this bar.
    void later(std::function<void()> action);
    // Everything of an item that decides which buttons the bar has and what they say: another
    // item alike keeps the buttons, which act on whatever item the bar shows.
    QString buttonsKey(const ScreenItem& item) const;
    void askDelete(ItemRow::DeleteScope scope);
    void copy();

    ItemRow& m_card;
    CardServices m_services;
    ScreenItem m_item;
    bool m_compact;
    QWidget* m_row = nullptr;
    QBoxLayout* m_rowLayout = nullptr;
    // The two halves of the bar; buttons go into m_group.
    QWidget* m_first = nullptr;
    QWidget* m_second = nullptr;
    QWidget* m_group = nullptr;
    QLabel* m_copied = nullptr;
    // "Got it" pressed on this bar, and its size: its place stays empty for that item.
    QUuid m_saidHere;
    QSize m_saidSize;
};

// "Delete this item?" or "Delete all N items in this set?", asked window-modally; "Delete"
// removes the item, or each item of its set in the store's order. Return never deletes.
QMessageBox* askToDelete(QWidget* parent, ItemStore& store, const ScreenItem& item, bool wholeSet);

} // namespace vesker
