#pragma once

namespace vesker {

// What one card remembers while its item stays listed, whether or not its widget exists at the
// moment: the list keeps these by item id and drops one when its item leaves the list.
struct CardState {
    bool revealed = false;
    bool showAllText = false;
    double zoom = 1.0;
};

} // namespace vesker
