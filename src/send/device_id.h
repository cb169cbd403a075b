#pragma once

#include <QString>

namespace vesker {

namespace platform {
class Defaults;
}

// The id this computer sends as "X-Device" to every screen, so that a screen's approval of it
// lasts across launches: an upper-case UUID kept under "deviceID" in the app-group settings and
// made on first use.
QString thisDeviceID(platform::Defaults& group);

} // namespace vesker
