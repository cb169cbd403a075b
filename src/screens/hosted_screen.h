#pragma once

#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace vesker {

// An extra named screen this computer serves on a port of its own, with its own PIN and Inbox.
struct HostedScreen {
    QUuid id;
    QString name;
    QString slug;
    QString pin;
    quint16 port = 0;
    bool requirePinToSend = false;
    bool enabled = true;
    // Its Inbox shown in web browsers; off unless the user turns it on for this screen alone.
    bool allowBrowserScreen = false;

    static std::optional<HostedScreen> fromJson(const QJsonObject& json);
    QJsonObject toJson() const;
    bool operator==(const HostedScreen&) const = default;
};

} // namespace vesker
