#include "app/desktop_shell.h"

#include "platform/sounds.h"
#include "window/window_manager.h"

#include <QClipboard>
#include <QGuiApplication>

namespace vesker {

void DesktopShell::showWindow()
{
    m_windows.show();
}

void DesktopShell::handleArrival(const ScreenItem&)
{
    m_windows.handleArrival();
}

void DesktopShell::copyToClipboard(const QString& text)
{
    // A headless run (the offscreen platform without a clipboard) has nothing to copy into.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    clipboard->clear();
    clipboard->setText(text);
}

void DesktopShell::playSound(const QString& name)
{
    platform::Sounds::play(name);
}

} // namespace vesker
