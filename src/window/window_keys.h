#pragma once

// The settings the window manager reads, and the two that decide how the program shows itself on
// the desktop. Read without a widget by onboarding and the application's start.
namespace vesker::window_keys {

inline constexpr const char* kArrivalBehavior = "arrivalBehavior";
inline constexpr const char* kFullScreenStyle = "fullScreenStyle";
inline constexpr const char* kFullScreenDisplay = "fullScreenDisplay";
inline constexpr const char* kWakeDisplayOnArrival = "wakeDisplayOnArrival";
// The tray icon and the task-bar entry. The stored names come from the first version of the
// settings file, which other copies of the program still read, so they stay as written.
inline constexpr const char* kShowTrayIcon = "showInMenuBar";
inline constexpr const char* kHideTaskbarEntry = "hideDockIcon";

} // namespace vesker::window_keys
