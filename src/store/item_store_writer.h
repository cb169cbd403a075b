#pragma once

#include <QDateTime>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class QThreadPool;

namespace vesker {

// Writes one of the store's files on a worker thread from snapshots of the main thread's
// state, one write at a time and in order. Changes made while a write is under way only mark
// the file dirty; the next snapshot is taken when that write ends, so a burst of changes costs
// the main thread a snapshot each, not a serialisation and a sync each.
class ItemStoreWriter : public QObject {
    Q_OBJECT
public:
    struct Snapshot {
        // Runs on the worker: turns the snapshot into the file's bytes.
        std::function<QByteArray()> serialise;
        // Runs on the main thread once the write has ended: no error, or why it failed.
        std::function<void(const std::optional<QString>& error)> finished;
    };

    // Runs on the worker: puts the bytes on disk (no error) or says why it could not.
    using Sink = std::function<bool(const QByteArray& data, const QDateTime& now, QString* error)>;

    // `takeSnapshot` runs on the main thread whenever a write is about to start.
    ItemStoreWriter(Sink sink, QThreadPool& pool, std::function<Snapshot()> takeSnapshot,
        std::function<QDateTime()> now, QObject* parent = nullptr);
    ~ItemStoreWriter() override;

    // A write is under way.
    bool busy() const { return m_inFlight != nullptr; }
    // A write is under way or asked for.
    bool pending() const { return m_inFlight != nullptr || m_dirty; }

    // Asks for a write with the state as it will be when the main thread is next idle.
    void markDirty();
    // As markDirty, but the write waits for the next change or flush(): after a failure,
    // the changes not on disk go with the next write instead of retrying at once.
    void markDirtyQuietly() { m_dirty = true; }
    // Waits for the write under way, then writes whatever is still dirty; every `finished`
    // has run when it returns.
    void flush();

private:
    struct Flight;
    void start();
    void finish(const std::shared_ptr<Flight>& flight);
    void waitFor(const std::shared_ptr<Flight>& flight);

    Sink m_sink;
    QThreadPool& m_pool;
    std::function<Snapshot()> m_takeSnapshot;
    std::function<QDateTime()> m_now;
    std::shared_ptr<Flight> m_inFlight;
    // Dirty: memory differs from the file. Wanted: a change asked for a write.
    bool m_dirty = false;
    bool m_wanted = false;
    bool m_startQueued = false;
};

} // namespace vesker
