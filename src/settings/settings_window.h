#pragma once

#include <QWidget>

class QTabWidget;

namespace vesker {

class FocusGuard;
class Permissions;
class ScreenDirectory;
class ServerController;
class Updater;
class WindowManager;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// What the Settings window changes and shows.
struct SettingsWindowServices {
    ServerController& controller;
    platform::Defaults& defaults;
    const platform::Clock& clock;
    WindowManager& windows;
    FocusGuard& focusGuard;
    Permissions& permissions;
    Updater& updater;
    // The nicknames and groups of the screens sent to; none: the Screens tab shows neither.
    ScreenDirectory* directory = nullptr;
    // Looks for screens on the network while the Screens tab is shown.
    bool discoverScreens = true;
};

// The Settings window: "General", "Display", "Access" and "Screens" tabs; later parts of the
// program add theirs.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    using Services = SettingsWindowServices;

    static constexpr QSize kDefaultSize {640, 780};

    explicit SettingsWindow(const Services& services, QWidget* parent = nullptr);

    QTabWidget& tabs() const { return *m_tabs; }

private:
    QTabWidget* m_tabs = nullptr;
};

// Opens the Settings window, or brings the open one forward: there is only ever one.
void showSettingsWindow(const SettingsWindowServices& services, QWidget* parent = nullptr);

} // namespace vesker
