#pragma once

#include "platform/atomic_file.h"
#include "store/screen_item.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace vesker {

class ItemStoreWriter;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// One line of the sender list: a display name and the raw names the devices sent under it.
struct SenderEntry {
    QString name;
    QStringList rawNames;
    int count = 0;
    bool operator==(const SenderEntry&) const = default;
};

struct TagEntry {
    QString tag;
    int count = 0;
    bool operator==(const TagEntry&) const = default;
};

enum class CleanupAge { never, oneDay, threeDays, oneWeek, oneMonth };
enum class CleanupAction { archive, delete_ };
QString toString(CleanupAge age);
QString toString(CleanupAction action);
std::optional<CleanupAge> cleanupAgeFromString(const QString& raw);
std::optional<CleanupAction> cleanupActionFromString(const QString& raw);
// Seconds after which an Inbox item is cleaned up; none for `never`.
std::optional<qint64> cleanupSeconds(CleanupAge age);

// The received items of one screen: their records, their files in "Inbox" and "Archive", the
// JSON index and the acknowledgements per sending device. Every change is saved soon after it
// is made: the index and acks.json are written on a worker thread from snapshots, in order, and
// the last writes are waited for when the store goes (or on flush()). Main thread only.
class ItemStore : public QObject {
    Q_OBJECT
public:
    // Called with (relay message id, action raw string) for every acknowledgement of an item
    // that came over the relay.
    using RelayAckHandler = std::function<void(const QString& messageID, const QString& action)>;

    // `root` absent: the application's own store under defaultRoot(), which also seeds the
    // welcome and what's-new items. A hosted screen's store is given its own root.
    // `defaults` and `clock` default to the standard settings and the system clock.
    explicit ItemStore(std::optional<QString> root = std::nullopt,
        platform::Defaults* defaults = nullptr, const platform::Clock* clock = nullptr,
        QObject* parent = nullptr);
    ~ItemStore() override;

    static QString defaultRoot();

    const QList<ScreenItem>& items() const { return m_items; }
    std::optional<QUuid> lastArrival() const { return m_lastArrival; }
    const QMap<QString, QStringList>& acks() const { return m_acks; }

    QString rootDir() const { return m_root; }
    QString inboxDir() const { return m_inboxDir; }
    QString archiveDir() const { return m_archiveDir; }
    QString indexPath() const { return m_indexPath; }
    QString acksPath() const { return m_acksPath; }
    platform::Defaults& defaults() const { return m_defaults; }
    const platform::Clock& clock() const { return m_clock; }
    const QTimer& cleanupTimer() const { return m_cleanupTimer; }

    // The item's file, or an empty string when its `filename` is not a plain name (one with a
    // path separator or "..", or none): such a name from a damaged index must never reach
    // outside the store's folders.
    QString fileURL(const ScreenItem& item) const;

    // File names of stored items: time stamp, the id's first 8 characters, the extension.
    static QString fileDateText(const QDateTime& at);
    static QString storedFileName(const QDateTime& at, const QUuid& id, const QString& extension);
    static bool isPlainFileName(const QString& name);

    // Told on the main thread once the index holding a change is on disk (no error), or that
    // the write failed (the reason).
    using SavedCallback = std::function<void(const std::optional<QString>& error)>;

    // The one way an arriving item is added; sets lastArrival. `onSaved` hears whether the
    // index holding the item reached the disk; when it did not, the item is no longer in the
    // store and the caller removes its file.
    void append(const ScreenItem& item, SavedCallback onSaved = {});

    // Ask for the index or acks.json to be written with the state as it is once the main
    // thread is next idle.
    void save();
    void saveAcks();
    // Waits until every change made so far is on disk (or its write has failed and been
    // reported). The destructor does the same.
    void flush();
    // Later writes of the index and acks.json pass through `device` (see WriteDevice).
    void setWriteDevice(const platform::WriteDevice& device);

    void acknowledge(const QUuid& id, const QString& action);
    void move(const ScreenItem& item, ItemStatus status);
    void archive(const ScreenItem& item);
    void remove(const QUuid& id, const QString& ack);
    void delete_(const QUuid& id);
    // Deletes each in turn, with one write of the index and of acks.json for them all.
    void delete_(const QList<QUuid>& ids);
    void removeWithGotIt(const QUuid& id);
    // Writes the photo's new bytes under a new name whose extension (`extension`) names their
    // format, then removes the old file; a failed write leaves the item and its file as they
    // were. The codes and text read from the old photo are cleared.
    void replaceImage(const QUuid& id, const QByteArray& data, const QString& extension);
    void setNote(const QUuid& id, const QString& note);
    void setTags(const QStringList& tags, const QUuid& id);
    void setGroup(const QUuid& id, const QString& groupID, qint64 index, qint64 count);
    void setLocation(const QUuid& id, double lat, double lon);
    void setRecognition(const QUuid& id, const QStringList& barcodes, const QString& text);

    QList<ScreenItem> items(ItemStatus status) const;
    QList<ScreenItem> items(
        ItemStatus status, const ItemFilter& filter, const QString& search) const;
    int count(ItemStatus status) const;
    std::optional<ScreenItem> item(const QUuid& id) const;
    QList<ScreenItem> groupItems(const ScreenItem& item) const;

    QList<SenderEntry> senders() const;
    QList<TagEntry> tags() const;
    QStringList senderSummary(const QString& displayName) const;
    // The name a raw sender is shown under: their alias in "senderAliases", trimmed, when one
    // is set; else the raw name. Needs no store.
    static QString displayName(const QString& rawSender, const platform::Defaults& defaults);
    static QString displayName(const QString& rawSender);
    void setAlias(const QString& alias, const QString& rawSender);
    void renameSender(const QString& displayName, const QString& newName);
    SenderArrival arrivalMode(const QString& rawSender) const;

    // Archives or deletes Inbox items older than the "cleanupAge" setting.
    void runCleanup();

    // Tells every view built on the store to redraw (after a sender's alias or arrival mode
    // changed in the settings).
    void announceChange();

    // Installing the handler delivers, in order, the relay acknowledgements made while none
    // was installed (the first cleanup at launch runs before the server exists).
    static void setRelayAckHandler(RelayAckHandler handler);
    static bool hasRelayAckHandler();

    // The four getting-started texts of a first launch, title first.
    static const QStringList& welcomeTexts();

Q_SIGNALS:
    void itemsChanged();
    void lastArrivalChanged();
    void acksChanged();
    // Any change a view of the store shows, including the ones above.
    void changed();

private:
    void load();
    void seedWelcome();
    void seedWhatsNew(bool freshInstall);
    void addSeededText(const QString& content, const QString& note);
    int indexOf(const QUuid& id) const;
    void publishItems();
    void publishAcks();
    void endBatch();
    void indexWritten(const QList<QUuid>& arrivals, const QList<SavedCallback>& callbacks,
        const std::optional<QString>& error);
    static void forwardRelayAck(const QString& messageID, const QString& action);

    QList<ScreenItem> m_items;
    std::optional<QUuid> m_lastArrival;
    QMap<QString, QStringList> m_acks;
    QString m_root;
    QString m_inboxDir;
    QString m_archiveDir;
    QString m_indexPath;
    QString m_acksPath;
    platform::Defaults& m_defaults;
    const platform::Clock& m_clock;
    QTimer m_cleanupTimer;
    // Items appended since the last snapshot of the index, with whoever waits to hear that
    // they reached the disk.
    QList<QUuid> m_unsavedArrivals;
    QList<SavedCallback> m_savedCallbacks;
    // One writer thread for both files; declared before the writers, which wait for it.
    QThreadPool m_writerThread;
    std::unique_ptr<ItemStoreWriter> m_indexWriter;
    std::unique_ptr<ItemStoreWriter> m_acksWriter;
    // While a batch runs, changes are announced once at its end.
    int m_batchDepth = 0;
    bool m_itemsChangePending = false;
    bool m_acksChangePending = false;
    bool m_storeChangePending = false;
    bool m_lastArrivalChangePending = false;
    friend class SaveBatch;
};

// Holds back the change signals of a run of operations and sends each once at the end: the
// cleanup of a thousand old items would otherwise redraw every view two thousand times. Writes
// are gathered as well, into the snapshot taken once the batch is over.
class SaveBatch {
public:
    explicit SaveBatch(ItemStore& store);
    ~SaveBatch();
    SaveBatch(const SaveBatch&) = delete;
    SaveBatch& operator=(const SaveBatch&) = delete;

private:
    ItemStore& m_store;
};

} // namespace vesker
