#include "store/item_store.h"

#include "inbox/app_version.h"
#include "inbox/whats_new.h"
#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/log.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

namespace vesker {

namespace {

constexpr int kCleanupIntervalMs = 1800 * 1000;
constexpr auto kDidSeedWelcome = "didSeedWelcome";
constexpr auto kLastSeenVersion = "lastSeenVersion";

// Relay acknowledgements wait here while no handler is installed, bounded so that a store
// that is never connected to a relay cannot grow it without end.
constexpr qsizetype kMaxQueuedRelayAcks = 10000;

struct RelayAcks {
    ItemStore::RelayAckHandler handler;
    QList<std::pair<QString, QString>> queued;
};

RelayAcks& relayAcks()
{
    static RelayAcks acks;
    return acks;
}

} // namespace

void ItemStore::forwardRelayAck(const QString& messageID, const QString& action)
{
    RelayAcks& acks = relayAcks();
    if (acks.handler) {
        acks.handler(messageID, action);
        return;
    }
    if (acks.queued.size() >= kMaxQueuedRelayAcks)
        acks.queued.removeFirst();
    acks.queued.append({messageID, action});
}

namespace {

QByteArray readFile(const QString& path, bool* exists)
{
    QFile file(path);
    *exists = file.exists();
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

ItemStore::ItemStore(std::optional<QString> root, platform::Defaults* defaults,
    const platform::Clock* clock, QObject* parent)
    : QObject(parent)
    , m_root(root ? *root : defaultRoot())
    , m_inboxDir(m_root + QStringLiteral("/Inbox"))
    , m_archiveDir(m_root + QStringLiteral("/Archive"))
    , m_indexPath(m_root + QStringLiteral("/index.json"))
    , m_acksPath(m_root + QStringLiteral("/acks.json"))
    , m_defaults(defaults ? *defaults : platform::Defaults::standard())
    , m_clock(clock ? *clock : platform::Clock::system())
{
    QDir().mkpath(m_inboxDir);
    QDir().mkpath(m_archiveDir);
    load();
    if (!root) {
        const bool seededBefore = m_defaults.boolValue(QLatin1String(kDidSeedWelcome), false);
        seedWelcome();
        seedWhatsNew(!seededBefore);
    }
    runCleanup();
    m_cleanupTimer.setInterval(kCleanupIntervalMs);
    connect(&m_cleanupTimer, &QTimer::timeout, this, &ItemStore::runCleanup);
    m_cleanupTimer.start();
}

ItemStore::~ItemStore() = default;

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
        QJsonParseError error {};
        const QJsonDocument doc = QJsonDocument::fromJson(index, &error);
        QString why = error.error != QJsonParseError::NoError ? error.errorString()
            : doc.isArray()                                   ? QString()
                                                              : QStringLiteral("not a list");
        QList<ScreenItem> items;
        const QJsonArray records = doc.array();
        items.reserve(records.size());
        for (qsizetype i = 0; why.isEmpty() && i < records.size(); ++i) {
            QString field;
            auto item = ScreenItem::fromJson(records.at(i).toObject(), &field);
            if (item)
                items.append(std::move(*item));
            else
                why = QStringLiteral("record %1 has no valid %2").arg(i).arg(field);
        }
        // Reading is all or nothing: a partial list would silently drop items.
        if (why.isEmpty()) {
            m_items = std::move(items);
        } else {
            qCWarning(lcStore).noquote()
                << "[store] index.json could not be read (" + why + "); starting empty";
            m_keepIndexAside = true;
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
            m_keepAcksAside = true;
        }
    }
}

void ItemStore::save()
{
    if (m_batchDepth > 0) {
        m_indexDirty = true;
        return;
    }
    if (m_keepIndexAside) {
        platform::keepAside(m_indexPath, m_clock.now());
        m_keepIndexAside = false;
    }
    QByteArray index;
    index.reserve(m_items.size() * 768);
    index += "[\n";
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        m_items.at(i).appendIndentedJson(index);
        index += i + 1 < m_items.size() ? ",\n" : "\n";
    }
    index += "]\n";
    platform::writeFileAtomically(m_indexPath, index);
}

void ItemStore::saveAcks()
{
    if (m_batchDepth > 0) {
        m_acksDirty = true;
        return;
    }
    if (m_keepAcksAside) {
        platform::keepAside(m_acksPath, m_clock.now());
        m_keepAcksAside = false;
    }
    QJsonObject object;
    for (auto it = m_acks.begin(); it != m_acks.end(); ++it)
        object.insert(it.key(), QJsonArray::fromStringList(it.value()));
    platform::writeFileAtomically(m_acksPath, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

SaveBatch::SaveBatch(ItemStore& store)
    : m_store(store)
{
    ++m_store.m_batchDepth;
}

SaveBatch::~SaveBatch()
{
    if (--m_store.m_batchDepth > 0)
        return;
    if (std::exchange(m_store.m_acksDirty, false))
        m_store.saveAcks();
    if (std::exchange(m_store.m_indexDirty, false))
        m_store.save();
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
    publishItems();
    Q_EMIT lastArrivalChanged();
    save();
    if (onSaved)
        onSaved(std::nullopt);
}

void ItemStore::publishItems()
{
    Q_EMIT itemsChanged();
    Q_EMIT changed();
}

int ItemStore::indexOf(const QUuid& id) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).id == id)
            return i;
    }
    return -1;
}

void ItemStore::addSeededText(const QString& content, const QString& note)
{
    ScreenItem item;
    item.id = QUuid::createUuid();
    item.receivedAt = m_clock.now();
    item.filename = storedFileName(item.receivedAt, item.id, QStringLiteral("txt"));
    item.note = note;
    item.sender = QStringLiteral("Vesker");
    item.status = ItemStatus::inbox;
    item.kind = ItemKind::text;
    item.text = content;
    platform::writeFileAtomically(m_inboxDir + u'/' + item.filename, content.toUtf8());
    append(item);
}

void ItemStore::seedWelcome()
{
    if (m_defaults.boolValue(QLatin1String(kDidSeedWelcome), false) || !m_items.isEmpty())
        return;
    m_defaults.set(QLatin1String(kDidSeedWelcome), true);
    for (const QString& content : welcomeTexts())
        addSeededText(content, QStringLiteral("Getting started"));
}

void ItemStore::seedWhatsNew(bool freshInstall)
{
    const QString current = AppVersion::current();
    const QString last = m_defaults.string(QLatin1String(kLastSeenVersion));
    m_defaults.set(QLatin1String(kLastSeenVersion), current);
    if (freshInstall || current == last)
        return;
    const std::optional<QString> notes = WhatsNew::notes(current);
    if (!notes)
        return;
    addSeededText(
        QStringLiteral("What's new in ") + current + QStringLiteral("\n\n") + notes->trimmed(),
        QStringLiteral("Version ") + current);
}

void ItemStore::setRelayAckHandler(RelayAckHandler handler)
{
    RelayAcks& acks = relayAcks();
    acks.handler = std::move(handler);
    if (!acks.handler)
        return;
    const auto queued = std::exchange(acks.queued, {});
    for (const auto& [messageID, action] : queued)
        acks.handler(messageID, action);
}

bool ItemStore::hasRelayAckHandler()
{
    return bool(relayAcks().handler);
}

} // namespace vesker
