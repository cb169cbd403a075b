// What one arrival costs the main thread with the Inbox window open, in a store of 10 items and
// of 10,000: eight clients post photos to "/upload" at once over 127.0.0.1, through the access
// policy, the intake, the store's index write, the window's list, sidebar and bar, the sound
// and the notification. Prints the main thread's CPU per arrival (from the first upload until
// every reply is in and the window has followed) and the replies' median, for both sizes.
// Recognition is off: its results are edits of their own, timed by the store's benchmark.
#include "bench_window.h"

#include <QApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace vesker;
using namespace vesker::bench;

namespace {

constexpr int kClients = 8;
constexpr int kPerClient = 25;

struct Figures {
    double msPerArrival = 0;
    double replyP50 = 0;
    int answered = 0;
};

// Lets the event loop run for a while without spinning: the time is counted as CPU.
void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

Figures measure(int stored, const QString& source, const QByteArray& photo)
{
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-30);
    Receiver receiver(
        [&](ItemStore& store) {
            for (int i = 0; i < stored; ++i)
                store.append(photoItem(store, source, start.addSecs(i * 60), i));
        },
        {{QString::fromLatin1(ContentView::kDidShowOnboarding), true},
            {QStringLiteral("recognizeOnArrival"), false}});
    receiver.store.flush();
    Surroundings around(receiver);
    Window window = openWindow(receiver, around);
    settle(800);

    std::mutex lock;
    std::vector<double> replies;
    const quint16 port = receiver.port();
    const double cpuStart = threadCpuMs();
    runClient([&] {
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&, c] {
                const QByteArray device = "X-Device: phone-" + QByteArray::number(c) + "\r\n";
                for (int i = 0; i < kPerClient; ++i) {
                    const Reply reply = exchange(port, photoUpload(photo, device));
                    const std::lock_guard guard(lock);
                    if (reply.status == 200)
                        replies.push_back(reply.ms);
                }
            });
        }
        for (std::thread& client : clients)
            client.join();
    });
    // The last arrival's scroll and its card's thumbnail are part of what it costs.
    settle(ContentView::kArrivalScrollDelayMs + 400);
    Figures figures;
    figures.answered = int(replies.size());
    figures.msPerArrival = (threadCpuMs() - cpuStart) / std::max(1, figures.answered);
    std::sort(replies.begin(), replies.end());
    figures.replyP50 = replies.empty() ? 0 : replies[replies.size() / 2];
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vesker.*.info=false\nvesker.*.debug=false"));

    QTemporaryDir sourceDir;
    const QString source = sourceDir.filePath(QStringLiteral("stored.jpg"));
    QFile file(source);
    if (file.open(QIODevice::WriteOnly))
        file.write(noisyJpeg(1600, 1200, 32));
    file.close();
    const QByteArray photo = noisyJpeg(1200, 900, 32);

    const Figures small = measure(10, source, photo);
    const Figures large = measure(10000, source, photo);
    std::printf("%d clients x %d photo uploads of %.2f MB, window open, recognition off\n",
        kClients, kPerClient, photo.size() / 1e6);
    std::printf("arrival over HTTP, main thread (ms):    %.2f at 10 items, %.2f at 10,000   goal "
                "< 2\n",
        small.msPerArrival, large.msPerArrival);
    std::printf("last byte to reply, median (ms):         %.1f at 10 items, %.1f at 10,000\n",
        small.replyP50, large.replyP50);
    std::printf("answered 200:                            %d and %d of %d\n", small.answered,
        large.answered, kClients * kPerClient);
    return small.answered == kClients * kPerClient && large.answered == kClients * kPerClient ? 0
                                                                                              : 1;
}
