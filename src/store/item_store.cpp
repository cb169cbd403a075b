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
#include <QSet>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentMap>

namespace vesker {

namespace {

// Relay acknowledgements wait here while nothing listens, bounded so that a store that is
// never connected to a relay cannot grow it without end.
constexpr qsizetype kMaxWaitingRelayAcks = 10000;

QByteArray readFile(const QString& path, bool* exists)
{
    QFile file(path);
    *exists = file.exists();
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
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

// Each record that decodes, in order, with its text as the index will hold it, and the number
// that did not. The records are decoded in parallel: the main thread waits for a large index at
// every start.
QList<ScreenItem> readIndex(const QList<QByteArrayView>& records, QHash<QUuid, QByteArray>* texts,
    QSet<QUuid>* repeated, qsizetype* skipped)
{
    constexpr qsizetype kChunk = 500;
    using Chunk = std::pair<QList<ScreenItem>, QList<QByteArray>>;
    QList<QList<QByteArrayView>> chunks;
    for (qsizetype i = 0; i < records.size(); i += kChunk)
        chunks.append(records.mid(i, kChunk));
    const QList<Chunk> decoded
        = QtConcurrent::blockingMapped(chunks, [](const QList<QByteArrayView>& chunk) {
              Chunk result;
              result.first.reserve(chunk.size());
              result.second.reserve(chunk.size());
              for (const QByteArrayView record : chunk) {
                  const QJsonDocument doc = QJsonDocument::fromJson(
                      QByteArray::fromRawData(record.data(), record.size()));
                  auto item = doc.isObject() ? ScreenItem::fromJson(doc.object()) : std::nullopt;
                  if (!item)
                      continue;
                  // The record goes back into the index as it was read: it decodes into this
                  // very item, and making it again would cost every start the whole index.
                  const QByteArrayView trimmed = record.trimmed();
                  QByteArray text;
                  text.reserve(trimmed.size() + 4);
                  text += "    ";
                  text += trimmed;
                  result.first.append(std::move(*item));
                  result.second.append(std::move(text));
              }
              return result;
          });
    QList<ScreenItem> items;
    items.reserve(records.size());
    texts->reserve(records.size());
    for (const Chunk& chunk : decoded) {
        for (qsizetype i = 0; i < chunk.first.size(); ++i) {
            // A damaged index may hold one id twice; each such record is written from its own
            // item every time.
            const QUuid& id = chunk.first.at(i).id;
            if (texts->contains(id) || repeated->contains(id)) {
                texts->remove(id);
                repeated->insert(id);
            } else {
                texts->insert(id, chunk.second.at(i));
            }
        }
        items.append(chunk.first);
    }
    *skipped = records.size() - items.size();
    return items;
}

QByteArray serialiseIndex(const QList<QByteArray>& records)
{
    qsizetype size = 4;
    for (const QByteArray& record : records)
        size += record.size() + 2;
    QByteArray index;
    index.reserve(size);
    index += "[\n";
    for (qsizetype i = 0; i < records.size(); ++i) {
        index += records.at(i);
        index += i + 1 < records.size() ? ",\n" : "\n";
    }
    index += "]\n";
    return index;
}

} // namespace

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
{
    m_writerThread.setMaxThreadCount(1);
    auto now = [this] { return m_clock.now(); };
    m_indexWriter = std::make_unique<ItemStoreWriter>(
        m_indexPath, m_writerThread,
        [this] {
            const QList<QUuid> arrivals = std::exchange(m_unsavedArrivals, {});
            const QList<SavedCallback> callbacks = std::exchange(m_savedCallbacks, {});
            return ItemStoreWriter::Snapshot {
                [records = indexRecords()] { return serialiseIndex(records); },
                [this, arrivals, callbacks](const std::optional<QString>& error) {
                    indexWritten(arrivals, callbacks, error);
                }};
        },
        now);
    m_acksWriter = std::make_unique<ItemStoreWriter>(
        m_acksPath, m_writerThread,
        [this] {
            return ItemStoreWriter::Snapshot {
                [acks = m_acks] {
                    QJsonObject object;
                    for (auto it = acks.begin(); it != acks.end(); ++it)
                        object.insert(it.key(), QJsonArray::fromStringList(it.value()));
                    return QJsonDocument(object).toJson(QJsonDocument::Compact);
                },
                [this](const std::optional<QString>& error) {
                    if (!error)
                        return;
                    qCWarning(lcStore).noquote() << "[store] acks.json not written: " + *error;
                    m_acksWriter->markDirtyQuietly();
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
}

void ItemStore::flush()
{
    m_acksWriter->flush();
    m_indexWriter->flush();
}

void ItemStore::setWriteDevice(const platform::WriteDevice& device)
{
    // The writes run on the writer thread, which must not see the device change mid-write.
    flush();
    m_indexWriter->file().setWriteDevice(device);
    m_acksWriter->file().setWriteDevice(device);
}

QString ItemStore::defaultRoot()
{
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        pictures = QDir::homePath() + QStringLiteral("/Pictures");
    return pictures + QStringLiteral("/Vesker");
}

void ItemStore::load()
{
    bool exists = false;
    bool indexDamaged = false;
    const QByteArray index = readFile(m_indexPath, &exists);
    if (exists) {
        bool complete = false;
        const auto records = splitArray(index, &complete);
        qsizetype skipped = 0;
        if (records)
            m_items = readIndex(*records, &m_records, &m_repeatedIds, &skipped);
        if (!records || !complete || skipped > 0) {
            // The whole file is kept for the user; every record that still decodes is used.
            qCWarning(lcStore).noquote()
                << QStringLiteral("[store] index.json is damaged: %1 record(s) skipped, %2 "
                                  "read; the file will be kept aside")
                       .arg(records ? QString::number(skipped) : QStringLiteral("all"))
                       .arg(m_items.size());
            m_indexWriter->file().keepAsideBeforeNextWrite();
            indexDamaged = true;
        }
    }
    removeLeftovers(indexDamaged);

    const QByteArray acks = readFile(m_acksPath, &exists);
    if (exists) {
        const QJsonDocument doc = QJsonDocument::fromJson(acks);
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
            m_acksWriter->file().keepAsideBeforeNextWrite();
        }
    }
}

void ItemStore::removeLeftovers(bool indexDamaged)
{
    // Nothing of this store writes before it has loaded, so every temporary file found now was
    // left by a write that never ended.
    const QString indexName = QFileInfo(m_indexPath).fileName();
    const QString acksName = QFileInfo(m_acksPath).fileName();
    const auto isWriterTemporary = [](const QString& name, const QString& target) {
        return name.startsWith(target + QLatin1String(".new-"));
    };
    for (const QString& name : QDir(m_root).entryList(QDir::Files | QDir::Hidden)) {
        if (isWriterTemporary(name, indexName) || isWriterTemporary(name, acksName))
            QFile::remove(m_root + u'/' + name);
    }
    // An item's own name never holds ".new-": only the atomic writer's temporaries do.
    for (const QString& folder : {m_inboxDir, m_archiveDir}) {
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
            if (name.contains(QLatin1String(".new-")))
                QFile::remove(folder + u'/' + name);
        }
    }
    const QStringList unfinished
        = QDir(m_inboxDir)
              .entryList({u'*' + QString(kUnfinishedSuffix)}, QDir::Files | QDir::Hidden);
    if (unfinished.isEmpty())
        return;
    QSet<QString> listed;
    for (const ScreenItem& item : std::as_const(m_items)) {
        if (item.status == ItemStatus::inbox)
            listed.insert(item.filename);
    }
    for (const QString& name : unfinished) {
        const QString path = m_inboxDir + u'/' + name;
        const QString finalName = name.chopped(kUnfinishedSuffix.size());
        const QString finalPath = m_inboxDir + u'/' + finalName;
        // The index went to disk before the crash but the file kept its unfinished name: it
        // is the item's file. With a damaged index set aside, the record may be in the copy
        // kept for the user, so the file is kept under its own name too.
        const bool keep = (listed.contains(finalName) || indexDamaged) && isPlainFileName(finalName)
            && !QFileInfo::exists(finalPath);
        if (!keep || !QFile::rename(path, finalPath))
            QFile::remove(path);
    }
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

QList<QByteArray> ItemStore::indexRecords()
{
    // Most writes follow a few arrivals and edits: only their records are made, and the list
    // handed to the writer is shared with the last one until then.
    if (!m_recordListStale && m_repeatedIds.isEmpty() && m_recordList.size() <= m_items.size()) {
        for (qsizetype row = m_recordList.size(); row < m_items.size(); ++row)
            m_changedRecords.insert(m_items.at(row).id);
        m_recordList.resize(m_items.size());
        for (const QUuid& id : std::as_const(m_changedRecords)) {
            const int row = rowOf(id);
            if (row < 0)
                continue;
            QByteArray text;
            m_items.at(row).appendIndentedJson(text);
            m_records.insert(id, text);
            m_recordList[row] = std::move(text);
        }
        m_changedRecords.clear();
        return m_recordList;
    }
    // Records of items gone are dropped now and then, not on every removal.
    if (m_records.size() > 2 * m_items.size() + 64) {
        QHash<QUuid, QByteArray> kept;
        kept.reserve(m_items.size());
        for (const ScreenItem& item : std::as_const(m_items)) {
            if (const auto it = m_records.constFind(item.id); it != m_records.cend())
                kept.insert(item.id, *it);
        }
        m_records = std::move(kept);
    }
    QList<QByteArray> records;
    records.reserve(m_items.size());
    for (const ScreenItem& item : std::as_const(m_items)) {
        if (m_repeatedIds.contains(item.id)) {
            QByteArray text;
            item.appendIndentedJson(text);
            records.append(std::move(text));
            continue;
        }
        auto it = m_records.find(item.id);
        if (it == m_records.end() || m_changedRecords.contains(item.id)) {
            QByteArray text;
            item.appendIndentedJson(text);
            it = m_records.insert(item.id, std::move(text));
        }
        records.append(*it);
    }
    m_changedRecords.clear();
    m_recordList = records;
    m_recordListStale = false;
    return records;
}

void ItemStore::save()
{
    m_indexWriter->markDirty();
}

void ItemStore::saveAcks()
{
    m_acksWriter->markDirty();
}

void ItemStore::indexWritten(const QList<QUuid>& arrivals, const QList<SavedCallback>& callbacks,
    const std::optional<QString>& error)
{
    if (error) {
        qCWarning(lcStore).noquote() << "[store] index.json not written: " + *error;
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
        if (m_lastArrival && gone.contains(*m_lastArrival)) {
            m_lastArrival.reset();
            Q_EMIT lastArrivalChanged();
        }
        if (m_items.size() != before)
            publishItems();
        m_indexWriter->markDirtyQuietly();
    } else if (!m_unfinishedFiles.isEmpty()) {
        for (const QUuid& id : arrivals)
            finishFile(id);
    }
    for (const SavedCallback& callback : callbacks) {
        if (callback)
            callback(error);
    }
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

QString ItemStore::fileURL(const ScreenItem& item) const
{
    if (!isPlainFileName(item.filename))
        return {};
    if (item.status == ItemStatus::archived)
        return m_archiveDir + u'/' + item.filename;
    const QString path = m_inboxDir + u'/' + item.filename;
    return m_unfinishedFiles.contains(item.id) ? path + kUnfinishedSuffix : path;
}

QString ItemStore::unfinishedFileURL(const ScreenItem& item) const
{
    if (!isPlainFileName(item.filename))
        return {};
    return m_inboxDir + u'/' + item.filename + kUnfinishedSuffix;
}

void ItemStore::append(const ScreenItem& item, SavedCallback onSaved)
{
    if (!m_rowsStale) {
        if (!m_rows.contains(item.id))
            m_rows.insert(item.id, int(m_items.size()));
        ++m_statusCounts.at(size_t(item.status));
    }
    m_items.append(item);
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
    m_records.clear();
    m_recordListStale = true;
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
