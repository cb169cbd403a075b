#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace vesker {

namespace platform {
class Defaults;
}

// A named set of screens sent to together; members are the screens' names as discovered.
struct ScreenGroup {
    QUuid id = QUuid::createUuid();
    QString name;
    QStringList members;
    bool operator==(const ScreenGroup&) const = default;

    QJsonObject toJson() const;
    // Needs an id and a name; members that are not strings are left out.
    static std::optional<ScreenGroup> fromJson(const QJsonObject& json);
};

// The book of screens seen on the network: their nicknames, the groups made of them, the ones
// known and the ones the user forgot. Kept in the app-group settings and followed when another
// part of the program changes them. Main thread only.
class ScreenDirectory : public QObject {
    Q_OBJECT
public:
    static constexpr auto kNicknamesKey = "screenNicknames";
    static constexpr auto kGroupsKey = "screenGroups";
    static constexpr auto kKnownKey = "knownScreens";
    static constexpr auto kForgottenKey = "forgottenScreens";

    explicit ScreenDirectory(platform::Defaults& group, QObject* parent = nullptr);

    // In stored order; groups that do not decode are left out.
    const QList<ScreenGroup>& groups() const { return m_groups; }
    QStringList knownScreens() const;

    // The nickname given to `key`, trimmed, when it is not blank; else `key` itself.
    QString displayName(const QString& key, const QString& fallback) const;
    // Adds every non-empty key that is neither known nor forgotten to the known screens.
    void remember(const QStringList& keys);

Q_SIGNALS:
    void groupsChanged();
    void knownScreensChanged();

private:
    void loadGroups();

    platform::Defaults& m_defaults;
    QList<ScreenGroup> m_groups;
};

} // namespace vesker
