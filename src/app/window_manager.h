#pragma once

namespace vesker {

// Decides what the main window does when an item arrives. A plain single instance that reads
// its settings at each call and publishes nothing.
class WindowManager {
public:
    static WindowManager& shared();

    // An item arrived for the main screen.
    void handleArrival();
    // Brings the main window forward (a device waits for approval, a pairing request).
    void show();

private:
    WindowManager() = default;
};

} // namespace vesker
