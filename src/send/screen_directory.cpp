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
    const QString nickname
        = m_defaults.stringMap(QLatin1String(kNicknamesKey)).value(key).trimmed();
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

} // namespace vesker
