#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
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
//
// A screen's key is its name as discovered; a screen reached by address is keyed by
// remoteKey(), so that renaming it, or another one of the same name, keeps its nickname apart.
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

    static QString remoteKey(const QUuid& id);
    // The nicknames stored, by key, as stored; entries that are not text are left out.
    QMap<QString, QString> nicknames() const;
    // Stores `nickname` trimmed for `key`; a blank one takes the key's nickname away.
    void setNickname(const QString& key, const QString& nickname);

    // Each change is saved at once. A blank name is refused (none, or false), as is a group
    // that is no longer there; what the stored groups hold besides is kept as it is.
    std::optional<QUuid> addGroup(const QString& name, const QStringList& members = {});
    bool renameGroup(const QUuid& id, const QString& name);
    // In the order given, each member once.
    bool setGroupMembers(const QUuid& id, const QStringList& members);
    bool removeGroup(const QUuid& id);

Q_SIGNALS:
    void groupsChanged();
    void knownScreensChanged();
    void nicknamesChanged();

private:
    void loadGroups();
    // Applies `edit` to the stored group with `id`, or removes it when `edit` is none.
    bool editGroup(const QUuid& id, const std::function<void(QJsonObject&)>& edit);

    platform::Defaults& m_defaults;
    QList<ScreenGroup> m_groups;
};

} // namespace vesker
