#pragma once

#include "platform/permissions.h"

#include <QString>

#include <functional>

namespace vesker {

class ServerController;

namespace platform {
class Defaults;
}

// What the first-run sheet says and decides, apart from its widgets: the status beside each
// section, the control beside each permission, the name sentence, and what "Continue" applies.
namespace onboarding {

// Green, red and gray: the colours of a status dot.
enum class Tone { good, bad, neutral };

struct StatusLine {
    QString text;
    Tone tone = Tone::neutral;
};

StatusLine permissionStatus(Permissions::Status status);
// "Listening" while the server listens and phones can find it, else what stands in the way.
StatusLine networkStatus(
    bool running, const QString& serverStatus, const QString& discoveryProblem = {});

// The button beside a permission. One that opens settings opens the desktop's page for it.
struct PermissionButton {
    QString title;
    bool enabled = true;
    bool opensSettings = false;
};

PermissionButton notificationsButton(Permissions::Status status);
PermissionButton accessibilityButton(Permissions::Status status);

QString nameSentence(const QString& computerName);
QString namePlaceholder(const QString& computerName);

// The drafts of the sheet: nothing of these is written before "Continue".
struct Drafts {
    QString name;
    bool launchAtLogin = false;
};

// The drafts as the sheet opens: the stored name, and whether the session starts the program.
Drafts currentDrafts(const platform::Defaults& defaults);

// What "Continue" asks of the rest of the program beside the server's rename.
struct StartupHooks {
    std::function<void(bool enabled)> setLaunchAtLogin;
    std::function<void(bool hide)> applyActivationPolicy;
};

// Renames the screen (the server restarts only for a new name), sets the login item, and
// brings the task bar entry back when the tray icon is off: hiding both would leave the
// program nothing to be reached by.
void applyDrafts(const Drafts& drafts, ServerController& server, platform::Defaults& defaults,
    const StartupHooks& hooks);

} // namespace onboarding
} // namespace vesker
