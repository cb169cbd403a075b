#include "store/item_store.h"

#include "platform/clock.h"
#include "platform/log.h"
#include "store/item_store_writer.h"

#include <QDir>
#include <QFile>
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

// Each record that decodes, in order, and the number that did not. The records are decoded
// in parallel: the main thread waits for a large index at every start.
QList<ScreenItem> readIndex(const QList<QByteArrayView>& records, qsizetype* skipped)
{
    constexpr qsizetype kChunk = 500;
    QList<QList<QByteArrayView>> chunks;
    for (qsizetype i = 0; i < records.size(); i += kChunk)
        chunks.append(records.mid(i, kChunk));
    const QList<QList<ScreenItem>> decoded
        = QtConcurrent::blockingMapped(chunks, [](const QList<QByteArrayView>& chunk) {
              QList<ScreenItem> items;
              items.reserve(chunk.size());
              for (const QByteArrayView record : chunk) {
                  const QJsonDocument doc = QJsonDocument::fromJson(
                      QByteArray::fromRawData(record.data(), record.size()));
                  auto item = doc.isObject() ? ScreenItem::fromJson(doc.object()) : std::nullopt;
                  if (item)
                      items.append(std::move(*item));
              }
              return items;
          });
    QList<ScreenItem> items;
    items.reserve(records.size());
    for (const QList<ScreenItem>& chunk : decoded)
        items.append(chunk);
    *skipped = records.size() - items.size();
    return items;
}

QByteArray serialiseIndex(const QList<ScreenItem>& items)
{
    QByteArray index;
    index.reserve(items.size() * 768);
    index += "[\n";
    for (qsizetype i = 0; i < items.size(); ++i) {
        items.at(i).appendIndentedJson(index);
        index += i + 1 < items.size() ? ",\n" : "\n";
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
            return ItemStoreWriter::Snapshot {[items = m_items] { return serialiseIndex(items); },
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
    const QByteArray index = readFile(m_indexPath, &exists);
    if (exists) {
        bool complete = false;
        const auto records = splitArray(index, &complete);
        qsizetype skipped = 0;
        if (records)
            m_items = readIndex(*records, &skipped);
        if (!records || !complete || skipped > 0) {
            // The whole file is kept for the user; every record that still decodes is used.
            qCWarning(lcStore).noquote()
                << QStringLiteral("[store] index.json is damaged: %1 record(s) skipped, %2 "
                                  "read; the file will be kept aside")
                       .arg(records ? QString::number(skipped) : QStringLiteral("all"))
                       .arg(m_items.size());
            m_indexWriter->file().keepAsideBeforeNextWrite();
        }
    }

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
        const qsizetype before = m_items.size();
        m_items.removeIf([&gone](const ScreenItem& item) { return gone.contains(item.id); });
        if (m_lastArrival && gone.contains(*m_lastArrival)) {
            m_lastArrival.reset();
            Q_EMIT lastArrivalChanged();
        }
        if (m_items.size() != before)
            publishItems();
        m_indexWriter->markDirtyQuietly();
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
        Q_EMIT changed();
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
    return (item.status == ItemStatus::archived ? m_archiveDir : m_inboxDir) + u'/' + item.filename;
}

void ItemStore::append(const ScreenItem& item, SavedCallback onSaved)
{
    m_items.append(item);
    m_lastArrival = item.id;
    m_unsavedArrivals.append(item.id);
    m_savedCallbacks.append(std::move(onSaved));
    publishItems();
    if (m_batchDepth > 0)
        m_lastArrivalChangePending = true;
    else
        Q_EMIT lastArrivalChanged();
    save();
}

void ItemStore::publishItems()
{
    if (m_batchDepth > 0) {
        m_itemsChangePending = m_storeChangePending = true;
        return;
    }
    Q_EMIT itemsChanged();
    Q_EMIT changed();
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
    if (m_batchDepth > 0)
        m_storeChangePending = true;
    else
        Q_EMIT changed();
}

std::optional<ScreenItem> ItemStore::item(const QUuid& id) const
{
    const int i = indexOf(id);
    if (i < 0)
        return std::nullopt;
    return m_items.at(i);
}

int ItemStore::indexOf(const QUuid& id) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).id == id)
            return i;
    }
    return -1;
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
