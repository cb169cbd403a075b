#pragma once

#include "store/screen_item.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace vesker {

class ItemStore;

// One sender line of the sidebar as it is shown: its display name, the raw names behind it and
// what the row says about them.
struct SenderRow {
    QString name;
    QStringList rawNames;
    int count = 0;
    bool known = false;
    SenderArrival arrival = SenderArrival::normal;
    // "bell.slash", "person.fill.checkmark", "person.2" or "person".
    QString symbol;
    // Plain text; empty when there is nothing more to say than the name.
    QString tooltip;
    bool operator==(const SenderRow&) const = default;
};

// What the sender sidebar decides and stores; its widgets only show the rows and call these.
// Each change returns the filter the list shows afterwards, given the one it showed before.
struct Sidebar {
    // The senders in the store's order, with their known state and arrival mode read through
    // the raw name that speaks for them (the first one seen).
    static QList<SenderRow> senderRows(ItemStore& store);

    // What the rename field starts with: empty while the sender has no nickname.
    static QString renameStartText(const SenderRow& row);
    static ItemFilter rename(
        const QString& displayName, const QString& nickname, ItemStore& store, ItemFilter filter);
    // Shows every raw name of `from` under `into`.
    static ItemFilter combine(
        const QString& from, const QString& into, ItemStore& store, ItemFilter filter);
    // Every raw name becomes a sender of its own again.
    static ItemFilter separate(const QString& displayName, ItemStore& store, ItemFilter filter);

    // Writes the mode for every raw name of a sender (under its lower-cased form, "normal" kept
    // rather than removed) into "senderArrival", then has every view of the store redraw.
    static void setArrivalMode(SenderArrival mode, const QStringList& rawNames, ItemStore& store);
    static void setKnown(bool known, const QStringList& rawNames, ItemStore& store);
};

} // namespace vesker
