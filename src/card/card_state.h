#pragma once

#include <QString>

namespace vesker {

// What one card remembers while its item stays listed, whether or not its widget exists at the
// moment: the list keeps these by item id and drops one when its item leaves the list.
struct CardState {
    bool revealed = false;
    bool showAllText = false;
    // "Copied" is showing after a copy from this card.
    bool copiedFlash = false;
    double zoom = 1.0;
    // Typed into the tag field and not yet committed with Return.
    QString tagsText;
};

} // namespace vesker
