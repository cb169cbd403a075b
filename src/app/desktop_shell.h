#pragma once

#include "receive/desktop_actions.h"

namespace vesker {

class WindowManager;

// The desktop the receive side talks to: the window manager, the sound theme and the
// clipboard.
class DesktopShell final : public DesktopActions {
public:
    explicit DesktopShell(WindowManager& windows)
        : m_windows(windows)
    { }

    void showWindow() override;
    void handleArrival(const ScreenItem& item) override;
    void copyToClipboard(const QString& text) override;
    void playSound(const QString& name) override;

private:
    WindowManager& m_windows;
};

} // namespace vesker
