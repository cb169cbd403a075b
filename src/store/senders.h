#pragma once

#include "store/screen_item.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace vesker {

class ItemStore;

namespace platform {
class Defaults;
} // namespace platform

// One line of the sender list: a display name and the raw names the devices sent under it.
struct SenderEntry {
    QString name;
    QStringList rawNames;
    int count = 0;
    bool operator==(const SenderEntry&) const = default;
};

// The aliases in "senderAliases" as they were when this was made, so that a list of thousands
// of items reads the settings once rather than once per item.
class SenderAliases {
public:
    explicit SenderAliases(const platform::Defaults& defaults);

    // Their alias, trimmed, when one is set; else the raw name.
    QString displayName(const QString& rawSender) const;

private:
    QMap<QString, QString> m_aliases;
};

// The people items came from as the user knows them: the names they are shown under
// ("senderAliases") and whether their arrivals take the screen ("senderArrival"). It keeps
// nothing of its own, so one is made wherever it is needed. Main thread only.
class Senders {
public:
    Senders(ItemStore& store, platform::Defaults& defaults);

    // One entry per display name, the sender of the newest item first.
    QList<SenderEntry> entries() const;
    // The raw names shown under `displayName`; the name itself when no item has it.
    QStringList rawNames(const QString& displayName) const;
    // The name a raw sender is shown under; needs no store.
    static QString displayName(const QString& rawSender, const platform::Defaults& defaults);

    // A blank alias, or the raw name itself, removes the alias. Every view of the store
    // redraws.
    void setAlias(const QString& alias, const QString& rawSender);
    // Gives every raw name shown as `displayName` the new name.
    void renameSender(const QString& displayName, const QString& newName);
    // Whether the sender's arrivals take the screen; needs no store.
    static SenderArrival arrivalMode(const QString& rawSender, const platform::Defaults& defaults);

private:
    ItemStore& m_store;
    platform::Defaults& m_defaults;
};

} // namespace vesker
