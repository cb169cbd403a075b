#include "store/whats_new.h"

#include <array>
#include <utility>

namespace vesker {

namespace {

// Newest first. Shortcuts are written as this desktop shows them.
constexpr std::array<std::pair<const char*, const char*>, 26> kReleaseNotes {{
    {"1.11.4",
        "Items that arrive while the computer is asleep are no longer announced twice when it "
        "wakes.\n\nThe sender list keeps its order when two senders send in the same second."},
    {"1.11.3",
        "Something that arrives while you have the Archive or Later open — or a filter or search "
        "that would hide it — now takes you to the Inbox and shows it, instead of arriving out of "
        "sight."},
    {"1.11.2",
        "Speed review clears out a big Archive quickly. On the Archive tab, click Speed review and "
        "each item fills the window: → keeps it, Backspace marks it to delete, ← goes back. "
        "Nothing "
        "is deleted until you finish and confirm, so a key pressed one item late is easy to fix. "
        "It "
        "reviews what is shown — filter or search first to go through just those."},
    {"1.11.1",
        "Hosted screens start again by themselves after their port was busy at launch.\n\nThe "
        "browser screen shows the newest item first after a reload."},
    {"1.11",
        "Hosted screens: give a team its own screen on this computer, with its own name, PIN, page "
        "and Inbox. Add one in Settings ▸ Hosted.\n\nEach hosted screen has its own port and can "
        "also be reached through the main address."},
    {"1.10.5", "Fixes a crash when a PDF without pages arrived."},
    {"1.10.4",
        "Barcodes on photos taken upside down are read again.\n\nThe access code field ignores "
        "spaces typed before or after the code."},
    {"1.10.3",
        "“Got it” reaches phones that sent over the internet even when they were offline at the "
        "time: they learn it the next time they connect."},
    {"1.10.2",
        "Invite links open the right screen when more than one copy of Vesker is running "
        "on the network."},
    {"1.10.1", "Faster start with a large Archive."},
    {"1.10",
        "Send over the internet. Pair a phone or another computer once with an invite link or an "
        "eight-character code, and items travel end-to-end encrypted through the relay — the relay "
        "never sees what you send.\n\nIt needs a relay, which this version does not have."},
    {"1.9.4", "The tray panel shows the last item's barcode with a Copy button."},
    {"1.9.3", "Photos sent with their location show a map link on their card."},
    {"1.9.2",
        "Quiet senders: choose “Quiet — just add it” from a sender's menu and their items land in "
        "the Inbox without pulling the window forward."},
    {"1.9.1", "Sender nicknames now also apply in search."},
    {"1.9",
        "Focus guard: keep the window from jumping forward while a chosen app is running or in "
        "front, for example during a presentation. Settings ▸ General ▸ Don't "
        "interrupt.\n\nArrivals "
        "held back are counted in the tray."},
    {"1.8.1", "Tags are matched without regard to case in the sidebar filter."},
    {"1.8",
        "Tags and notes. Type a tag on any card and press return; the sidebar lists every tag.\n\n"
        "The search box now also finds tags."},
    {"1.7",
        "Screen-area capture: drag over any part of the screen from the tray and send it to "
        "another screen."},
    {"1.6.1", "Fixes uploads of very large photos from older phones."},
    {"1.5",
        "Browser screen: open the address shown in Settings on any browser to see the Inbox there, "
        "protected by an optional PIN."},
    {"1.4.1", "Access codes are checked before the photo is stored."},
    {"1.4",
        "Choose who may send: anyone on the network, devices you approve on first contact, or "
        "whoever knows an access code."},
    {"1.3.1", "Text recognition reads more languages' punctuation correctly."},
    {"1.1",
        "Barcodes and printed text are read on arrival and can be copied with one click.\n\nCrop "
        "and rotate photos right on their card."},
    {"1.0", "First release."},
}};

} // namespace

std::optional<QString> WhatsNew::notes(const QString& version)
{
    for (const auto& [v, notes] : kReleaseNotes) {
        if (version == QString::fromUtf8(v))
            return QString::fromUtf8(notes);
    }
    return std::nullopt;
}

QStringList WhatsNew::versions()
{
    QStringList all;
    for (const auto& entry : kReleaseNotes)
        all.append(QString::fromUtf8(entry.first));
    return all;
}

} // namespace vesker
