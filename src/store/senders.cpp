#include "store/senders.h"

#include "platform/defaults.h"
#include "store/item_store.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>
#include <numeric>

namespace vesker {

namespace {

constexpr auto kSenderAliases = "senderAliases";
constexpr auto kSenderArrival = "senderArrival";

} // namespace

SenderAliases::SenderAliases(const platform::Defaults& defaults)
    : m_aliases(defaults.stringMap(QLatin1String(kSenderAliases)))
{ }

QString SenderAliases::displayName(const QString& rawSender) const
{
    const auto it = m_aliases.constFind(rawSender);
    if (it != m_aliases.cend()) {
        const QString alias = it.value().trimmed();
        if (!alias.isEmpty())
            return alias;
    }
    return rawSender;
}

Senders::Senders(ItemStore& store, platform::Defaults& defaults)
    : m_store(store)
    , m_defaults(defaults)
{ }

QList<SenderEntry> Senders::entries() const
{
    const SenderAliases aliases(m_defaults);
    QList<SenderEntry> entries;
    QList<QDateTime> latest;
    QHash<QString, qsizetype> indexOfName;
    for (const ScreenItem& item : m_store.items()) {
        const QString name = aliases.displayName(item.sender);
        auto it = indexOfName.constFind(name);
        if (it == indexOfName.cend()) {
            it = indexOfName.insert(name, entries.size());
            entries.append({name, {}, 0});
            latest.append(item.receivedAt);
        }
        SenderEntry& entry = entries[*it];
        ++entry.count;
        if (!entry.rawNames.contains(item.sender))
            entry.rawNames.append(item.sender);
        latest[*it] = std::max(latest[*it], item.receivedAt);
    }
    QList<qsizetype> order(entries.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
        [&latest](qsizetype a, qsizetype b) { return latest[a] > latest[b]; });
    QList<SenderEntry> sorted;
    sorted.reserve(entries.size());
    for (qsizetype i : order)
        sorted.append(entries[i]);
    return sorted;
}

QStringList Senders::rawNames(const QString& displayName) const
{
    for (const SenderEntry& entry : entries()) {
        if (entry.name == displayName)
            return entry.rawNames;
    }
    return {displayName};
}

QString Senders::displayName(const QString& rawSender, const platform::Defaults& defaults)
{
    return SenderAliases(defaults).displayName(rawSender);
}

void Senders::setAlias(const QString& alias, const QString& rawSender)
{
    QMap<QString, QString> aliases = m_defaults.stringMap(QLatin1String(kSenderAliases));
    const QString trimmed = alias.trimmed();
    if (!trimmed.isEmpty() && trimmed != rawSender)
        aliases.insert(rawSender, trimmed);
    else
        aliases.remove(rawSender);
    m_defaults.setStringMap(QLatin1String(kSenderAliases), aliases);
    m_store.announceChange();
}

void Senders::renameSender(const QString& displayName, const QString& newName)
{
    const QString trimmed = newName.trimmed();
    for (const QString& raw : rawNames(displayName))
        setAlias(trimmed, raw);
}

SenderArrival Senders::arrivalMode(const QString& rawSender, const platform::Defaults& defaults)
{
    const QMap<QString, QString> modes = defaults.stringMap(QLatin1String(kSenderArrival));
    return modes.value(rawSender.toLower()) == QLatin1String("quiet") ? SenderArrival::quiet
                                                                      : SenderArrival::normal;
}

} // namespace vesker
