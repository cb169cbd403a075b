#pragma once

#include <QString>

namespace vesker {

struct ScreenItem;

// What the receive side asks of the desktop. Declared here so that the core never reaches for
// a window, the clipboard or the sound theme itself; the application implements it over its
// windows, and tests record what was asked. Main thread only.
class DesktopActions {
public:
    virtual ~DesktopActions() = default;

    // Brings the main window forward: a device waits for approval, a pairing request.
    virtual void showWindow() = 0;
    // An item reached the main screen; whether the window moves is the desktop's decision.
    virtual void handleArrival(const ScreenItem& item) = 0;
    virtual void copyToClipboard(const QString& text) = 0;
    // A named alert sound ("Glass", "Tink").
    virtual void playSound(const QString& name) = 0;
};

} // namespace vesker
