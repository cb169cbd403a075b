// Times the item store on a large screen: loading a 10,000-item index, saving it, and one
// acknowledgement (which rewrites the index and acks.json). Prints the median of several runs.
#include "platform/defaults.h"
#include "store/item_store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace vesker;

namespace {

constexpr int kItems = 10000;
constexpr int kRuns = 9;

double medianMs(const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    const QString root = dir.filePath(QStringLiteral("store"));

    QList<QUuid> ids;
    {
        ItemStore store(root, &defaults);
        // Appending saves each time; one batch writes the index once at the end.
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

    const double loadMs = medianMs([&] { ItemStore store(root, &defaults); });
    ItemStore store(root, &defaults);
    const double saveMs = medianMs([&] { store.save(); });
    int next = 0;
    const double ackMs = medianMs(
        [&] { store.acknowledge(ids.at(next++ * 997 % kItems), QStringLiteral("got-it")); });

    std::printf("items in index:                %d\n", kItems);
    std::printf("load index (ms, median of %d):  %.1f   goal < 300\n", kRuns, loadMs);
    std::printf("save index (ms, median of %d):  %.1f\n", kRuns, saveMs);
    std::printf("acknowledge one (ms, median):  %.1f   goal < 150\n", ackMs);
    return 0;
}
