#include "onboarding/onboarding.h"
#include "window/window_keys.h"

#include "platform/defaults.h"
#include "platform/launch_at_login.h"
#include "receive/server_controller.h"

namespace vesker::onboarding {

StatusLine permissionStatus(Permissions::Status status)
{
    switch (status) {
    case Permissions::Status::granted:
        return {QStringLiteral("Allowed"), Tone::good};
    case Permissions::Status::denied:
        return {QStringLiteral("Not allowed"), Tone::bad};
    case Permissions::Status::unavailable:
        return {QStringLiteral("Not available"), Tone::bad};
    case Permissions::Status::unknown:
        break;
    }
    return {QStringLiteral("Not asked yet"), Tone::neutral};
}

StatusLine networkStatus(bool running, const QString& serverStatus, const QString& discoveryProblem)
{
    if (running && !discoveryProblem.isEmpty())
        return {
            QStringLiteral("Listening, but phones can't find this computer: ") + discoveryProblem,
            Tone::bad};
    if (running)
        return {QStringLiteral("Listening"), Tone::good};
    return {serverStatus, Tone::neutral};
}

PermissionButton notificationsButton(Permissions::Status status)
{
    if (status == Permissions::Status::denied)
        return {QStringLiteral("Open Desktop Settings"), true, true};
    if (status == Permissions::Status::unavailable)
        return {QStringLiteral("Ask Again"), true, false};
    return {QStringLiteral("Allow"), status != Permissions::Status::granted, false};
}

PermissionButton accessibilityButton(Permissions::Status status)
{
    if (status == Permissions::Status::granted)
        return {QStringLiteral("Granted"), false, false};
    return {QStringLiteral("Allow…"), true, false};
}

QString nameSentence(const QString& computerName)
{
    return QStringLiteral("Phones and other screens see this instead of the computer name (“")
        + computerName + QStringLiteral("”) — e.g. “Pella” rather than “Corla”.");
}

QString namePlaceholder(const QString& computerName)
{
    return computerName.isEmpty() ? QStringLiteral("This computer") : computerName;
}

Drafts currentDrafts(const platform::Defaults& defaults)
{
    return {defaults.string(QStringLiteral("screenName")), platform::LaunchAtLogin::isEnabled()};
}

void applyDrafts(const Drafts& drafts, ServerController& server, platform::Defaults& defaults,
    const StartupHooks& hooks)
{
    server.setScreenName(drafts.name);
    if (hooks.setLaunchAtLogin)
        hooks.setLaunchAtLogin(drafts.launchAtLogin);
    if (!defaults.boolValue(QLatin1String(window_keys::kShowTrayIcon), true))
        defaults.set(QLatin1String(window_keys::kHideTaskbarEntry), false);
    if (hooks.applyActivationPolicy)
        hooks.applyActivationPolicy(
            defaults.boolValue(QLatin1String(window_keys::kHideTaskbarEntry), false));
}

} // namespace vesker::onboarding
