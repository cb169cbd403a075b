#pragma once

#include <QtGlobal>

namespace vesker::platform {

// Adds or removes _NET_WM_STATE_SKIP_TASKBAR on a top-level X11 window, through a connection of
// our own to $DISPLAY. Both ways are taken, because which one the window manager listens to
// depends on whether it has taken the window in yet: the property for a window not yet managed,
// the EWMH request for a managed one. False when there is no X display.
bool setSkipTaskbar(quintptr window, bool skip);

} // namespace vesker::platform
