// Times the item store on a large screen: loading a 10,000-item index, one acknowledgement
// (which rewrites the index and acks.json), and the main thread's share of a burst of arrivals
// into a store of 10 and of 10,000 items, each arrival added as uploads add theirs and counted
// until the index holding it is on disk. The writes run on the store's worker thread; what
// the main thread pays is its own CPU time, snapshots and completion included. Prints the median
// of several runs.
#include "platform/clock.h"
#include "platform/defaults.h"
#include "store/item_store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

using namespace vesker;

namespace {

constexpr int kItems = 10000;
constexpr int kRuns = 9;

double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Times {
    double wallMs;
    double mainThreadMs;
};

Times median(const std::function<void()>& work)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        const double cpuStart = threadCpuMs();
        timer.start();
        work();
        wall.push_back(timer.nsecsElapsed() / 1e6);
        cpu.push_back(threadCpuMs() - cpuStart);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

ScreenItem arrivingItem(int i)
{
    ScreenItem item;
    item.id = QUuid::createUuid();
    item.receivedAt = QDateTime::currentDateTimeUtc().addSecs(i);
    item.filename = ItemStore::storedFileName(item.receivedAt, item.id, QStringLiteral("jpg"));
    item.sender = QStringLiteral("Phone %1").arg(i % 8);
    item.deviceID = QStringLiteral("device-%1").arg(i % 8);
    return item;
}

// Main-thread CPU per arrival over a burst: the event loop runs between arrivals, as it does
// between requests, so the writer groups what arrived while it wrote.
double msPerArrival(ItemStore& store, int count)
{
    constexpr int kBurst = 400;
    int saved = 0;
    const double cpuStart = threadCpuMs();
    for (int i = 0; i < kBurst; ++i) {
        const ScreenItem item = arrivingItem(count + i);
        {
            const SaveBatch batch(store);
            store.append(item, [&saved](const std::optional<QString>&) { ++saved; });
            store.setGroup(item.id, QStringLiteral("group-%1").arg(i), 0, 1);
        }
        QCoreApplication::processEvents();
    }
    while (saved < kBurst)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return (threadCpuMs() - cpuStart) / kBurst;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    platform::Defaults defaults(
        dir.filePath(QStringLiteral("defaults.json")), platform::Clock::system());
    const QString root = dir.filePath(QStringLiteral("store"));

    QList<QUuid> ids;
    {
        ItemStore store(root, defaults, platform::Clock::system());
        const SaveBatch batch(store);
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-30);
        for (int i = 0; i < kItems; ++i) {
            ScreenItem item;
            item.id = QUuid::createUuid();
            item.receivedAt = start.addSecs(i * 60);
            item.filename
                = ItemStore::storedFileName(item.receivedAt, item.id, QStringLiteral("jpg"));
            item.note = QStringLiteral("Delivery note %1").arg(i);
            item.sender = QStringLiteral("Phone %1").arg(i % 17);
            item.deviceID = QStringLiteral("device-%1").arg(i % 17);
            item.barcodes
                = {QStringLiteral("EAN-13 40063813%1").arg(i % 100000, 5, 10, QChar(u'0'))};
            item.recognizedText = QStringLiteral("Order %1\nShip to: 1 Main Street\nQty 3").arg(i);
            item.tags = {QStringLiteral("orders")};
            ids.append(item.id);
            store.append(item);
        }
    }

    // Loading blocks the main thread for all of its wall time, part of it waiting for the
    // records decoded on other threads. Stores are closed outside the timing.
    std::vector<std::unique_ptr<ItemStore>> loaded;
    const Times load = median([&] {
        loaded.push_back(std::make_unique<ItemStore>(root, defaults, platform::Clock::system()));
    });
    loaded.clear();
    ItemStore store(root, defaults, platform::Clock::system());
    int next = 0;
    const Times ack = median([&] {
        store.acknowledge(ids.at(next++ * 997 % kItems), QStringLiteral("got-it"));
        // Waiting for the write costs the main thread no CPU; taking the snapshots and hearing
        // the result does.
        store.flush();
    });

    const double arrivalAtLarge = msPerArrival(store, kItems);
    ItemStore small(dir.filePath(QStringLiteral("small")), defaults, platform::Clock::system());
    for (int i = 0; i < 10; ++i)
        small.append(arrivingItem(i));
    small.flush();
    const double arrivalAtSmall = msPerArrival(small, 10);

    std::printf("items in index:                        %d\n", kItems);
    std::printf("load, main thread blocked (ms, median): %.1f   (its own CPU %.1f)\n", load.wallMs,
        load.mainThreadMs);
    std::printf("acknowledge, main thread busy (ms):     %.2f   goal < 5\n", ack.mainThreadMs);
    std::printf("acknowledge until on disk (ms, wall):   %.1f\n", ack.wallMs);
    std::printf("arrival in a burst, main thread (ms):   %.3f at 10 items, %.3f at %d   goal < 2\n",
        arrivalAtSmall, arrivalAtLarge, kItems);
    return 0;
}
