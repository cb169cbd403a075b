#pragma once

#include "platform/atomic_file.h"
#include "store/index_journal.h"
#include "store/screen_item.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace vesker {

class ItemStoreWriter;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// What one announcement of ItemStore::changed() covers: the items added, edited or removed, by
// id, or `whole` when anything may differ (many items at once, a sender renamed in the
// settings), so that a view can follow one arrival without relisting every item.
struct StoreChange {
    QList<QUuid> ids;
    bool whole = false;
};

// The received items of one screen: their records, their files in "Inbox" and "Archive", the
// JSON index and the acknowledgements per sending device. Every change is saved soon after it
// is made: the changed records are appended to the index's journal and acks.json is written, on
// a worker thread from snapshots, in order; the journal is folded into the index on a thread of
// its own when it has grown, when the store is idle, and when it goes (or on flush()). Main
// thread only.
class ItemStore : public QObject {
    Q_OBJECT
public:
    // `root` holds the store's folders and files: defaultRoot() for the application's own
    // store, a folder of its own for each hosted screen. `defaults` are the settings the views
    // of this store read (aliases, blurring); the store itself keeps nothing in them.
    ItemStore(QString root, platform::Defaults& defaults, const platform::Clock& clock,
        QObject* parent = nullptr);
    ~ItemStore() override;

    // The product folder: the user's Pictures folder + "/Vesker".
    static QString defaultRoot();

    const QList<ScreenItem>& items() const { return m_items; }
    std::optional<QUuid> lastArrival() const { return m_lastArrival; }
    const QMap<QString, QStringList>& acks() const { return m_acks; }
    // The acknowledgements as the last completed write of acks.json holds them (as read at
    // start until one ends): all a sending device may be told of, since a crash takes back
    // the rest.
    const QMap<QString, QStringList>& savedAcks() const { return m_savedAcks; }

    QString rootDir() const { return m_root; }
    QString inboxDir() const { return m_inboxDir; }
    QString archiveDir() const { return m_archiveDir; }
    QString indexPath() const { return m_indexPath; }
    QString journalPath() const { return m_journal.path(); }
    QString acksPath() const { return m_acksPath; }
    platform::Defaults& defaults() const { return m_defaults; }
    const platform::Clock& clock() const { return m_clock; }

    // The item's file, or an empty string when its `filename` is not a plain name (one with a
    // path separator or "..", or none): such a name from a damaged index must never reach
    // outside the store's folders.
    QString fileURL(const ScreenItem& item) const;
    // Where an arriving item's file is written before the index that lists it is on disk: a
    // name the store recognises as unfinished, so that an upload cut off by a crash leaves
    // nothing that looks like an item. The name stays with the file whatever is done to the item
    // meanwhile (moved, archived, edited), in the folder of the item's status, until the index
    // holds it. Empty as fileURL() is.
    QString unfinishedFileURL(const ScreenItem& item) const;
    static constexpr QLatin1StringView kUnfinishedSuffix {".unfinished"};
    // A file whose record is being removed or replaced keeps this suffix until the index without
    // it is on disk: a crash before then gives it back to the record, one after removes it.
    static constexpr QLatin1StringView kRemovedSuffix {".removed"};
    // Whether `name` is one this store makes for an item's file (time stamp, the id's first 8
    // characters, an edit's "-e" and seconds, an extension): only such names are ever removed
    // as leftovers, never a file the person put into a folder.
    static bool isStoredFileName(const QString& name);

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
    // As append, for an item whose file was written to unfinishedFileURL(): the file takes its
    // own name once the index listing the item is on disk, before `onSaved` hears of it, and
    // fileURL() names the unfinished file until then.
    void appendWithUnfinishedFile(const ScreenItem& item, SavedCallback onSaved);

    // Why one of the store's files (the index, its journal, acks.json) could not be read at
    // start (a read error, not damaged content), or none. Until every one can, the store holds
    // nothing, writes nothing and refuses every arrival; each arrival tries reading them again.
    std::optional<QString> readProblem() const { return m_readProblem; }

    // Ask for the index or acks.json to be written with the state as it is once the main
    // thread is next idle.
    void save();
    void saveAcks();
    // Calls `onSaved` on the main thread once every change made so far is on disk, in the
    // index's journal and in acks.json (no error), or a write of them has failed; at once when
    // nothing waits to be written. What a peer is answered for must be on disk first: a crash
    // right after the answer would otherwise take it back.
    void whenSaved(SavedCallback onSaved);
    // Waits until every change made so far is on disk (or its write has failed and been
    // reported), and the index holds them all. The destructor does the same.
    void flush();
    // Later writes of the index and acks.json pass through `device` (see WriteDevice).
    void setWriteDevice(const platform::WriteDevice& device);

    void acknowledge(const QUuid& id, const QString& action);
    // False, with the reason logged, when the file could not be moved (a file of its name at
    // the destination, another record naming it, a failed rename): the record is then as it was.
    bool move(const ScreenItem& item, ItemStatus status);
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

    std::optional<ScreenItem> item(const QUuid& id) const;
    // The item's place in items(), -1 when it is not there; neither grows with the store.
    int rowOf(const QUuid& id) const;
    int countIn(ItemStatus status) const;

    // Tells every view built on the store to redraw (after a sender's alias or arrival mode
    // changed in the settings).
    void announceChange();

Q_SIGNALS:
    void itemsChanged();
    void lastArrivalChanged();
    void acksChanged();
    void readProblemChanged();
    // Any change a view of the store shows, including the ones above.
    void changed(const vesker::StoreChange& change);
    // An item that came over the relay was acknowledged; the relay tells its sender. What is
    // acknowledged while nothing is connected (the first cleanup at launch runs before the
    // server exists) waits, and the first connection made hears it all, in order.
    void relayAcknowledged(const QString& messageID, const QString& action);

protected:
    void connectNotify(const QMetaMethod& signal) override;

private:
    // `atStart` false: read again while the store runs, when arrivals may be under way.
    void load(bool atStart = true);
    // Gives each record of an id listed twice an id of its own, or drops it when it names the
    // same file as the first; whether any was.
    bool separateRepeatedIds();
    // Settles what writes and moves cut off by a crash left: the writer's temporaries and
    // unfinished or removed files of the store's own names go or are given back to the record
    // listing them, and a record's file found in the other folder is put where the record says.
    void settleFiles(bool indexDamaged, bool atStart);
    // Runs `work` once the index without the record's present change is on disk.
    void afterSaved(const QUuid& id, std::function<void()> work);
    // Renames the record's file out of the way with kRemovedSuffix, to go once its change is on
    // disk; nothing when another record names the same file.
    void removeFileLater(const ScreenItem& item, const QString& path);
    // Whether a record other than the one of `id` names the file at `path`.
    bool namedByAnother(const QUuid& id, const QString& path) const;
    static bool exists(const QString& path);
    // Renames without ever replacing what is at `to`; the reason when it did not happen.
    static std::optional<QString> renameWithoutReplacing(const QString& from, const QString& to);
    // Applies the journal's lines to the items read from the index.
    void replay(const QList<IndexJournal::Entry>& entries);
    void finishFile(const QUuid& id);
    QString folderFor(ItemStatus status) const;
    // An id with its item as the index is to hold it; none when the item was removed.
    using RecordChange = IndexJournal::Entry;
    // The records changed since the last snapshot, new items in their order.
    QList<RecordChange> takeChanges();
    int indexOf(const QUuid& id) const { return rowOf(id); }
    // The rows and counts are rebuilt from the list after a removal, on their next use.
    void invalidateRows() { m_rowsStale = true; }
    void ensureRows() const;
    void ensureFilenames() const;
    void countFilename(const QString& name, int delta);
    void publishItems();
    void publishItems(const QUuid& id);
    StoreChange takeChange();
    void publishAcks();
    void endBatch();
    using FileWork = QList<std::pair<QUuid, QList<std::function<void()>>>>;
    void indexWritten(const QList<QUuid>& arrivals, const QList<SavedCallback>& callbacks,
        const QList<RecordChange>& changes, const FileWork& work,
        const std::optional<QString>& error);
    struct Fold;
    // A record of the index as last written whole: its item, sharing its data with the store's,
    // and once a fold has written it, its text when that is short, so that the next fold copies
    // the many short records instead of writing them again. A long one (a long text) is written
    // from its item every time rather than held twice.
    struct FoldRecord {
        ScreenItem item;
        QByteArray json;
    };
    // The index's text from `records`, keeping the text of each short record that lacks it.
    static QByteArray serialiseIndex(QList<FoldRecord>& records);
    // Only between journal writes, so that the journal's lines before the fold are the ones
    // the fold writes into the index.
    void startFold();
    void finishFold(const std::shared_ptr<Fold>& fold);
    void waitForFold();
    void foldWhenIdle();
    void forwardRelayAck(const QString& messageID, const QString& action);

    QList<ScreenItem> m_items;
    // Each id's first place in m_items and the number of items of each status, so that an
    // arrival, an edit or a count costs the same in a store of ten items or ten thousand.
    mutable QHash<QUuid, int> m_rows;
    mutable std::array<int, 3> m_statusCounts {};
    // How many records name each file name, so that asking whether a file is another's costs
    // nothing in the usual case of one.
    mutable QHash<QString, int> m_filenameCounts;
    mutable bool m_filenamesStale = true;
    mutable bool m_rowsStale = true;
    std::optional<QUuid> m_lastArrival;
    QMap<QString, QStringList> m_acks;
    QMap<QString, QStringList> m_savedAcks;
    QString m_root;
    QString m_inboxDir;
    QString m_archiveDir;
    QString m_indexPath;
    QString m_acksPath;
    platform::Defaults& m_defaults;
    const platform::Clock& m_clock;
    QList<std::pair<QString, QString>> m_waitingRelayAcks;
    // Items appended since the last snapshot of the index, with whoever waits to hear that
    // they reached the disk.
    QList<QUuid> m_unsavedArrivals;
    QList<SavedCallback> m_savedCallbacks;
    // Whoever waits for the next write of acks.json to end.
    QList<SavedCallback> m_acksSavedCallbacks;
    // Items whose file still has its unfinished name, until the index write that holds their
    // arrival has ended.
    QSet<QUuid> m_unfinishedFiles;
    // File work waiting for the index write that holds the change of its item.
    QHash<QUuid, QList<std::function<void()>>> m_afterSaved;
    std::optional<QString> m_readProblem;
    platform::AtomicFile m_indexFile;
    platform::AtomicFile m_acksFile;
    IndexJournal m_journal;
    // One writer thread for the journal and acks.json, declared before the writers, which wait
    // for it; the index is rewritten on a thread of its own while lines go on being appended.
    QThreadPool m_writerThread;
    QThreadPool m_foldThread;
    std::unique_ptr<ItemStoreWriter> m_indexWriter;
    std::unique_ptr<ItemStoreWriter> m_acksWriter;
    // While a batch runs, changes are announced once at its end.
    int m_batchDepth = 0;
    bool m_itemsChangePending = false;
    bool m_acksChangePending = false;
    bool m_storeChangePending = false;
    bool m_lastArrivalChangePending = false;
    StoreChange m_change;
    // The items changed since the last journal write: a write then costs the main thread what
    // changed, not the whole store.
    QSet<QUuid> m_changedRecords;
    // The index as last written whole, and the changes on disk in the journal since: together
    // what a fold writes.
    QList<FoldRecord> m_foldRecords;
    QList<RecordChange> m_journaled;
    std::shared_ptr<Fold> m_fold;
    // What was read at start and could not be decoded waits to be kept aside by a fold.
    bool m_indexUnreadable = false;
    bool m_journalUnreadable = false;
    QTimer m_idleFold;
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
