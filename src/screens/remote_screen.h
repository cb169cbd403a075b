#pragma once

#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

namespace vesker {

// A screen reached by an address the user typed.
struct RemoteScreen {
    static constexpr int kDefaultPort = 8787;

    QUuid id = QUuid::createUuid();
    QString name;
    QString url; // exactly as typed
    bool shareOnLAN = false;
    int relayPort = 0;
    bool operator==(const RemoteScreen&) const = default;

    // The address to send to: the typed text trimmed, "http://" when it has no scheme, and the
    // default port when it names none and does not end in "/" (such an address points into a
    // site, whose port the user chose). None when no valid address comes of it.
    std::optional<QUrl> baseURL() const;

    // As "remoteScreens" keeps it.
    QJsonObject toJson() const;
};

} // namespace vesker
