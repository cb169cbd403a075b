// Photo uploads of about 5 MB through the whole road: socket, parser, access policy, the file
// written, the item appended to a store of 1,000 items and its index saved, the reply. Prints
// uploads per second and the time from the last byte sent to the reply. Recognition of each
// photo starts after its reply, as it does in the program, and competes for the processor.
#include "bench_receiver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

using namespace vesker;
using namespace vesker::bench;

namespace {

constexpr int kStoredItems = 1000;
constexpr int kUploads = 20;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vesker.*.info=false\nvesker.*.debug=false"));
    Receiver receiver([](ItemStore& store) {
        for (int i = 0; i < kStoredItems; ++i) {
            ScreenItem item;
            item.id = QUuid::createUuid();
            item.receivedAt = QDateTime::currentDateTimeUtc().addSecs(-i);
            item.filename
                = ItemStore::storedFileName(item.receivedAt, item.id, QStringLiteral("jpg"));
            item.sender = QStringLiteral("Phone %1").arg(i % 9);
            item.recognizedText = QStringLiteral("Order %1 ships to 1 Main Street").arg(i);
            store.append(item);
        }
    });
    const quint16 port = receiver.port();

    const QByteArray photo = noisyJpeg(4000, 3000, 64);
    std::vector<Reply> timings;
    double totalSeconds = 0;
    runClient([&] {
        QElapsedTimer total;
        total.start();
        for (int i = 0; i < kUploads; ++i)
            timings.push_back(exchange(
                port, photoUpload(photo, "X-Item-Id: bench-" + QByteArray::number(i) + "\r\n")));
        totalSeconds = total.nsecsElapsed() / 1e9;
    });

    std::vector<double> replies;
    int ok = 0;
    for (const Reply& t : timings) {
        replies.push_back(t.ms);
        ok += t.status == 200;
    }
    std::sort(replies.begin(), replies.end());
    std::printf("photo size:                       %.2f MB\n", photo.size() / 1e6);
    std::printf("store before the run:             %d items\n", kStoredItems);
    std::printf("uploads answered 200:             %d of %d (items in store: %lld)\n", ok, kUploads,
        qlonglong(receiver.store.items().size()));
    std::printf("uploads per second:               %.2f (%.1f MB/s)\n", kUploads / totalSeconds,
        kUploads * photo.size() / 1e6 / totalSeconds);
    std::printf(
        "last byte to reply, median (ms):  %.1f   goal <= 100\n", replies[replies.size() / 2]);
    std::printf("last byte to reply, max (ms):     %.1f\n", replies.back());
    return ok == kUploads ? 0 : 1;
}
