#pragma once

namespace vesker::platform {

// The program's name on the desktop, in the freedesktop reverse-DNS form: its desktop entry is
// "com.halvane.Vesker.desktop", its icon in the theme and its AppStream id carry the same name.
inline constexpr auto kAppId = "com.halvane.Vesker";

} // namespace vesker::platform
