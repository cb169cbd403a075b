#include "store/store_seeding.h"

#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "store/app_version.h"
#include "store/item_store.h"
#include "store/whats_new.h"

namespace vesker {

namespace {

constexpr auto kDidSeedWelcome = "didSeedWelcome";
constexpr auto kLastSeenVersion = "lastSeenVersion";

struct WelcomeText {
    const char* title;
    QList<const char*> paragraphs;
};

// Key glyphs are written as this desktop shows shortcuts (Ctrl for the command key), and the
// permission card names what a Linux desktop asks for instead of another system's panes.
const QList<WelcomeText>& welcomeTable()
{
    static const QList<WelcomeText> table {
        {"Welcome — 1 of 4",
            {"Photos and text sent from a phone appear here the moment they arrive.",
                "Connect a phone: click “Connect a phone” in the header and scan the QR code — "
                "that "
                "opens a web page with a camera button, no install needed. Or install the Vesker "
                "Phone "
                "app and pick this computer from its list.",
                "When you're done with something: Archive (Ctrl+E), Skip it for later (Ctrl+L), or "
                "Delete (Ctrl+Backspace). “Got it” (Ctrl+G) tells the sender's phone you've seen "
                "it."}},
        {"Welcome — 2 of 4",
            {"Every photo is read on arrival: barcodes show up as chips with Copy and “Paste into "
             "front app”; printed text is OCR'd and searchable.",
                "Each item has a note and tags (type a tag, press return). The search box at the "
                "top "
                "finds anything — notes, OCR text, barcodes, tags, senders.",
                "Large/compact view, size slider and Fit are in the header; each photo also has "
                "its own "
                "zoom slider."}},
        {"Welcome — 3 of 4",
            {"The sidebar on the left groups items by sender and by tag. Click a sender to see "
             "only "
             "their items.",
                "Click the ⋯ next to a sender (or right-click it) to rename them, or to make them "
                "“Quiet” so their items are added without pulling the window forward.",
                "Settings (Ctrl+,) has the rest: who's allowed to send, blur-by-sender for "
                "projectors, "
                "auto-cleanup, full-screen behavior, remote screens over Tailscale, and more."}},
        {"Welcome — 4 of 4: Permissions",
            {"Your desktop may need a few things set up. If one of them is missing, Settings "
             "(Ctrl+,) ▸ General ▸ Permissions shows the status and opens the right place.",
                "Local Network — required. Without it phones can't find or reach this computer. "
                "Keep "
                "the "
                "avahi-daemon service running so that phones can find it.",
                "Notifications — a banner when something arrives while the window is hidden. Your "
                "desktop's settings ▸ Notifications.",
                "Accessibility — optional. Only needed for “Paste into front app”, which types a "
                "scanned barcode into whatever app you were using. It works in an X11 session.",
                "Firewall — if a firewall runs on this computer, allow incoming connections to "
                "Vesker's port (8787 unless changed in Settings).",
                "Archive or delete these cards whenever you like."}},
    };
    return table;
}

void addSeededText(
    ItemStore& store, const QDateTime& at, const QString& content, const QString& note)
{
    ScreenItem item;
    item.id = QUuid::createUuid();
    item.receivedAt = at;
    item.filename = ItemStore::storedFileName(item.receivedAt, item.id, QStringLiteral("txt"));
    item.note = note;
    item.sender = QStringLiteral("Vesker");
    item.status = ItemStatus::inbox;
    item.kind = ItemKind::text;
    item.text = keptUtf8(content);
    platform::writeFileAtomically(store.inboxDir() + u'/' + item.filename, item.text);
    store.append(item);
}

void seedWelcome(ItemStore& store, platform::Defaults& defaults, const platform::Clock& clock)
{
    if (defaults.boolValue(QLatin1String(kDidSeedWelcome), false) || !store.items().isEmpty())
        return;
    defaults.set(QLatin1String(kDidSeedWelcome), true);
    // One whole second for all four, as the index keeps them: the newest first would otherwise
    // put the last written, "4 of 4", on top; with one time they keep the order they are read in.
    QDateTime at = clock.now();
    at.setTime(QTime(at.time().hour(), at.time().minute(), at.time().second()));
    for (const QString& content : welcomeTexts())
        addSeededText(store, at, content, QStringLiteral("Getting started"));
}

void seedWhatsNew(
    ItemStore& store, platform::Defaults& defaults, const platform::Clock& clock, bool freshInstall)
{
    const QString current = AppVersion::current();
    const QString last = defaults.string(QLatin1String(kLastSeenVersion));
    defaults.set(QLatin1String(kLastSeenVersion), current);
    if (freshInstall || current == last)
        return;
    const std::optional<QString> notes = WhatsNew::notes(current);
    if (!notes)
        return;
    addSeededText(store, clock.now(),
        QStringLiteral("What's new in ") + current + QStringLiteral("\n\n") + notes->trimmed(),
        QStringLiteral("Version ") + current);
}

} // namespace

void seedStore(ItemStore& store, platform::Defaults& defaults, const platform::Clock& clock)
{
    // A store whose index could not be read is not empty, only unknown: nothing is added, and
    // the settings wait for a start that can read it.
    if (store.readProblem())
        return;
    const bool seededBefore = defaults.boolValue(QLatin1String(kDidSeedWelcome), false);
    seedWelcome(store, defaults, clock);
    seedWhatsNew(store, defaults, clock, !seededBefore);
}

const QStringList& welcomeTexts()
{
    static const QStringList texts = [] {
        QStringList list;
        for (const WelcomeText& entry : welcomeTable()) {
            QStringList paragraphs;
            for (const char* paragraph : entry.paragraphs)
                paragraphs.append(QString::fromUtf8(paragraph));
            list.append(QString::fromUtf8(entry.title) + QStringLiteral("\n\n")
                + paragraphs.join(QStringLiteral("\n\n")).trimmed());
        }
        return list;
    }();
    return texts;
}

} // namespace vesker
