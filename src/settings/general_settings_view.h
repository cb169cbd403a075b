#pragma once

#include <QWidget>

namespace vesker {

class FocusGuard;
class Permissions;
class Updater;
class WindowManager;

namespace platform {
class Defaults;
}

// What an arrival does with the window, how the program starts, and how the Inbox looks and
// sends photos.
class GeneralSettingsView : public QWidget {
    Q_OBJECT
public:
    GeneralSettingsView(platform::Defaults& defaults, WindowManager& windows,
        FocusGuard& focusGuard, Permissions& permissions, Updater& updater,
        QWidget* parent = nullptr);

private:
    QWidget* makeArrivalGroup();
    QWidget* makeStartGroup();
    QWidget* makeInboxGroup();

    platform::Defaults& m_defaults;
    WindowManager& m_windows;
};

} // namespace vesker
