#include "platform/thumbnail_loader.h"

#include "platform/media.h"

#include <QPointer>
#include <QTimer>

#include <atomic>

namespace vesker {

namespace {

// A file still being written shows up on one of the later attempts.
constexpr int kAttempts = 4;
constexpr int kRetryStepMs = 120;

} // namespace

struct ThumbnailLoader::Pending {
    // Read by the worker before it decodes: a request nobody waits for any more costs nothing.
    std::atomic<bool> dropped = false;
    QPointer<QObject> receiver;
    std::function<void(const QImage&)> done;
    QMetaObject::Connection receiverGone;
};

ThumbnailLoader::ThumbnailLoader(int threads, QObject* parent)
    : QObject(parent)
{
    m_pool.setMaxThreadCount(std::max(1, threads));
}

ThumbnailLoader::~ThumbnailLoader()
{
    for (auto& [ticket, pending] : m_pending)
        pending->dropped = true;
    m_pool.clear();
    m_pool.waitForDone();
}

QImage ThumbnailLoader::makeThumbnail(const QString& path, int maxPixel)
{
    return platform::thumbnailImage(path, maxPixel);
}

ThumbnailLoader::Ticket ThumbnailLoader::load(
    const QString& path, int maxPixel, QObject* receiver, std::function<void(const QImage&)> done)
{
    const Ticket ticket = m_nextTicket++;
    auto pending = std::make_shared<Pending>();
    pending->receiver = receiver;
    pending->done = std::move(done);
    if (receiver) {
        pending->receiverGone
            = connect(receiver, &QObject::destroyed, this, [this, ticket] { cancel(ticket); });
    }
    m_pending.emplace(ticket, pending);

    QPointer<ThumbnailLoader> self(this);
    m_pool.start([self, ticket, pending, path, maxPixel] {
        if (pending->dropped)
            return;
        const QImage image = makeThumbnail(path, maxPixel);
        if (pending->dropped)
            return;
        // The loader outlives its pool's tasks (its destructor waits for them), so the guard
        // only matters for a queued call that lands after the loader went.
        QMetaObject::invokeMethod(
            self.data(),
            [self, ticket, image] {
                if (self)
                    self->finish(ticket, image);
            },
            Qt::QueuedConnection);
    });
    return ticket;
}

struct ThumbnailLoader::Retry {
    QString path;
    int maxPixel = 0;
    QPointer<QObject> receiver;
    std::function<void(const QImage&)> done;
    Ticket attempt = 0;
};

ThumbnailLoader::Ticket ThumbnailLoader::loadRetrying(
    const QString& path, int maxPixel, QObject* receiver, std::function<void(const QImage&)> done)
{
    const Ticket ticket = m_nextTicket++;
    m_retries.emplace(ticket,
        std::make_shared<Retry>(Retry {
            .path = path, .maxPixel = maxPixel, .receiver = receiver, .done = std::move(done)}));
    attemptRetry(ticket, 0);
    return ticket;
}

void ThumbnailLoader::attemptRetry(Ticket ticket, int number)
{
    const auto found = m_retries.find(ticket);
    if (found == m_retries.end())
        return;
    const std::shared_ptr<Retry> retry = found->second;
    if (!retry->receiver) {
        m_retries.erase(found);
        return;
    }
    retry->attempt = load(retry->path, retry->maxPixel, retry->receiver,
        [this, ticket, number, retry](const QImage& image) {
            if (!m_retries.contains(ticket))
                return;
            if (!image.isNull()) {
                m_retries.erase(ticket);
                retry->done(image);
                return;
            }
            QTimer::singleShot(kRetryStepMs * (number + 1), this, [this, ticket, number, retry] {
                if (!m_retries.contains(ticket))
                    return;
                if (number + 1 < kAttempts) {
                    attemptRetry(ticket, number + 1);
                    return;
                }
                m_retries.erase(ticket);
                if (retry->receiver)
                    retry->done({});
            });
        });
}

void ThumbnailLoader::cancel(Ticket ticket)
{
    if (const auto retry = m_retries.find(ticket); retry != m_retries.end()) {
        const Ticket attempt = retry->second->attempt;
        m_retries.erase(retry);
        cancel(attempt);
        return;
    }
    const auto found = m_pending.find(ticket);
    if (found == m_pending.end())
        return;
    found->second->dropped = true;
    disconnect(found->second->receiverGone);
    m_pending.erase(found);
}

void ThumbnailLoader::finish(Ticket ticket, const QImage& image)
{
    const auto found = m_pending.find(ticket);
    if (found == m_pending.end())
        return;
    const std::shared_ptr<Pending> pending = found->second;
    disconnect(pending->receiverGone);
    m_pending.erase(found);
    if (pending->receiver && pending->done)
        pending->done(image);
}

} // namespace vesker
