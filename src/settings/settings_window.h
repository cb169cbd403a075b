#pragma once

#include <QWidget>

class QTabWidget;

namespace vesker {

class ServerController;
class WindowManager;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// The Settings window: a "General" and an "Access" tab; later parts of the program add theirs.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kDefaultSize {640, 780};

    SettingsWindow(ServerController& controller, platform::Defaults& defaults,
        WindowManager& windows, const platform::Clock& clock, QWidget* parent = nullptr);

    QTabWidget& tabs() const { return *m_tabs; }

private:
    QTabWidget* m_tabs = nullptr;
};

// Opens the Settings window, or brings the open one forward: there is only ever one.
void showSettingsWindow(ServerController& controller, QWidget* parent = nullptr);

} // namespace vesker
