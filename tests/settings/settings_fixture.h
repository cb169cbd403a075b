// What the Settings window works with, over a real controller on 127.0.0.1.
#pragma once

#include "focus_guard/focus_guard.h"
#include "platform/display_wake.h"
#include "platform/permissions.h"
#include "receive/controller_fixture.h"
#include "settings/settings_window.h"
#include "support/fake_workspace.h"
#include "update/updater.h"
#include "window/window_manager.h"

namespace vesker::test {

class SettingsServicesTest : public ControllerTest {
protected:
    SettingsWindowServices services()
    {
        return {.controller = *m_controller,
            .defaults = m_defaults,
            .clock = m_clock,
            .windows = m_windows,
            .focusGuard = m_focus,
            .permissions = m_permissions,
            .updater = m_updater};
    }

    std::unique_ptr<ServerController> m_controller = makeController();
    platform::DisplayWake m_wake;
    WindowManager m_windows {m_defaults, m_wake};
    FakeWorkspace m_workspace;
    FocusGuard m_focus {m_defaults, m_workspace};
    Permissions m_permissions;
    Updater m_updater {m_defaults, m_clock, {.manifestUrl = QUrl()}};
};

} // namespace vesker::test
