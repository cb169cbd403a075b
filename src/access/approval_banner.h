#pragma once

#include "access/access_types.h"

#include <QColor>
#include <QFrame>

#include <functional>

class QVBoxLayout;

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
// room at all while nobody waits. Subclasses say what the cards hold.
class ApprovalBanner : public QFrame {
    Q_OBJECT
public:
    // Cards shown at once; the devices after them wait in the order they came.
    static constexpr qsizetype kShownCards = 3;

    explicit ApprovalBanner(QWidget* parent = nullptr);

protected:
    // Rebuilds on the next turn of the event loop: the button that changed the list may be
    // one of the cards about to go.
    void scheduleRebuild();
    // The cards of the first kShownCards devices to wait.
    virtual QList<ApprovalCardContent> cards() = 0;
    // The devices waiting in all. Those beyond the cards are told as one line under them; a
    // flood of devices then costs no more widgets than a few.
    virtual qsizetype waiting() const = 0;

private:
    void rebuild();
    // Gives the focus to the nearest control above the banner.
    void focusAbove();

    QWidget* m_stack = nullptr;
    QWidget* m_tabPlace = nullptr;
    bool m_scheduled = false;
};

} // namespace vesker
