#include "inbox/sidebar.h"

#include "platform/defaults.h"
#include "store/blur_rules.h"
#include "store/item_store.h"
#include "store/senders.h"

namespace vesker {

namespace {

bool isSenderFilter(const ItemFilter& filter)
{
    return std::holds_alternative<ItemFilter::Sender>(filter.value);
}

} // namespace

QList<SenderRow> Sidebar::senderRows(ItemStore& store)
{
    const BlurRules rules(store.defaults());
    QList<SenderRow> rows;
    for (const SenderEntry& entry : Senders(store, store.defaults()).entries()) {
        SenderRow row {.name = entry.name, .rawNames = entry.rawNames, .count = entry.count};
        const QString speaking = entry.rawNames.isEmpty() ? entry.name : entry.rawNames.first();
        row.known = rules.isKnown(speaking);
        row.arrival = Senders::arrivalMode(speaking, store.defaults());
        if (row.arrival == SenderArrival::quiet)
            row.symbol = QStringLiteral("bell.slash");
        else if (row.known)
            row.symbol = QStringLiteral("person.fill.checkmark");
        else if (row.rawNames.size() > 1)
            row.symbol = QStringLiteral("person.2");
        else
            row.symbol = QStringLiteral("person");
        QStringList parts;
        if (row.rawNames.size() > 1
            || (row.rawNames.size() == 1 && row.rawNames.first() != row.name))
            parts.append(
                QStringLiteral("Devices: %1.").arg(row.rawNames.join(QStringLiteral(", "))));
        if (row.known)
            parts.append(QStringLiteral("Known sender \u2014 never blurred"));
        row.tooltip = parts.join(u' ');
        rows.append(row);
    }
    return rows;
}

QString Sidebar::renameStartText(const SenderRow& row)
{
    return row.rawNames == QStringList {row.name} ? QString() : row.name;
}

ItemFilter Sidebar::rename(
    const QString& displayName, const QString& nickname, ItemStore& store, ItemFilter filter)
{
    Senders(store, store.defaults()).renameSender(displayName, nickname);
    // The name the list was narrowed to may be gone now.
    return isSenderFilter(filter) ? ItemFilter::all() : filter;
}

ItemFilter Sidebar::combine(
    const QString& from, const QString& into, ItemStore& store, ItemFilter filter)
{
    if (from != into) {
        Senders senders(store, store.defaults());
        for (const QString& raw : senders.rawNames(from))
            senders.setAlias(into, raw);
    }
    return isSenderFilter(filter) ? ItemFilter::sender(into) : filter;
}

ItemFilter Sidebar::separate(const QString& displayName, ItemStore& store, ItemFilter filter)
{
    Senders senders(store, store.defaults());
    for (const QString& raw : senders.rawNames(displayName))
        senders.setAlias(QString(), raw);
    return isSenderFilter(filter) ? ItemFilter::all() : filter;
}

void Sidebar::setArrivalMode(SenderArrival mode, const QStringList& rawNames, ItemStore& store)
{
    const QString key = QStringLiteral("senderArrival");
    platform::Defaults& defaults = store.defaults();
    QMap<QString, QString> modes = defaults.stringMap(key);
    for (const QString& name : rawNames)
        modes.insert(name.toLower(), toString(mode));
    defaults.setStringMap(key, modes);
    store.announceChange();
}

void Sidebar::setKnown(bool known, const QStringList& rawNames, ItemStore& store)
{
    BlurRules rules(store.defaults());
    for (const QString& name : rawNames)
        rules.setKnown(name, known);
    store.announceChange();
}

} // namespace vesker
