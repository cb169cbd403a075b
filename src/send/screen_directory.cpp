#include "send/screen_directory.h"

#include "platform/defaults.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace vesker {

QJsonObject ScreenGroup::toJson() const
{
    return {{QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("name"), name},
        {QStringLiteral("members"), QJsonArray::fromStringList(members)}};
}

std::optional<ScreenGroup> ScreenGroup::fromJson(const QJsonObject& json)
{
    ScreenGroup group;
    group.id = QUuid::fromString(json.value(QLatin1String("id")).toString());
    const QJsonValue name = json.value(QLatin1String("name"));
    if (group.id.isNull() || !name.isString())
        return std::nullopt;
    group.name = name.toString();
    for (const QJsonValue& member : json.value(QLatin1String("members")).toArray()) {
        if (member.isString())
            group.members.append(member.toString());
    }
    return group;
}

ScreenDirectory::ScreenDirectory(platform::Defaults& group, QObject* parent)
    : QObject(parent)
    , m_defaults(group)
{
    loadGroups();
    connect(&m_defaults, &platform::Defaults::changed, this, [this](const QString& key) {
        if (key == QLatin1String(kGroupsKey))
            loadGroups();
        else if (key == QLatin1String(kKnownKey))
            Q_EMIT knownScreensChanged();
        else if (key == QLatin1String(kNicknamesKey))
            Q_EMIT nicknamesChanged();
    });
}

void ScreenDirectory::loadGroups()
{
    QList<ScreenGroup> groups;
    for (const QJsonValue& value : m_defaults.value(QLatin1String(kGroupsKey)).toArray()) {
        if (auto group = ScreenGroup::fromJson(value.toObject()))
            groups.append(std::move(*group));
    }
    if (groups == m_groups)
        return;
    m_groups = std::move(groups);
    Q_EMIT groupsChanged();
}

QStringList ScreenDirectory::knownScreens() const
{
    return m_defaults.stringList(QLatin1String(kKnownKey));
}

QString ScreenDirectory::displayName(const QString& key, const QString& fallback) const
{
    Q_UNUSED(fallback) // callers pass the key itself; the key is what a screen is called
    const QString nickname = nicknames().value(key).trimmed();
    return nickname.isEmpty() ? key : nickname;
}

void ScreenDirectory::remember(const QStringList& keys)
{
    QStringList known = knownScreens();
    const QStringList forgotten = m_defaults.stringList(QLatin1String(kForgottenKey));
    bool added = false;
    for (const QString& key : keys) {
        if (key.isEmpty() || known.contains(key) || forgotten.contains(key))
            continue;
        known.append(key);
        added = true;
    }
    if (!added)
        return;
    std::sort(known.begin(), known.end());
    m_defaults.setStringList(QLatin1String(kKnownKey), known);
}

QString ScreenDirectory::remoteKey(const QUuid& id)
{
    return QStringLiteral("remote:") + id.toString(QUuid::WithoutBraces).toUpper();
}

QMap<QString, QString> ScreenDirectory::nicknames() const
{
    // One entry written by hand as a number must not cost every other screen its nickname.
    QMap<QString, QString> names;
    const QJsonObject stored = m_defaults.value(QLatin1String(kNicknamesKey)).toObject();
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        if (it.value().isString())
            names.insert(it.key(), it.value().toString());
    }
    return names;
}

void ScreenDirectory::setNickname(const QString& key, const QString& nickname)
{
    if (key.isEmpty())
        return;
    QJsonObject stored = m_defaults.value(QLatin1String(kNicknamesKey)).toObject();
    const QString trimmed = nickname.trimmed();
    if (trimmed.isEmpty()) {
        if (!stored.contains(key))
            return;
        stored.remove(key);
    } else {
        if (stored.value(key) == QJsonValue(trimmed))
            return;
        stored.insert(key, trimmed);
    }
    m_defaults.set(QLatin1String(kNicknamesKey), stored);
}

std::optional<QUuid> ScreenDirectory::addGroup(const QString& name, const QStringList& members)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    ScreenGroup group {.name = trimmed};
    group.members = members;
    group.members.removeDuplicates();
    QJsonArray stored = m_defaults.value(QLatin1String(kGroupsKey)).toArray();
    stored.append(group.toJson());
    m_defaults.set(QLatin1String(kGroupsKey), stored);
    return group.id;
}

bool ScreenDirectory::renameGroup(const QUuid& id, const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return false;
    return editGroup(
        id, [&](QJsonObject& group) { group.insert(QStringLiteral("name"), trimmed); });
}

bool ScreenDirectory::setGroupMembers(const QUuid& id, const QStringList& members)
{
    QStringList once = members;
    once.removeDuplicates();
    return editGroup(id, [&](QJsonObject& group) {
        group.insert(QStringLiteral("members"), QJsonArray::fromStringList(once));
    });
}

bool ScreenDirectory::removeGroup(const QUuid& id)
{
    return editGroup(id, {});
}

bool ScreenDirectory::editGroup(const QUuid& id, const std::function<void(QJsonObject&)>& edit)
{
    // Edited in what is stored rather than rewritten from what was read, so that an entry this
    // program cannot read, or a field it does not know, survives a change to another group.
    QJsonArray stored = m_defaults.value(QLatin1String(kGroupsKey)).toArray();
    for (qsizetype i = 0; i < stored.size(); ++i) {
        QJsonObject group = stored.at(i).toObject();
        if (QUuid::fromString(group.value(QLatin1String("id")).toString()) != id)
            continue;
        if (edit) {
            const QJsonObject before = group;
            edit(group);
            if (group == before)
                return true;
            stored.replace(i, group);
        } else {
            stored.removeAt(i);
        }
        m_defaults.set(QLatin1String(kGroupsKey), stored);
        return true;
    }
    return false;
}

} // namespace vesker
