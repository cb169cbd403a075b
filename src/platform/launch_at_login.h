#pragma once

#include <QString>

namespace vesker::platform {

// Starting the program when the user logs in, the XDG autostart way: an entry in
// $XDG_CONFIG_HOME/autostart that the session starts. Turning it off removes the entry; a
// session's own "disable" of it (Hidden=true, written by its settings tool) is its business.
class LaunchAtLogin {
public:
    // $XDG_CONFIG_HOME/autostart/com.halvane.Vesker.desktop
    static QString entryPath();
    // Versions up to 1.11.4 named the entry "vesker.desktop"; one left there still counts.
    static bool isEnabled();

    // Writes or removes the entry; `program` is the absolute path that the session starts
    // (this executable when empty). An entry under the earlier name goes either way, or the
    // session would start the program twice. False with `error` set when a file could not be
    // changed.
    static bool setEnabled(bool enabled, QString program = {}, QString* error = nullptr);

    // The Exec value that starts exactly `program`, quoted and escaped for a desktop entry.
    static QString execValue(const QString& program);
};

} // namespace vesker::platform
