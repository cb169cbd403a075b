#include "relay_manager/relay_manager.h"

#include "platform/log.h"

#include "platform/defaults.h"

#include <QLoggingCategory>
#include <QRandomGenerator>

#include <array>

namespace vesker {

namespace {
constexpr auto kRelayEnabled = "relayEnabled";
} // namespace

RelayManager::RelayManager(platform::Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    if (m_defaults.boolValue(QLatin1String(kRelayEnabled), false))
        qCDebug(lcRelay) << "[relay] enabled, but this build has no relay connection yet";
}

QString RelayManager::relayScreenID() const
{
    const QString stored = m_defaults.string(QLatin1String(kScreenIDKey));
    if (!stored.isEmpty())
        return stored;
    std::array<quint32, 4> words {};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QString id = QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words).toHex());
    m_defaults.set(QLatin1String(kScreenIDKey), id);
    return id;
}

void RelayManager::setPublishedScreens(
    const QString& name, const QList<std::pair<QString, QString>>& extra)
{
    m_publishedName = name;
    m_publishedExtra = extra;
}

void RelayManager::republish()
{
    qCDebug(lcRelay) << "[relay] republish: no relay connection in this build";
}

void RelayManager::sendAck(const QString& messageID, const QString& action)
{
    qCDebug(lcRelay).noquote() << "[relay] ack" << action << "for" << messageID
                               << "not sent: no relay connection in this build";
}

} // namespace vesker
