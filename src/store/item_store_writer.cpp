#include "store/item_store_writer.h"

#include <QDateTime>
#include <QMutex>
#include <QThreadPool>
#include <QWaitCondition>

namespace vesker {

struct ItemStoreWriter::Flight {
    std::function<void(const std::optional<QString>&)> finished;
    QMutex lock;
    QWaitCondition done;
    bool written = false;
    std::optional<QString> error;
};

ItemStoreWriter::ItemStoreWriter(Sink sink, QThreadPool& pool,
    std::function<Snapshot()> takeSnapshot, std::function<QDateTime()> now, QObject* parent)
    : QObject(parent)
    , m_sink(std::move(sink))
    , m_pool(pool)
    , m_takeSnapshot(std::move(takeSnapshot))
    , m_now(std::move(now))
{ }

ItemStoreWriter::~ItemStoreWriter()
{
    if (m_inFlight)
        waitFor(m_inFlight);
}

void ItemStoreWriter::markDirty()
{
    m_dirty = m_wanted = true;
    if (m_inFlight || m_startQueued)
        return;
    m_startQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_startQueued = false;
            start();
        },
        Qt::QueuedConnection);
}

void ItemStoreWriter::start()
{
    if (m_inFlight || !m_dirty)
        return;
    m_dirty = m_wanted = false;
    Snapshot snapshot = m_takeSnapshot();
    auto flight = std::make_shared<Flight>();
    flight->finished = std::move(snapshot.finished);
    m_inFlight = flight;
    m_pool.start([this, flight, serialise = std::move(snapshot.serialise), now = m_now()] {
        QString error;
        const bool ok = m_sink(serialise(), now, &error);
        {
            const QMutexLocker locker(&flight->lock);
            flight->written = true;
            if (!ok)
                flight->error = error;
            flight->done.wakeAll();
        }
        // The writer outlives its flights (its destructor waits), so `this` is alive here;
        // a call still queued when it goes is dropped with it.
        QMetaObject::invokeMethod(
            this, [this, flight] { finish(flight); }, Qt::QueuedConnection);
    });
}

void ItemStoreWriter::waitFor(const std::shared_ptr<Flight>& flight)
{
    const QMutexLocker locker(&flight->lock);
    while (!flight->written)
        flight->done.wait(&flight->lock);
}

void ItemStoreWriter::finish(const std::shared_ptr<Flight>& flight)
{
    // flush() may have finished it already.
    if (flight != m_inFlight)
        return;
    m_inFlight.reset();
    if (flight->finished)
        flight->finished(flight->error);
    if (m_wanted)
        start();
}

void ItemStoreWriter::flush()
{
    // A failed write marks the file dirty again without retrying; one more write here takes
    // what is still dirty, and a second failure waits for the next change.
    for (int round = 0; round < 2 && (m_inFlight || m_dirty); ++round) {
        if (!m_inFlight)
            start();
        const std::shared_ptr<Flight> flight = m_inFlight;
        waitFor(flight);
        // finish() must not start another write behind our back; the loop does.
        const bool wanted = std::exchange(m_wanted, false);
        finish(flight);
        m_wanted = m_wanted || wanted;
    }
}

} // namespace vesker
