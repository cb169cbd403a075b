#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QThreadPool>
#include <QUuid>

#include <functional>
#include <list>
#include <optional>

namespace vesker {

// The browser screen's thumbnails: made on a pool of their own, never on the main thread, kept
// by item id, least recently used out first once the cache holds kMaxEntries or kMaxBytes.
// Requests for an id whose thumbnail is being made wait for that one job. Main thread only; the
// callbacks run there too.
class ThumbnailCache : public QObject {
    Q_OBJECT
public:
    using Callback = std::function<void(const std::optional<QByteArray>& jpeg)>;

    static constexpr int kThreads = 3;
    static constexpr int kMaxPixelSize = 240;
    static constexpr qsizetype kMaxEntries = 300;
    static constexpr qsizetype kMaxBytes = 32 * 1024 * 1024;

    explicit ThumbnailCache(QObject* parent = nullptr);
    // Waits for the jobs under way; their callers hear "none".
    ~ThumbnailCache() override;

    // `done` is called once: at once from the cache, else when the thumbnail of the file at
    // `path` is made (none: the file could not be read as a photo or PDF). A kept thumbnail
    // whose file has changed since (a photo turned or cropped in place) is made again.
    void request(const QUuid& id, const QString& path, Callback done);

    qsizetype size() const { return m_entries.size(); }
    qsizetype bytes() const { return m_bytes; }

private:
    // The file's size and modification time.
    using Stamp = std::pair<qint64, qint64>;
    static Stamp stamp(const QString& path);
    void finished(const QUuid& id, Stamp stamp, const std::optional<QByteArray>& jpeg);
    void insert(const QUuid& id, Stamp stamp, const QByteArray& jpeg);
    void evict(const QUuid& id);

    struct Entry {
        QByteArray jpeg;
        Stamp stamp;
        std::list<QUuid>::iterator use;
    };
    QThreadPool m_pool;
    QHash<QUuid, Entry> m_entries;
    std::list<QUuid> m_uses; // most recent first
    qsizetype m_bytes = 0;
    QHash<QUuid, QList<Callback>> m_waiting;
};

} // namespace vesker
