#include "server/thumbnail_cache.h"

#include "platform/media.h"

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
}

void ThumbnailCache::request(const QUuid& id, const QString& path, Callback done)
{
    if (const auto hit = m_entries.find(id); hit != m_entries.end()) {
        m_uses.splice(m_uses.begin(), m_uses, hit->use);
        return done(hit->jpeg);
    }
    auto waiting = m_waiting.find(id);
    if (waiting != m_waiting.end()) {
        waiting->append(std::move(done));
        return;
    }
    m_waiting.insert(id, {std::move(done)});
    // The cache outlives every job (its destructor waits for them); a result that arrives after
    // it began to go is dropped with the cache's posted events.
    m_pool.start([this, id, path] {
        std::optional<QByteArray> jpeg
            = path.isEmpty() ? std::nullopt : platform::thumbnailData(path, kMaxPixelSize);
        QMetaObject::invokeMethod(
            this, [this, id, jpeg = std::move(jpeg)] { finished(id, jpeg); }, Qt::QueuedConnection);
    });
}

void ThumbnailCache::finished(const QUuid& id, const std::optional<QByteArray>& jpeg)
{
    // A failed thumbnail is not kept: the file may be readable on the next request.
    if (jpeg)
        insert(id, *jpeg);
    const QList<Callback> callbacks = m_waiting.take(id);
    for (const Callback& done : callbacks)
        done(jpeg);
}

void ThumbnailCache::insert(const QUuid& id, const QByteArray& jpeg)
{
    m_uses.push_front(id);
    m_entries.insert(id, {jpeg, m_uses.begin()});
    m_bytes += jpeg.size();
    while (m_uses.size() > 1 && (m_entries.size() > kMaxEntries || m_bytes > kMaxBytes)) {
        const QUuid oldest = m_uses.back();
        m_uses.pop_back();
        m_bytes -= m_entries.take(oldest).jpeg.size();
    }
}

} // namespace vesker
