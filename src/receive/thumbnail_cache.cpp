#include "receive/thumbnail_cache.h"

#include "platform/media.h"

#include <QFileInfo>

namespace vesker {

ThumbnailCache::ThumbnailCache(QObject* parent)
    : QObject(parent)
{
    m_pool.setMaxThreadCount(kThreads);
    m_pool.setObjectName(QStringLiteral("thumbnails"));
}

ThumbnailCache::~ThumbnailCache()
{
    m_pool.clear();
    m_pool.waitForDone();
    // Nobody is left to make them: the replies waiting for them go out as "not found".
    const auto waiting = std::exchange(m_waiting, {});
    for (const QList<Callback>& callbacks : waiting) {
        for (const Callback& done : callbacks)
            done(std::nullopt);
    }
}

ThumbnailCache::Stamp ThumbnailCache::stamp(const QString& path)
{
    const QFileInfo info(path);
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

void ThumbnailCache::request(const QUuid& id, const QString& path, Callback done)
{
    const Stamp now = stamp(path);
    if (const auto hit = m_entries.find(id); hit != m_entries.end()) {
        if (hit->stamp == now) {
            m_uses.splice(m_uses.begin(), m_uses, hit->use);
            return done(hit->jpeg);
        }
        evict(id);
    }
    auto waiting = m_waiting.find(id);
    if (waiting != m_waiting.end()) {
        waiting->append(std::move(done));
        return;
    }
    m_waiting.insert(id, {std::move(done)});
    // The cache outlives every job (its destructor waits for them); a result that arrives after
    // it began to go is dropped with the cache's posted events.
    m_pool.start([this, id, path, now] {
        std::optional<QByteArray> jpeg
            = path.isEmpty() ? std::nullopt : platform::thumbnailData(path, kMaxPixelSize);
        QMetaObject::invokeMethod(
            this, [this, id, now, jpeg = std::move(jpeg)] { finished(id, now, jpeg); },
            Qt::QueuedConnection);
    });
}

void ThumbnailCache::finished(const QUuid& id, Stamp stamp, const std::optional<QByteArray>& jpeg)
{
    // A failed thumbnail is not kept: the file may be readable on the next request.
    if (jpeg)
        insert(id, stamp, *jpeg);
    const QList<Callback> callbacks = m_waiting.take(id);
    for (const Callback& done : callbacks)
        done(jpeg);
}

void ThumbnailCache::insert(const QUuid& id, Stamp stamp, const QByteArray& jpeg)
{
    evict(id);
    m_uses.push_front(id);
    m_entries.insert(id, {jpeg, stamp, m_uses.begin()});
    m_bytes += jpeg.size();
    while (m_uses.size() > 1 && (m_entries.size() > kMaxEntries || m_bytes > kMaxBytes))
        evict(m_uses.back());
}

void ThumbnailCache::evict(const QUuid& id)
{
    const auto entry = m_entries.constFind(id);
    if (entry == m_entries.cend())
        return;
    m_bytes -= entry->jpeg.size();
    m_uses.erase(entry->use);
    m_entries.erase(entry);
}

} // namespace vesker
