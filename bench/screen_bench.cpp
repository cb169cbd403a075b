// The browser screen of a busy Inbox: 1,000 photo items on disk behind the real controller and
// HTTP server on 127.0.0.1. Prints the item list's reply time, a thumbnail made and then served
// from the cache, and an upload's reply time while 20 thumbnails are being made.
#include "bench_receiver.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

using namespace vesker;
using namespace vesker::bench;

namespace {

constexpr int kItems = 1000;
constexpr int kListRequests = 50;
constexpr int kConcurrentThumbnails = 20;

QByteArray get(const QByteArray& path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: bench\r\n\r\n";
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vesker.*.info=false\nvesker.*.debug=false"));
    const QByteArray stored = noisyJpeg(1600, 1200, 32);
    QList<QByteArray> ids;
    Receiver receiver(
        [&](ItemStore& store) {
            for (int i = 0; i < kItems; ++i) {
                ScreenItem item;
                item.id = QUuid::createUuid();
                item.receivedAt = QDateTime::currentDateTimeUtc().addSecs(-i);
                item.filename
                    = ItemStore::storedFileName(item.receivedAt, item.id, QStringLiteral("jpg"));
                item.sender = QStringLiteral("Phone %1").arg(i % 9);
                item.note = QStringLiteral("Shelf %1").arg(i);
                QFile file(store.fileURL(item));
                if (file.open(QIODevice::WriteOnly))
                    file.write(stored);
                store.append(item);
                ids.append(uuidText(item.id).toLatin1());
            }
        },
        {{QStringLiteral("allowBrowserScreens"), true}});
    const quint16 port = receiver.port();

    const QByteArray upload = noisyJpeg(2000, 1500, 32);
    std::vector<double> lists;
    Reply firstThumb, cachedThumb, uploadReply;
    std::vector<Reply> busyThumbs(kConcurrentThumbnails);
    runClient([&] {
        for (int i = 0; i < kListRequests; ++i)
            lists.push_back(exchange(port, get("/api/items")).ms);
        firstThumb = exchange(port, get("/api/thumb/" + ids[0]));
        cachedThumb = exchange(port, get("/api/thumb/" + ids[0]));

        std::vector<std::thread> thumbs;
        for (int i = 0; i < kConcurrentThumbnails; ++i) {
            thumbs.emplace_back([&, i] {
                busyThumbs[size_t(i)] = exchange(port, get("/api/thumb/" + ids[i + 1]));
            });
        }
        // Let the thumbnail requests reach the server before the upload does.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        uploadReply = exchange(port, photoUpload(upload));
        for (std::thread& t : thumbs)
            t.join();
    });

    std::vector<double> busy;
    int busyOk = 0;
    for (const Reply& r : busyThumbs) {
        busy.push_back(r.ms);
        busyOk += r.status == 200;
    }
    std::printf("inbox items:                          %d (%.0f kB JPEG each)\n", kItems,
        stored.size() / 1e3);
    std::printf("/api/items median reply (ms):         %.1f   goal < 20\n", median(lists));
    std::printf("first thumbnail (ms):                 %.1f (status %d)\n", firstThumb.ms,
        firstThumb.status);
    std::printf("same thumbnail again, cached (ms):    %.2f (status %d)\n", cachedThumb.ms,
        cachedThumb.status);
    std::printf("upload while %d thumbnails made (ms): %.1f (status %d, %.2f MB)   goal < 100\n",
        kConcurrentThumbnails, uploadReply.ms, uploadReply.status, upload.size() / 1e6);
    std::printf("those thumbnails, median / max (ms):  %.1f / %.1f (%d of %d answered 200)\n",
        median(busy), *std::max_element(busy.begin(), busy.end()), busyOk, kConcurrentThumbnails);
    return 0;
}
