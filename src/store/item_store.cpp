#include "store/item_store.h"

#include "platform/clock.h"
#include "platform/log.h"
#include "store/item_store_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaMethod>
#include <QMutex>
#include <QSet>
#include <QStandardPaths>
#include <QWaitCondition>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesker {

namespace {

// Relay acknowledgements wait here while nothing listens, bounded so that a store that is
// never connected to a relay cannot grow it without end.
constexpr qsizetype kMaxWaitingRelayAcks = 10000;
// The journal is folded into the index once it holds this much, so that a start never replays
// much more than it reads, or once no change came for this long.
constexpr qint64 kFoldJournalBytes = 1024 * 1024;
constexpr int kIdleFoldMs = 1000;

// The file's bytes; `error` tells why a file that exists could not be read (which is not the
// same as damaged: what it holds is unknown).
QByteArray readFile(const QString& path, bool* exists, QString* error)
{
    *exists = false;
    const auto fail = [&](const QString& reason) {
        *error = reason;
        return QByteArray();
    };
    const auto failWithErrno = [&] { return fail(QString::fromLocal8Bit(std::strerror(errno))); };
    const auto notRegular = [&](const struct stat& status) -> std::optional<QString> {
        if (S_ISDIR(status.st_mode))
            return QStringLiteral("it is a folder");
        if (!S_ISREG(status.st_mode))
            return QStringLiteral("it is not a regular file");
        return std::nullopt;
    };
    const QByteArray name = QFile::encodeName(path);
    struct stat status { };
    const bool found = ::stat(name.constData(), &status) == 0;
    if (!found && errno == ENOENT)
        return {};
    *exists = true;
    if (!found)
        return failWithErrno();
    // A FIFO, a device or a socket is never opened: a FIFO would hold the start in open() until
    // something wrote to it, before the server listens and out of reach of a signal to quit.
    if (const auto why = notRegular(status))
        return fail(*why);
    // Without blocking all the same, should something else have taken the name since.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failWithErrno();
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    if (::fstat(fd, &status) != 0)
        return failWithErrno();
    if (const auto why = notRegular(status))
        return fail(*why);
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    return data;
}

// Splits the text of a JSON array into the text of its elements without decoding them, so
// that one damaged record, or a file cut short, costs only what is damaged. `complete` tells
// whether the text was one whole array; none when it is no array at all.
std::optional<QList<QByteArrayView>> splitArray(const QByteArray& text, bool* complete)
{
    const char* p = text.constData();
    const char* const end = p + text.size();
    auto skipSpace = [&] {
        while (p < end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t'))
            ++p;
    };
    skipSpace();
    if (p == end || *p != '[')
        return std::nullopt;
    ++p;
    QList<QByteArrayView> elements;
    *complete = false;
    while (true) {
        skipSpace();
        if (p == end)
            return elements;
        if (*p == ']') {
            ++p;
            skipSpace();
            *complete = p == end;
            return elements;
        }
        const char* const start = p;
        int depth = 0;
        bool inString = false;
        for (; p < end; ++p) {
            const char c = *p;
            if (inString) {
                if (c == '\\')
                    ++p;
                else if (c == '"')
                    inString = false;
            } else if (c == '"') {
                inString = true;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if ((c == '}' || c == ']') && depth > 0) {
                --depth;
            } else if ((c == ',' || c == ']') && depth == 0) {
                break;
            }
        }
        p = std::min(p, end);
        elements.append(QByteArrayView(start, p - start));
        if (p < end && *p == ',')
            ++p;
    }
}

// Each record that decodes, in order, with the ids listed more than once, and the number that
// did not decode. The records are decoded in parallel: the main thread waits for a large index
// at every start.
QList<ScreenItem> readIndex(
    const QList<QByteArrayView>& records, QSet<QUuid>* repeated, qsizetype* skipped)
{
    constexpr qsizetype kChunk = 500;
    QList<QList<QByteArrayView>> chunks;
    for (qsizetype i = 0; i < records.size(); i += kChunk)
        chunks.append(records.mid(i, kChunk));
    const QList<QList<ScreenItem>> decoded = QtConcurrent::blockingMapped(
        chunks, [](const QList<QByteArrayView>& chunk) {
            QList<ScreenItem> items;
            items.reserve(chunk.size());
            for (const QByteArrayView record : chunk) {
                const QJsonDocument doc = QJsonDocument::fromJson(
                    QByteArray::fromRawData(record.data(), record.size()));
                if (auto item = doc.isObject() ? ScreenItem::fromJson(doc.object()) : std::nullopt)
                    items.append(std::move(*item));
            }
            return items;
        });
    QList<ScreenItem> items;
    items.reserve(records.size());
    QSet<QUuid> seen;
    seen.reserve(records.size());
    for (const QList<ScreenItem>& chunk : decoded) {
        for (const ScreenItem& item : chunk) {
            if (seen.contains(item.id))
                repeated->insert(item.id);
            else
                seen.insert(item.id);
        }
        items.append(chunk);
    }
    *skipped = records.size() - items.size();
    return items;
}

QByteArray journalLines(const QList<IndexJournal::Entry>& changes)
{
    QByteArray lines;
    for (const auto& [id, item] : changes) {
        if (!item) {
            IndexJournal::appendRemove(lines, id);
            continue;
        }
        QByteArray record;
        item->appendIndentedJson(record);
        IndexJournal::appendPut(lines, record);
    }
    return lines;
}

} // namespace

QByteArray ItemStore::serialiseIndex(QList<FoldRecord>& records)
{
    // What a record holds besides its long fields, and the most of those a record whose text is
    // kept may have.
    constexpr qsizetype kRecordBytes = 768;
    constexpr qsizetype kKeptFieldsSize = 1024;
    const auto fieldsSize = [](const ScreenItem& item) {
        return item.text.size() + item.recognizedText.size() + item.note.size();
    };
    // Room for the whole index, so that a large one is not copied as it grows.
    qsizetype size = 4;
    for (const FoldRecord& record : std::as_const(records))
        size += record.json.isEmpty() ? fieldsSize(record.item) + kRecordBytes : record.json.size();
    QByteArray index;
    index.reserve(size);
    index += "[\n";
    for (qsizetype i = 0; i < records.size(); ++i) {
        FoldRecord& record = records[i];
        if (!record.json.isEmpty()) {
            index += record.json;
        } else if (fieldsSize(record.item) < kKeptFieldsSize) {
            record.item.appendIndentedJson(record.json);
            index += record.json;
        } else {
            record.item.appendIndentedJson(index);
        }
        index += i + 1 < records.size() ? ",\n" : "\n";
    }
    index += "]\n";
    return index;
}

ItemStore::ItemStore(
    QString root, platform::Defaults& defaults, const platform::Clock& clock, QObject* parent)
    : QObject(parent)
    , m_root(std::move(root))
    , m_inboxDir(m_root + QStringLiteral("/Inbox"))
    , m_archiveDir(m_root + QStringLiteral("/Archive"))
    , m_indexPath(m_root + QStringLiteral("/index.json"))
    , m_acksPath(m_root + QStringLiteral("/acks.json"))
    , m_defaults(defaults)
    , m_clock(clock)
    , m_indexFile(m_indexPath)
    , m_acksFile(m_acksPath)
    , m_journal(m_root + QStringLiteral("/index.journal"))
{
    m_writerThread.setMaxThreadCount(1);
    m_foldThread.setMaxThreadCount(1);
    m_idleFold.setSingleShot(true);
    m_idleFold.setInterval(kIdleFoldMs);
    connect(&m_idleFold, &QTimer::timeout, this, &ItemStore::foldWhenIdle);
    auto now = [this] { return m_clock.now(); };
    m_indexWriter = std::make_unique<ItemStoreWriter>(
        [this](const QByteArray& lines, const QDateTime&, QString* error) {
            return m_journal.append(lines, error);
        },
        m_writerThread,
        [this] {
            const QList<QUuid> arrivals = std::exchange(m_unsavedArrivals, {});
            const QList<SavedCallback> callbacks = std::exchange(m_savedCallbacks, {});
            const QList<RecordChange> changes = takeChanges();
            FileWork work;
            if (!m_afterSaved.isEmpty()) {
                for (const auto& [id, record] : changes) {
                    if (auto waiting = m_afterSaved.take(id); !waiting.isEmpty())
                        work.append({id, std::move(waiting)});
                }
            }
            return ItemStoreWriter::Snapshot {[changes] { return journalLines(changes); },
                [this, arrivals, callbacks, changes, work](const std::optional<QString>& error) {
                    indexWritten(arrivals, callbacks, changes, work, error);
                }};
        },
        now);
    m_acksWriter = std::make_unique<ItemStoreWriter>(
        [this](const QByteArray& data, const QDateTime& at, QString* error) {
            return m_acksFile.write(data, at, error);
        },
        m_writerThread,
        [this] {
            return ItemStoreWriter::Snapshot {
                [acks = m_acks] {
                    QJsonObject object;
                    for (auto it = acks.begin(); it != acks.end(); ++it)
                        object.insert(it.key(), QJsonArray::fromStringList(it.value()));
                    return QJsonDocument(object).toJson(QJsonDocument::Compact);
                },
                [this, acks = m_acks, callbacks = std::exchange(m_acksSavedCallbacks, {})](
                    const std::optional<QString>& error) {
                    if (error) {
                        qCWarning(lcStore).noquote() << "[store] acks.json not written: " + *error;
                        m_acksWriter->markDirtyQuietly();
                    } else {
                        m_savedAcks = acks;
                    }
                    for (const SavedCallback& callback : callbacks)
                        callback(error);
                }};
        },
        now);
    QDir().mkpath(m_inboxDir);
    QDir().mkpath(m_archiveDir);
    load();
}

ItemStore::~ItemStore()
{
    flush();
    m_writerThread.waitForDone();
    m_foldThread.waitForDone();
}

void ItemStore::flush()
{
    m_acksWriter->flush();
    m_indexWriter->flush();
    waitForFold();
    // The journal's last cut runs behind the writes.
    m_writerThread.waitForDone();
    if (m_journal.size() > 0 || m_indexUnreadable || m_journalUnreadable) {
        startFold();
        waitForFold();
        m_writerThread.waitForDone();
    }
}

void ItemStore::setWriteDevice(const platform::WriteDevice& device)
{
    // The writes run on the writer thread, which must not see the device change mid-write.
    flush();
    m_indexFile.setWriteDevice(device);
    m_acksFile.setWriteDevice(device);
    m_journal.setWriteDevice(device);
}

QString ItemStore::defaultRoot()
{
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        pictures = QDir::homePath() + QStringLiteral("/Pictures");
    return pictures + QStringLiteral("/Vesker");
}

void ItemStore::load(bool atStart)
{
    // Every file is read before anything is changed: what a file that cannot be read holds is
    // unknown, so nothing may be written in its place (a fold would drop the journal, a save
    // would replace the index or acks.json), nothing moved aside and no file in the folders
    // judged by records that were not read.
    struct StoreFile {
        QString path;
        QByteArray bytes;
        bool exists = false;
    };
    std::array<StoreFile, 3> files {
        StoreFile {m_indexPath}, StoreFile {m_journal.path()}, StoreFile {m_acksPath}};
    std::optional<QString> problem;
    for (StoreFile& file : files) {
        QString readError;
        file.bytes = readFile(file.path, &file.exists, &readError);
        if (!readError.isEmpty() && !problem) {
            problem = QStringLiteral("%1 could not be read (%2)")
                          .arg(QFileInfo(file.path).fileName(), readError);
        }
    }
    if (problem != m_readProblem) {
        m_readProblem = problem;
        if (problem) {
            qCWarning(lcStore).noquote()
                << "[store]"
                << *problem + QStringLiteral("; the store is left as it is and takes nothing");
        }
        Q_EMIT readProblemChanged();
    }
    if (problem)
        return;
    auto& [index, journal, acks] = files;
    bool indexDamaged = false;
    QSet<QUuid> repeated;
    // Read again while the store runs: what was counted of the empty store goes.
    invalidateRows();
    if (index.exists) {
        bool complete = false;
        const auto records = splitArray(index.bytes, &complete);
        qsizetype skipped = 0;
        if (records)
            m_items = readIndex(*records, &repeated, &skipped);
        // The file's text goes as soon as its records are read: the items are the store's one
        // copy of what it holds.
        index.bytes = QByteArray();
        if (!repeated.isEmpty() && separateRepeatedIds()) {
            // Written whole soon, so that each record keeps the id it now has.
            m_indexUnreadable = true;
            m_idleFold.start();
        }
        if (!records || !complete || skipped > 0) {
            // The whole file is kept for the user; every record that still decodes is used.
            qCWarning(lcStore).noquote()
                << QStringLiteral("[store] index.json is damaged: %1 record(s) skipped, %2 "
                                  "read; the file will be kept aside")
                       .arg(records ? QString::number(skipped) : QStringLiteral("all"))
                       .arg(m_items.size());
            m_indexFile.keepAsideBeforeNextWrite();
            indexDamaged = m_indexUnreadable = true;
        }
    }

    const IndexJournal::Contents changes = IndexJournal::read(journal.bytes);
    QString error;
    if (!m_journal.open(changes.wholeLength, &error))
        qCWarning(lcStore).noquote() << "[store] index.journal could not be opened: " + error;
    if (changes.unreadable > 0) {
        qCWarning(lcStore).noquote()
            << QStringLiteral("[store] index.journal is damaged: %1 line(s) skipped, %2 read; "
                              "the file will be kept aside")
                   .arg(changes.unreadable)
                   .arg(changes.entries.size());
        m_journalUnreadable = true;
    }
    replay(changes.entries);
    m_filenamesStale = true;

    // What is on disk now, for the next fold, sharing every item's data with the store.
    m_foldRecords.clear();
    m_foldRecords.reserve(m_items.size());
    for (const ScreenItem& item : std::as_const(m_items))
        m_foldRecords.append({item, {}});
    if (journal.bytes.size() > 0 || indexDamaged)
        m_idleFold.start();
    settleFiles(indexDamaged || m_journalUnreadable, atStart);

    if (acks.exists) {
        const QJsonDocument doc = QJsonDocument::fromJson(acks.bytes);
        bool valid = doc.isObject();
        const QJsonObject object = doc.object();
        for (auto it = object.begin(); valid && it != object.end(); ++it) {
            valid = it.value().isArray();
            QStringList ids;
            for (const QJsonValue& id : it.value().toArray()) {
                valid = valid && id.isString();
                ids.append(id.toString());
            }
            m_acks.insert(it.key(), ids);
        }
        if (!valid) {
            m_acks.clear();
            m_acksFile.keepAsideBeforeNextWrite();
        }
    }
    m_savedAcks = m_acks;
}

void ItemStore::finishFile(const QUuid& id)
{
    if (!m_unfinishedFiles.contains(id))
        return;
    const int i = indexOf(id);
    if (i >= 0) {
        const QString path = unfinishedFileURL(m_items.at(i));
        m_unfinishedFiles.remove(id);
        const QString finalPath = fileURL(m_items.at(i));
        if (!path.isEmpty() && !QFile::rename(path, finalPath))
            qCWarning(lcStore).noquote() << "[store] could not give an arrival its name:" << path;
    } else {
        m_unfinishedFiles.remove(id);
    }
}

void ItemStore::replay(const QList<IndexJournal::Entry>& entries)
{
    if (entries.isEmpty())
        return;
    ensureRows();
    QList<bool> removed(m_items.size(), false);
    for (const auto& [id, item] : entries) {
        if (!item) {
            // Every place of the id goes, as a removal takes every record of it.
            if (m_rows.contains(id)) {
                for (qsizetype row = 0; row < m_items.size(); ++row)
                    removed[row] = removed.at(row) || m_items.at(row).id == id;
                m_rows.remove(id);
            }
            continue;
        }
        if (const int row = int(m_rows.value(id, -1)); row >= 0) {
            m_items[row] = *item;
            continue;
        }
        m_rows.insert(id, int(m_items.size()));
        m_items.append(*item);
        removed.append(false);
    }
    qsizetype row = 0;
    m_items.removeIf([&](const ScreenItem&) { return removed.at(row++); });
    invalidateRows();
}

QList<ItemStore::RecordChange> ItemStore::takeChanges()
{
    QList<std::pair<int, QUuid>> present;
    QList<RecordChange> changes;
    for (const QUuid& id : std::as_const(m_changedRecords)) {
        if (const int row = rowOf(id); row >= 0)
            present.append({row, id});
        else
            changes.append({id, std::nullopt});
    }
    m_changedRecords.clear();
    // New items are added to the index in the order they came.
    std::sort(present.begin(), present.end());
    for (const auto& [row, id] : present)
        changes.append({id, m_items.at(row)});
    return changes;
}

void ItemStore::save()
{
    if (!m_readProblem)
        m_indexWriter->markDirty();
}

void ItemStore::saveAcks()
{
    if (!m_readProblem)
        m_acksWriter->markDirty();
}

void ItemStore::whenSaved(SavedCallback onSaved)
{
    const bool index = m_indexWriter->pending() || !m_changedRecords.isEmpty();
    const bool acks = m_acksWriter->pending();
    if (!index && !acks) {
        onSaved(std::nullopt);
        return;
    }
    struct Waiting {
        int left = 0;
        std::optional<QString> error;
        SavedCallback done;
    };
    auto waiting
        = std::make_shared<Waiting>(Waiting {int(index) + int(acks), {}, std::move(onSaved)});
    const auto one = [waiting](const std::optional<QString>& error) {
        if (error && !waiting->error)
            waiting->error = error;
        if (--waiting->left == 0 && waiting->done)
            waiting->done(waiting->error);
    };
    // A write under way may hold an older state: the next one holds this one.
    if (index) {
        m_savedCallbacks.append(one);
        save();
    }
    if (acks) {
        m_acksSavedCallbacks.append(one);
        saveAcks();
    }
}

void ItemStore::indexWritten(const QList<QUuid>& arrivals, const QList<SavedCallback>& callbacks,
    const QList<RecordChange>& changes, const FileWork& work, const std::optional<QString>& error)
{
    if (error) {
        qCWarning(lcStore).noquote() << "[store] index.json not written: " + *error;
        // The other changes of this write go with the next one, and so does the file work
        // waiting for them, before any asked for since.
        for (const auto& [id, record] : changes)
            m_changedRecords.insert(id);
        for (const auto& [id, waiting] : work)
            m_afterSaved[id] = waiting + m_afterSaved.value(id);
        // Items that arrived for this write are not on disk: they leave the store, and whoever
        // sent them hears so. Other changes wait for the next write.
        const QSet<QUuid> gone(arrivals.begin(), arrivals.end());
        for (const QUuid& id : arrivals) {
            const int i = indexOf(id);
            if (i >= 0 && m_unfinishedFiles.remove(id))
                QFile::remove(unfinishedFileURL(m_items.at(i)));
        }
        const qsizetype before = m_items.size();
        m_items.removeIf([&gone](const ScreenItem& item) { return gone.contains(item.id); });
        invalidateRows();
        m_filenamesStale = true;
        if (m_lastArrival && gone.contains(*m_lastArrival)) {
            m_lastArrival.reset();
            Q_EMIT lastArrivalChanged();
        }
        if (m_items.size() != before)
            publishItems();
        m_indexWriter->markDirtyQuietly();
    } else {
        m_journaled.append(changes);
        if (!m_unfinishedFiles.isEmpty()) {
            for (const QUuid& id : arrivals)
                finishFile(id);
        }
        for (const auto& [id, waiting] : work) {
            for (const auto& run : waiting)
                run();
        }
    }
    for (const SavedCallback& callback : callbacks) {
        if (callback)
            callback(error);
    }
    if (error)
        return;
    if (m_journal.size() >= kFoldJournalBytes)
        startFold();
    else if (m_journal.size() > 0)
        m_idleFold.start();
}

struct ItemStore::Fold {
    QList<RecordChange> changes;
    bool keepJournalAside = false;
    QList<FoldRecord> records;
    std::optional<QString> error;
    QMutex lock;
    QWaitCondition done;
    bool written = false;
};

void ItemStore::startFold()
{
    if (m_fold)
        return;
    auto fold = std::make_shared<Fold>();
    fold->changes = std::exchange(m_journaled, {});
    fold->keepJournalAside = m_journalUnreadable;
    m_fold = fold;
    m_idleFold.stop();
    // Queued behind every journal write whose changes the fold holds, and before the next.
    m_writerThread.start([this] { m_journal.markTail(); });
    m_foldThread.start([this, fold, records = m_foldRecords, now = m_clock.now()]() mutable {
        // The changes applied in order: an edit in place, a new record at the end, a removal
        // taking every record of its id. Rows from `indexed` on are the new records; each record
        // is copied once, into the list written.
        const qsizetype indexed = records.size();
        QMultiHash<QUuid, qsizetype> rows;
        rows.reserve(indexed);
        for (qsizetype row = 0; row < indexed; ++row)
            rows.insert(records.at(row).item.id, row);
        QList<bool> removed(indexed, false);
        QHash<qsizetype, ScreenItem> edited;
        QList<ScreenItem> added;
        for (const auto& [id, item] : std::as_const(fold->changes)) {
            const QList<qsizetype> places = rows.values(id);
            if (!item) {
                for (const qsizetype row : places)
                    removed[row] = true;
                rows.remove(id);
            } else if (places.isEmpty()) {
                rows.insert(id, indexed + added.size());
                added.append(*item);
                removed.append(false);
            } else if (const qsizetype row = *std::min_element(places.begin(), places.end());
                       row < indexed) {
                edited.insert(row, *item);
            } else {
                added[row - indexed] = *item;
            }
        }
        fold->records.reserve(indexed + added.size() - removed.count(true));
        for (qsizetype row = 0; row < removed.size(); ++row) {
            if (removed.at(row))
                continue;
            if (row >= indexed)
                fold->records.append({added.at(row - indexed), {}});
            else if (const auto it = edited.constFind(row); it != edited.cend())
                fold->records.append({*it, {}});
            else
                fold->records.append(records.at(row));
        }
        records.clear();
        QString error;
        const bool ok = m_indexFile.write(serialiseIndex(fold->records), now, &error);
        {
            const QMutexLocker locker(&fold->lock);
            if (!ok)
                fold->error = error;
            fold->written = true;
            fold->done.wakeAll();
        }
        QMetaObject::invokeMethod(
            this, [this, fold] { finishFold(fold); }, Qt::QueuedConnection);
    });
}

void ItemStore::waitForFold()
{
    const std::shared_ptr<Fold> fold = m_fold;
    if (!fold)
        return;
    {
        const QMutexLocker locker(&fold->lock);
        while (!fold->written)
            fold->done.wait(&fold->lock);
    }
    finishFold(fold);
}

void ItemStore::finishFold(const std::shared_ptr<Fold>& fold)
{
    // waitForFold() may have finished it already.
    if (fold != m_fold)
        return;
    m_fold.reset();
    if (fold->error) {
        qCWarning(lcStore).noquote() << "[store] index.json not written: " + *fold->error;
        // The journal keeps every line; the next fold takes them all again.
        m_journaled = fold->changes + m_journaled;
        m_writerThread.start([this] { m_journal.dropTail(); });
        m_idleFold.start();
        return;
    }
    // The records replaced are let go on the fold's thread: ten thousand items take the main
    // thread a millisecond to drop.
    m_foldThread.start([replaced = std::exchange(m_foldRecords,
                            std::move(fold->records))]() mutable { replaced.clear(); });
    if (!m_journaled.isEmpty())
        m_idleFold.start();
    m_indexUnreadable = false;
    m_journalUnreadable = m_journalUnreadable && !fold->keepJournalAside;
    m_writerThread.start([this, keepAside = fold->keepJournalAside, now = m_clock.now()] {
        QString error;
        if (!m_journal.cut(keepAside, now, &error))
            qCWarning(lcStore).noquote() << "[store] index.journal not shortened: " + error;
    });
}

void ItemStore::foldWhenIdle()
{
    // A write under way hears back soon, and asks again.
    if (m_indexWriter->busy() || m_fold)
        return;
    if (m_journal.size() > 0 || !m_journaled.isEmpty() || m_indexUnreadable || m_journalUnreadable)
        startFold();
}

SaveBatch::SaveBatch(ItemStore& store)
    : m_store(store)
{
    ++m_store.m_batchDepth;
}

SaveBatch::~SaveBatch()
{
    if (--m_store.m_batchDepth == 0)
        m_store.endBatch();
}

void ItemStore::endBatch()
{
    if (std::exchange(m_lastArrivalChangePending, false))
        Q_EMIT lastArrivalChanged();
    if (std::exchange(m_acksChangePending, false))
        Q_EMIT acksChanged();
    if (std::exchange(m_itemsChangePending, false))
        Q_EMIT itemsChanged();
    if (std::exchange(m_storeChangePending, false))
        Q_EMIT changed(takeChange());
}

StoreChange ItemStore::takeChange()
{
    StoreChange change = std::exchange(m_change, {});
    if (change.whole)
        change.ids.clear();
    return change;
}

QString ItemStore::fileDateText(const QDateTime& at)
{
    // Qt formats with the C locale, so the digits are the same whatever the user's language.
    return at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

QString ItemStore::storedFileName(const QDateTime& at, const QUuid& id, const QString& extension)
{
    return fileDateText(at) + u'-' + uuidText(id).left(8) + u'.' + extension;
}

bool ItemStore::isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && !name.contains(u'/')
        && !name.contains(QLatin1String("..")) && !name.contains(QChar(0));
}

QString ItemStore::folderFor(ItemStatus status) const
{
    return status == ItemStatus::archived ? m_archiveDir : m_inboxDir;
}

QString ItemStore::fileURL(const ScreenItem& item) const
{
    if (m_unfinishedFiles.contains(item.id))
        return unfinishedFileURL(item);
    if (!isPlainFileName(item.filename))
        return {};
    return folderFor(item.status) + u'/' + item.filename;
}

QString ItemStore::unfinishedFileURL(const ScreenItem& item) const
{
    if (!isPlainFileName(item.filename))
        return {};
    return folderFor(item.status) + u'/' + item.filename + kUnfinishedSuffix;
}

void ItemStore::append(const ScreenItem& item, SavedCallback onSaved)
{
    // The store's files may be readable again (the permission mended); until then nothing is taken,
    // and the sender hears why.
    if (m_readProblem) {
        load(false);
        if (m_readProblem) {
            if (m_unfinishedFiles.remove(item.id))
                QFile::remove(unfinishedFileURL(item));
            if (onSaved) {
                QMetaObject::invokeMethod(
                    this, [onSaved, problem = *m_readProblem] { onSaved(problem); },
                    Qt::QueuedConnection);
            }
            return;
        }
        qCInfo(lcStore).noquote() << "[store] the store can be read again:" << m_items.size()
                                  << "item(s) loaded";
        publishItems();
    }
    if (!m_rowsStale) {
        if (!m_rows.contains(item.id))
            m_rows.insert(item.id, int(m_items.size()));
        ++m_statusCounts.at(size_t(item.status));
    }
    m_items.append(item);
    countFilename(item.filename, 1);
    m_lastArrival = item.id;
    m_unsavedArrivals.append(item.id);
    m_savedCallbacks.append(std::move(onSaved));
    publishItems(item.id);
    if (m_batchDepth > 0)
        m_lastArrivalChangePending = true;
    else
        Q_EMIT lastArrivalChanged();
    save();
}

void ItemStore::appendWithUnfinishedFile(const ScreenItem& item, SavedCallback onSaved)
{
    m_unfinishedFiles.insert(item.id);
    append(item, std::move(onSaved));
}

void ItemStore::publishItems()
{
    m_change.whole = true;
    if (m_batchDepth > 0) {
        m_itemsChangePending = m_storeChangePending = true;
        return;
    }
    Q_EMIT itemsChanged();
    Q_EMIT changed(takeChange());
}

void ItemStore::publishItems(const QUuid& id)
{
    // A batch of many items is relisted whole by the views anyway.
    constexpr qsizetype kMostIdsFollowed = 64;
    m_changedRecords.insert(id);
    if (!m_change.whole) {
        if (m_change.ids.size() >= kMostIdsFollowed)
            m_change.whole = true;
        else if (!m_change.ids.contains(id))
            m_change.ids.append(id);
    }
    if (m_batchDepth > 0) {
        m_itemsChangePending = m_storeChangePending = true;
        return;
    }
    Q_EMIT itemsChanged();
    Q_EMIT changed(takeChange());
}

void ItemStore::publishAcks()
{
    if (m_batchDepth > 0) {
        m_acksChangePending = true;
        return;
    }
    Q_EMIT acksChanged();
}

void ItemStore::announceChange()
{
    m_change.whole = true;
    if (m_batchDepth > 0)
        m_storeChangePending = true;
    else
        Q_EMIT changed(takeChange());
}

std::optional<ScreenItem> ItemStore::item(const QUuid& id) const
{
    const int i = indexOf(id);
    if (i < 0)
        return std::nullopt;
    return m_items.at(i);
}

int ItemStore::rowOf(const QUuid& id) const
{
    ensureRows();
    return m_rows.value(id, -1);
}

int ItemStore::countIn(ItemStatus status) const
{
    ensureRows();
    return m_statusCounts.at(size_t(status));
}

void ItemStore::ensureRows() const
{
    if (!m_rowsStale)
        return;
    m_rows.clear();
    m_rows.reserve(m_items.size());
    m_statusCounts.fill(0);
    for (int i = 0; i < m_items.size(); ++i) {
        // A damaged index may list an id twice: the first place is the one every edit finds.
        if (!m_rows.contains(m_items.at(i).id))
            m_rows.insert(m_items.at(i).id, i);
        ++m_statusCounts.at(size_t(m_items.at(i).status));
    }
    m_rowsStale = false;
}

void ItemStore::forwardRelayAck(const QString& messageID, const QString& action)
{
    if (isSignalConnected(QMetaMethod::fromSignal(&ItemStore::relayAcknowledged))) {
        Q_EMIT relayAcknowledged(messageID, action);
        return;
    }
    if (m_waitingRelayAcks.size() >= kMaxWaitingRelayAcks)
        m_waitingRelayAcks.removeFirst();
    m_waitingRelayAcks.append({messageID, action});
}

void ItemStore::connectNotify(const QMetaMethod& signal)
{
    if (signal != QMetaMethod::fromSignal(&ItemStore::relayAcknowledged))
        return;
    const auto waiting = std::exchange(m_waitingRelayAcks, {});
    for (const auto& [messageID, action] : waiting)
        Q_EMIT relayAcknowledged(messageID, action);
}

} // namespace vesker
