// The Inbox window over 10,000 photos: 12-megapixel JPEGs on disk (hard links to three files),
// the real main window at its default size on the offscreen platform, with its cards, thumbnail
// loader, bar and server on 127.0.0.1. Prints the time to the first paint, the most card widgets
// alive while scrolling from top to bottom a screen at a time, a search keystroke until the list
// shows its result, an arrival until its card is on screen, and the peak resident memory; then
// the first paint and the most cards again in compact mode.
#include "bench_window.h"
#include "card/item_row.h"
#include "inbox/card_list_view.h"
#include "inbox/content_view.h"
#include "store/item_queries.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <sys/resource.h>
#include <unistd.h>

using namespace vesker;
using namespace vesker::bench;

namespace {

constexpr int kItems = 10000;
constexpr int kSources = 3;
constexpr int kRounds = 5;

double msSince(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

void settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    waitFor([&] { return timer.elapsed() >= ms; }, timer);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values[values.size() / 2];
}

bool onScreen(const CardListView& list, const QUuid& id)
{
    const QWidget* card = list.cardFor(id);
    return card && card->isVisible() && card->geometry().intersects(list.viewport()->rect());
}

int cardsAlive(const QWidget& window)
{
    return int(window.findChildren<ItemRow*>().size());
}

struct ScrollFigures {
    int mostWhileScrolling = 0;
    int mostSettled = 0;
    int screens = 0;
    double msPerScreen = 0;
};

// Top to bottom a screen at a time; at each quarter the thumbnails are let in before counting.
ScrollFigures scrollThrough(const MainWindow& window)
{
    ScrollFigures figures;
    QScrollBar* bar = window.content().cardList().verticalScrollBar();
    int nextQuarter = 1;
    double scrolling = 0;
    while (bar->value() < bar->maximum()) {
        QElapsedTimer step;
        step.start();
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCoreApplication::processEvents();
        scrolling += msSince(step);
        ++figures.screens;
        figures.mostWhileScrolling = std::max(figures.mostWhileScrolling, cardsAlive(window));
        if (nextQuarter < 4 && bar->value() >= qint64(bar->maximum()) * nextQuarter / 4) {
            ++nextQuarter;
            settle(400);
            figures.mostSettled = std::max(figures.mostSettled, cardsAlive(window));
        }
    }
    settle(400);
    figures.mostSettled = std::max(figures.mostSettled, cardsAlive(window));
    figures.msPerScreen = figures.screens ? scrolling / figures.screens : 0;
    return figures;
}

// One character typed after `prefix`, until the first result's card is on screen.
QList<double> keystrokes(Receiver& receiver, const MainWindow& window)
{
    auto* field = window.findChild<QLineEdit*>(QStringLiteral("searchField"));
    const CardListView& list = window.content().cardList();
    const QString prefix = QStringLiteral("Shelf 42");
    QList<double> times;
    for (int round = 0; round < kRounds; ++round) {
        field->setText(prefix);
        settle(300);
        const QChar digit = QChar(u'0' + round);
        const QList<ScreenItem> wanted = itemsIn(receiver.store.items(), ItemStatus::inbox,
            ItemFilter::all(), prefix + digit, receiver.store.defaults());
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(field, digit.toLatin1());
        times.append(waitFor(
            [&] {
                return list.items().size() == wanted.size() && onScreen(list, wanted.value(0).id);
            },
            timer));
    }
    field->clear();
    settle(300);
    return times;
}

// An arrival with the list at `position` (0 top, 0.5 halfway) until its card is on screen.
QList<double> arrivals(Receiver& receiver, const QStringList& sources, const MainWindow& window,
    double position, int& counter)
{
    CardListView& list = window.content().cardList();
    QList<double> times;
    for (int round = 0; round < kRounds; ++round) {
        list.verticalScrollBar()->setValue(int(list.verticalScrollBar()->maximum() * position));
        settle(300);
        const QDateTime at = QDateTime::currentDateTimeUtc().addSecs(++counter);
        QElapsedTimer timer;
        timer.start();
        const ScreenItem item
            = photoItem(receiver.store, sources[counter % kSources], at, kItems + counter);
        receiver.store.append(item);
        times.append(waitFor([&] { return onScreen(list, item.id); }, timer));
        // The scroll that brings it into view runs on; the next round starts from where it ends.
        settle(ContentView::kArrivalScrollDelayMs + 400);
    }
    return times;
}

// A burst of arrivals into the open window: the main thread's CPU per arrival, from the first
// until the index holding the last is on disk and every view has followed (the event loop runs
// between arrivals, as it does between requests).
double burstMsPerArrival(
    Receiver& receiver, const QStringList& sources, const MainWindow& window, int& counter)
{
    constexpr int kBurst = 100;
    window.content().cardList().verticalScrollBar()->setValue(0);
    settle(300);
    QList<ScreenItem> items;
    for (int i = 0; i < kBurst; ++i) {
        const QDateTime at = QDateTime::currentDateTimeUtc().addSecs(++counter);
        items.append(photoItem(receiver.store, sources[counter % kSources], at, kItems + counter));
    }
    int saved = 0;
    const double cpuStart = threadCpuMs();
    for (const ScreenItem& item : std::as_const(items)) {
        receiver.store.append(item, [&saved](const std::optional<QString>&) { ++saved; });
        QCoreApplication::processEvents();
    }
    while (saved < kBurst)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    const double perArrival = (threadCpuMs() - cpuStart) / kBurst;
    settle(ContentView::kArrivalScrollDelayMs + 400);
    return perArrival;
}

double peakRssMb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void printScroll(const char* mode, const ScrollFigures& figures)
{
    std::printf("%s most cards alive while scrolling:   %d   goal <= 40  (%d screens, %.2f ms "
                "each)\n",
        mode, figures.mostWhileScrolling, figures.screens, figures.msPerScreen);
    std::printf(
        "%s most cards alive, thumbnails in:    %d   goal <= 40\n", mode, figures.mostSettled);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vesker.*.info=false\nvesker.*.debug=false"));

    QTemporaryDir sourceDir;
    QStringList sources;
    for (int k = 0; k < kSources; ++k) {
        sources.append(sourceDir.filePath(QStringLiteral("source-%1.jpg").arg(k)));
        QFile file(sources.last());
        if (file.open(QIODevice::WriteOnly))
            file.write(noisyJpeg(4000, 3000, 32));
    }
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-30);
    Receiver receiver(
        [&](ItemStore& store) {
            for (int i = 0; i < kItems; ++i)
                store.append(photoItem(store, sources[i % kSources], start.addSecs(i * 60), i));
        },
        {{QString::fromLatin1(ContentView::kDidShowOnboarding), true}});
    receiver.store.flush();
    Surroundings around(receiver);

    Window large = openWindow(receiver, around);
    const ScrollFigures largeScroll = scrollThrough(*large.window);
    large.window->content().cardList().verticalScrollBar()->setValue(0);
    settle(300);
    const QList<double> typed = keystrokes(receiver, *large.window);
    int counter = 0;
    const QList<double> atTop = arrivals(receiver, sources, *large.window, 0.0, counter);
    const QList<double> halfway = arrivals(receiver, sources, *large.window, 0.5, counter);
    const double burst = burstMsPerArrival(receiver, sources, *large.window, counter);
    const double largeRss = peakRssMb();
    large.window.reset();
    settle(300);

    receiver.defaults.set(QStringLiteral("viewMode"), QStringLiteral("compact"));
    Window compact = openWindow(receiver, around);
    const ScrollFigures compactScroll = scrollThrough(*compact.window);
    compact.window.reset();

    std::printf(
        "items:                                 %d photos of 12 MP, window 1100x760\n", kItems);
    std::printf("large   first paint (ms):              %.1f   goal < 1000\n", large.firstPaintMs);
    printScroll("large  ", largeScroll);
    std::printf("search keystroke to result shown (ms): %.1f   goal < 100  (median of %d)\n",
        median(typed), kRounds);
    std::printf("arrival to card on screen, top (ms):   %.1f   goal < 300  (median of %d)\n",
        median(atTop), kRounds);
    std::printf("arrival, list scrolled halfway (ms):   %.1f   goal < 300  (median of %d)\n",
        median(halfway), kRounds);
    std::printf(
        "arrival in a burst, main thread (ms):  %.2f   goal < 2  (of 100, window open)\n", burst);
    std::printf("peak RSS, large mode (MB):             %.1f   goal < 400\n", largeRss);
    std::printf(
        "compact first paint (ms):              %.1f   goal < 1000\n", compact.firstPaintMs);
    printScroll("compact", compactScroll);
    std::printf("peak RSS, whole run (MB):              %.1f   goal < 400\n", peakRssMb());
    return 0;
}
