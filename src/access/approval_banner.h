#pragma once

#include "access/access_types.h"

#include <QColor>
#include <QFrame>
#include <QHash>
#include <QMap>
#include <QStringList>

#include <functional>

class QAbstractScrollArea;

namespace vesker {

// What one waiting device's card says and does.
struct ApprovalCardContent {
    QColor tint; // the card's background, already at its opacity
    QWidget* leading = nullptr; // preview or symbol; the card takes it
    QString headline;
    QString detail;
    std::function<void(GrantDuration)> allow;
    std::function<void()> deny;
    std::function<void()> block;
    QString key; // the waiting device: a key press on its card stays there while it waits
};

// A stack of cards, one per device waiting for the user's answer, with a divider under it; no
// room at all while nobody waits. The stack shows a few cards at once and scrolls to the others,
// so every device can be answered in any order; only the cards in view, and one each side, are
// widgets, so a flood of devices costs no more than a few. Subclasses say what the cards hold.
class ApprovalBanner : public QFrame {
    Q_OBJECT
public:
    // Cards seen at once; the stack scrolls to the devices after them.
    static constexpr int kShownCards = 3;

    explicit ApprovalBanner(QWidget* parent = nullptr);
    ~ApprovalBanner() override;

protected:
    // Rebuilds on the next turn of the event loop: the button that changed the list may be
    // one of the cards about to go.
    void scheduleRebuild();
    // Every waiting device, one key each, in the order their cards stand.
    virtual QStringList waitingKeys() = 0;
    // The cards of the waiting devices from `first` on, at most `count` of them.
    virtual QList<ApprovalCardContent> cards(qsizetype first, qsizetype count) = 0;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuild();
    // Makes the cards in view (and one each side) and drops the others.
    void layoutCards();
    void layoutCardsOnce();
    // The card height at a width of the stack's view: the tallest card made.
    int rowHeightAt(int viewportWidth) const;
    // A few rows high: as many as wait, up to kShownCards.
    int stackHeight(int width) const;
    // Lets the stack scroll over all the rows.
    void sizeStack();
    int rowPitch() const;
    void showRow(qsizetype row);
    // The row of the card that holds the keyboard focus, or -1.
    qsizetype focusedRow() const;
    void focusChanged(QWidget* now);
    // Gives the focus to the nearest control above the banner.
    void focusAbove();

    QAbstractScrollArea* m_stack = nullptr;
    QWidget* m_tabPlace = nullptr;
    QStringList m_keys;
    QMap<qsizetype, QWidget*> m_cards; // by row
    // While the cards are made again: those of before, by key, to be filled anew.
    QHash<QString, QWidget*> m_spareCards;
    int m_rowHeight = 0; // the tallest card measured at the current width; 0 until then
    int m_measuredWidth = -1;
    bool m_scheduled = false;
    bool m_laying = false;
    bool m_layOutAgain = false;
};

} // namespace vesker
