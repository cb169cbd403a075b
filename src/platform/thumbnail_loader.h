#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <unordered_map>

namespace vesker {

// The one way a downscaled picture of a photo or of a PDF's first page is made. Decoding runs
// on a pool of its own, so thumbnails never wait behind recognition and never block the main
// thread; results come back on the main thread.
class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    using Ticket = quint64;

    explicit ThumbnailLoader(int threads = 3, QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    // Any thread. Upright, the longer side at most `maxPixel` (a photo is never enlarged; a
    // PDF's first page is drawn on white with its longer side at `maxPixel`); null when the
    // file cannot be read.
    static QImage makeThumbnail(const QString& path, int maxPixel);

    // One attempt on the pool. `done` runs on the main thread while `receiver` lives, unless
    // the ticket was cancelled first; a request cancelled before it started is never decoded.
    Ticket load(const QString& path, int maxPixel, QObject* receiver,
        std::function<void(const QImage&)> done);
    // Up to four attempts, waiting 120, 240, 360 and 480 ms after each miss, for a file still
    // being written. `done` hears the picture, or a null image once the last wait has passed.
    Ticket loadRetrying(const QString& path, int maxPixel, QObject* receiver,
        std::function<void(const QImage&)> done);
    // Either kind of ticket.
    void cancel(Ticket ticket);

private:
    struct Pending;
    struct Retry;
    void finish(Ticket ticket, const QImage& image);
    void attemptRetry(Ticket ticket, int number);

    QThreadPool m_pool;
    Ticket m_nextTicket = 1;
    // Main thread only: what each unfinished ticket waits for.
    std::unordered_map<Ticket, std::shared_ptr<Pending>> m_pending;
    std::unordered_map<Ticket, std::shared_ptr<Retry>> m_retries;
};

} // namespace vesker
