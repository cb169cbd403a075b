#pragma once

#include <QString>

namespace vesker::platform {

// The name people gave this computer: the desktop's "pretty" host name from
// org.freedesktop.hostname1 when the system bus has it, else the plain host name; empty when
// neither is known. Asked once per run: the bus call must not be repeated on every request.
QString computerName();

// The operating system's host name as it is ("studio", or "studio.local" where so configured).
// The name other machines on the local network reach this one by is DnsSdHostName's.
QString hostName();

} // namespace vesker::platform
