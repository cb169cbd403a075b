#pragma once

namespace vesker::platform {

// Synthetic key presses through the X server's XTest extension: what "Paste into front app"
// needs to type into another program. Only a session on X11 allows it; on Wayland, or without a
// display, nothing is typed and the caller says so.
class KeySynth {
public:
    // This program runs on an X display that offers XTest.
    static bool available();
    // Presses and releases Ctrl+V in whatever window has the keyboard focus now; false when it
    // could not be sent.
    static bool pasteIntoPreviousWindow();
};

} // namespace vesker::platform
