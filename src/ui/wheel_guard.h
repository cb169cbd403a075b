#pragma once

class QWidget;

namespace vesker {

// Pickers, sliders and spin boxes inside `window` change by the mouse wheel only while they have
// the keyboard focus; under a wheel turned to scroll the page they pass it on to the page, and
// the wheel no longer gives them the focus.
void wheelChangesOnlyFocusedControls(QWidget& window);

} // namespace vesker
