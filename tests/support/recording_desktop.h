#pragma once

#include "receive/desktop_actions.h"
#include "store/screen_item.h"

#include <QStringList>

namespace vesker::test {

// Records what the receive side asked of the desktop, one line per request: "show",
// "arrival <sender>", "copy <text>", "sound <name>".
class RecordingDesktop final : public DesktopActions {
public:
    QStringList asked;

    void showWindow() override { asked.append(QStringLiteral("show")); }
    void handleArrival(const ScreenItem& item) override
    {
        asked.append(QStringLiteral("arrival ") + item.sender);
    }
    void copyToClipboard(const QString& text) override
    {
        asked.append(QStringLiteral("copy ") + text);
    }
    void playSound(const QString& name) override { asked.append(QStringLiteral("sound ") + name); }
};

} // namespace vesker::test
