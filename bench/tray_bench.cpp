// The main thread's share of a burst of arrivals at an empty store, on a desktop that shows no
// tray (the offscreen platform): milliseconds per arrival with the tray icon following the Inbox,
// beside the same arrivals without it, and milliseconds per symbol icon asked for again, as the
// views ask for theirs on every change.
#include "focus_guard/focus_guard.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/thumbnail_loader.h"
#include "send/capture_overlay_view.h"
#include "send/screen_capture.h"
#include "store/item_store.h"
#include "support/fake_workspace.h"
#include "tray/tray_icon_view.h"
#include "tray/tray_panel_model.h"
#include "ui/symbol_icon.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

using namespace vesker;

namespace {

constexpr int kArrivals = 200;
constexpr int kRounds = 5;

// Milliseconds per arrival of kArrivals appended to an empty store, with or without the icon.
double arrivals(bool withTray)
{
    QTemporaryDir dir;
    const platform::Clock& clock = platform::Clock::system();
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")), clock);
    ItemStore store(dir.filePath(QStringLiteral("Vesker")), defaults, clock);
    test::FakeWorkspace workspace;
    FocusGuard focus(defaults, workspace);
    TrayPanelModel model(store, nullptr, focus);
    ThumbnailLoader thumbnails;
    ScreenCapture capture;
    std::optional<TrayIcon> tray;
    if (withTray)
        tray.emplace(TrayIcon::Services {
            .model = model, .defaults = defaults, .thumbnails = thumbnails, .capture = capture});
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kArrivals; ++i) {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.receivedAt = QDateTime::currentDateTimeUtc();
        item.sender = QStringLiteral("Ana's phone");
        item.kind = ItemKind::text;
        item.text = QStringLiteral("note %1").arg(i).toUtf8();
        store.append(item);
    }
    const double ms = timer.nsecsElapsed() / 1e6 / kArrivals;
    store.flush();
    return ms;
}

double symbols()
{
    QPalette palette;
    constexpr int kCalls = 200;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kCalls; ++i)
        symbolIcon(QStringLiteral("iphone.and.arrow.forward.inward"), palette);
    return timer.nsecsElapsed() / 1e6 / kCalls;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<double> with, without, icons;
    for (int round = 0; round < kRounds; ++round) {
        with.push_back(arrivals(true));
        without.push_back(arrivals(false));
        icons.push_back(symbols());
    }
    std::printf(
        "%d arrivals at an empty store, no tray shown; median of %d rounds\n", kArrivals, kRounds);
    std::printf("  ms per arrival with the tray icon      %8.3f\n", median(with));
    std::printf("  ms per arrival without it              %8.3f\n", median(without));
    std::printf("  ms the tray icon adds per arrival      %8.3f\n", median(with) - median(without));
    std::printf("  ms per symbol icon asked for again     %8.3f\n", median(icons));
    return 0;
}
