// The Inbox window as the program makes it, for the benchmarks that time it: the real main
// window over a Receiver's store and server, with what it works with besides them.
#pragma once

#include "app/main_window.h"
#include "bench_receiver.h"
#include "connect/invite_handler.h"
#include "focus_guard/focus_guard.h"
#include "help/help_topics.h"
#include "help/help_window.h"
#include "inbox/card_list_view.h"
#include "inbox/content_view.h"
#include "platform/display_wake.h"
#include "platform/permissions.h"
#include "platform/thumbnail_loader.h"
#include "platform/workspace.h"
#include "send/relay_book.h"
#include "send/screen_directory.h"
#include "send/usage_stats.h"
#include "update/updater.h"
#include "window/window_manager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

#include <unistd.h>

namespace vesker::bench {

// The calling thread's own CPU time: what the main thread pays, whatever else runs.
inline double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Runs the event loop until `done` holds (20 s at most); the time since `since` started.
inline double waitFor(const std::function<bool()>& done, const QElapsedTimer& since)
{
    while (!done() && since.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return since.nsecsElapsed() / 1e6;
}

// A stored photo as phones send them, received at `at`; its file is a hard link to `source`, so
// that thousands cost no room.
inline ScreenItem photoItem(ItemStore& store, const QString& source, const QDateTime& at, int i)
{
    ScreenItem item;
    item.id = QUuid::createUuid();
    item.receivedAt = at;
    item.filename = ItemStore::storedFileName(at, item.id, QStringLiteral("jpg"));
    item.sender = QStringLiteral("Phone %1").arg(i % 9);
    item.note = QStringLiteral("Shelf %1").arg(i);
    const QByteArray target = QFile::encodeName(store.fileURL(item));
    if (::link(QFile::encodeName(source).constData(), target.constData()) != 0)
        std::fprintf(stderr, "could not link %s\n", target.constData());
    return item;
}

struct PaintSpy : QObject {
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        painted |= event->type() == QEvent::Paint;
        return false;
    }
};

struct Window {
    std::unique_ptr<MainWindow> window;
    double firstPaintMs = 0;
};

// Nothing else runs while the benchmark does: no arrival is held back.
class NothingElseRunning final : public platform::Workspace {
public:
    QList<platform::RunningApplication> runningApplications() override { return {}; }
    QString frontmostBundleId() override { return {}; }
    QString iconName(const QString&) override { return {}; }
};

// What the window works with besides the receive side, as the program makes it.
struct Surroundings {
    explicit Surroundings(Receiver& receiver)
        : focusGuard(receiver.defaults, workspace)
        , windows(receiver.defaults, wake)
        , updater(receiver.defaults, receiver.clock, {.manifestUrl = QUrl()})
        , directory(receiver.defaults)
        , usage(receiver.defaults)
        , help(helpSelection, receiver.defaults)
    { }

    InviteHandler invites;
    NothingElseRunning workspace;
    FocusGuard focusGuard;
    platform::DisplayWake wake;
    WindowManager windows;
    Updater updater;
    ThumbnailLoader thumbnails;
    Permissions permissions;
    ScreenDirectory directory;
    RelayBook relayBook;
    UsageStats usage;
    HelpSelection helpSelection;
    HelpWindowController help;
};

inline Window openWindow(Receiver& receiver, Surroundings& around)
{
    PaintSpy spy;
    QElapsedTimer timer;
    timer.start();
    Window result;
    result.window = std::make_unique<MainWindow>(MainWindow::Services {.store = receiver.store,
        .server = *receiver.controller,
        .invites = around.invites,
        .defaults = receiver.defaults,
        .groupDefaults = receiver.defaults,
        .clock = receiver.clock,
        .windows = around.windows,
        .focusGuard = around.focusGuard,
        .updater = around.updater,
        .thumbnails = around.thumbnails,
        .permissions = around.permissions,
        .directory = around.directory,
        .relayBook = around.relayBook,
        .usage = around.usage,
        .help = around.help});
    QWidget* viewport = result.window->content().cardList().viewport();
    viewport->installEventFilter(&spy);
    result.window->show();
    result.firstPaintMs = waitFor([&] { return spy.painted; }, timer);
    viewport->removeEventFilter(&spy);
    return result;
}

} // namespace vesker::bench
