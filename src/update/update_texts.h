#pragma once

#include "update/updater.h"

#include <QStringList>

#include <optional>

namespace vesker::update_text {

// "Version 2.1 is available"
QString availableTitle(const UpdateRelease& release);
// "Download (12.3 MB)", or "Download" when the manifest gives no size.
QString downloadTitle(const UpdateRelease& release);
// The Settings row's line under the version: empty while idle and when a release is offered
// (the row shows the release itself then).
QString statusLine(const UpdateStatus& status);

// The alert after the menu's check. The first button opens the download, the third skips the
// version; the others only close the alert.
struct Alert {
    QString message;
    QString informative;
    QStringList buttons;
};
// None while idle or checking: there is no outcome to tell.
std::optional<Alert> resultAlert(const UpdateStatus& status, const QString& currentVersion);

} // namespace vesker::update_text
