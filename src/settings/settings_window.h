#pragma once

class QWidget;

namespace vesker {

class ServerController;

// Opens the Settings window, or brings the open one forward: there is only ever one.
void showSettingsWindow(ServerController& controller, QWidget* parent = nullptr);

} // namespace vesker
