#pragma once

#include "platform/desktop_notifications.h"

#include <QDBusConnection>
#include <QList>
#include <QStringList>

namespace vesker::test {

// Keeps every banner the program posts, as (id, title, body), and shows none: it is on a bus
// connection that was never opened.
class RecordingNotifications final : public platform::DesktopNotifications {
public:
    RecordingNotifications()
        : DesktopNotifications(QDBusConnection(QStringLiteral("recording-notifications")))
    { }
    void post(const QString& id, const QString& title, const QString& body) override
    {
        posted.append({id, title, body});
    }
    QList<QStringList> posted;
};

} // namespace vesker::test
