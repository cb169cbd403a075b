#include "help/help_topics.h"

#include "platform/service_hosts.h"

#include <QKeySequence>

namespace vesker {

namespace {

HelpBlock heading(const QString& text)
{
    return {HelpBlock::Kind::heading, {text}};
}

HelpBlock text(const QString& text)
{
    return {HelpBlock::Kind::text, {text}};
}

HelpBlock bullets(const QStringList& items)
{
    return {HelpBlock::Kind::bullets, items};
}

// Written the way the menus write the same keys, so the page and the menus agree.
HelpBlock keys(QKeyCombination combination, const QString& action)
{
    return {HelpBlock::Kind::keys,
        {QKeySequence(combination).toString(QKeySequence::NativeText), action}};
}

HelpBlock note(const QString& text)
{
    return {HelpBlock::Kind::note, {text}};
}

QList<HelpTopic> makeTopics()
{
    // The texts write "Wi‑Fi" with a non-breaking hyphen, so the word never breaks at a line end.
    return {
        {"start", "Getting started", "sparkles",
            {text("This computer is a screen: phones and other computers send it photos, text and "
                  "PDFs, "
                  "and they appear here in the Inbox."),
                heading("On your Wi‑Fi"),
                text("Leave Vesker open. On the phone, open “Vesker Phone”, pick this computer and "
                     "send. Nothing leaves your network."),
                text("No phone app? Click Connect in the toolbar and scan the QR code with the "
                     "phone. Safari opens a page that can send photos and text to this computer."),
                heading("From anywhere else"),
                text("This computer has no relay connection: only phones and computers on your "
                     "network, or that reach it by its address, can send to it."),
                note("A screen only receives while its app is open. On this computer that "
                     "includes running in the background; on an iPhone the app must be open and on "
                     "screen.")}},
        {"arrives", "When something arrives", "tray.and.arrow.down",
            {text("New items land in the Inbox, newest first. Each one shows the sender's note, "
                  "who sent it and when."),
                heading("What you can do with it"),
                bullets({"Got it — tells the sender's phone that you have seen it.",
                    "Skip — leaves it for later in the Inbox.",
                    "Archive — puts it aside; it stays on disk.",
                    "Delete — removes it and its file.",
                    "Forward — passes it on to another screen.",
                    "Drag it out into another app, or use Copy."}),
                heading("Where the files live"),
                text("Everything is kept in ~/Pictures/Vesker/, in the Inbox and Archive folders, "
                     "as ordinary files. Show in Files opens the folder."),
                heading("Keyboard"), keys(Qt::CTRL | Qt::Key_G, "Got it"),
                keys(Qt::CTRL | Qt::Key_L, "Skip for later"), keys(Qt::CTRL | Qt::Key_E, "Archive"),
                keys(Qt::CTRL | Qt::Key_Backspace, "Delete"),
                keys(Qt::CTRL | Qt::Key_R, "Reveal a blurred photo"),
                note("Shortcuts act on the item whose card has the keyboard focus, or on the "
                     "newest item when no card has it, so they never fire on more than one at "
                     "once.")}},
        {"sending", "Sending from this computer", "paperplane",
            {text("Click Send… in the toolbar, or Forward on an item you have received."),
                bullets({"Drop photos or PDFs on the window.", "Click Add photos… to pick files.",
                    "Paste an image or text.",
                    "Type into the text box and press Send — no need to click Add text first. "
                    "Add text is for several separate notes."}),
                text("Pick as many screens as you like: those on your Wi‑Fi and remote addresses "
                     "you added."),
                keys(Qt::CTRL | Qt::SHIFT | Qt::Key_V, "Paste and send")}},
        {"internet", "Over the internet", "globe",
            {text("This computer has no relay connection, so nothing is sent to it or from it "
                  "over the internet: screens are reached on your network or by address."),
                text("Invite links are recognised, but connecting through one fails for the same "
                     "reason.")}},
        {"media", "Photos, text and PDFs", "doc.richtext",
            {text("Photos, plain text and PDFs can all be sent. A received PDF shows its first "
                  "page, its name and its page count, with Open and Show in Files."),
                heading("Sent photos"),
                text("Settings ▸ General ▸ Sent photos sets how large the photos you send are. "
                     "Large "
                     "is the default: sharp on any screen, at about a quarter of the data of a "
                     "full-size photo."),
                bullets({"Large — up to 3200 px.", "Medium — up to 2048 px.",
                    "Original — full resolution."}),
                note("Sending on your own Wi‑Fi has no size limit.")}},
        {"reading", "Barcodes and text in photos", "barcode.viewfinder",
            {text("Every photo that arrives is read for barcodes and text. What is found appears "
                  "as chips under the photo, each with a Copy button."),
                bullets({"Paste into front app types a barcode into the app in front.",
                    "Settings ▸ Display can copy a barcode to the clipboard as it arrives.",
                    "The search box searches notes, recognised text, barcodes, tags and the "
                    "sender."})}},
        {"screens", "Screens and groups", "person.2.crop.square.stack",
            {text("Settings ▸ Screens gives a screen a nickname and collects several into a "
                  "group to send to all at once. It also names this screen, sets its port and "
                  "lists the addresses phones can open."),
                text("Settings ▸ Remote adds a screen by its address, for networks such as a VPN "
                     "where Bonjour discovery does not reach.")}},
        {"browser", "Browser and hosted screens", "safari",
            {heading("Browser screen"),
                text("Any browser can show this Inbox live. Allow it in Settings ▸ Access, "
                     "which also controls what viewers may do and can require a PIN; its link "
                     "and QR code are in Connect ▸ Browser screen."),
                heading("Hosted screens"),
                text("Settings ▸ Hosted gives someone who cannot run the app their own name on "
                     "the network and their own page, with an Inbox kept apart from yours.")}},
        {"interrupt", "Not being interrupted", "bell.slash",
            {text("Settings ▸ General decides what happens when something arrives: bring the "
                  "window forward, go full screen, or just show a notification."),
                heading("Don't interrupt"),
                text("Name the apps that hold the window back — while they are open, or only "
                     "while they are in front."),
                bullets({"Do Not Disturb holds the window back whatever is running.",
                    "Items still arrive and are counted; the number you missed is shown when it "
                    "is safe."}),
                heading("Wake the display"),
                text("Off by default, it turns a sleeping monitor on when something arrives. It "
                     "cannot wake a sleeping computer: while it sleeps, nothing arrives."),
                keys(Qt::META | Qt::CTRL | Qt::Key_F, "Full screen")}},
        {"safety", "Presentation safety", "eye.slash",
            {text("On a projector or a TV, incoming photos can be blurred until you reveal "
                  "them."),
                bullets({"Settings ▸ Display blurs every photo, or the photos of senders you "
                         "name.",
                    "A blurred card has Reveal; “Always show from …” marks the sender as known.",
                    "Known senders are never blurred."}),
                keys(Qt::CTRL | Qt::Key_R, "Reveal the focused or the newest blurred photo")}},
        {"access", "Who may send to you", "lock.shield",
            {heading("On your Wi‑Fi"),
                text("In Settings ▸ Access, choose whether anyone on the network may send, each "
                     "new device asks first, or an access code is required. Approved devices "
                     "are remembered."),
                heading("Over the internet"),
                text("Nothing arrives over the internet: this computer has no relay "
                     "connection."),
                heading("Viewers of a browser screen"),
                text("Settings ▸ Access sets what a browser viewer may do — acknowledge, "
                     "archive, leave for later — and can require a PIN.")}},
        {"updates", "Updates", "arrow.down.circle",
            {text("Settings ▸ General ▸ Updates tells you when a new version is out and links "
                  "to the download. It checks once a day, and you can turn that off."),
                text("The first time a new version runs, a card in the Inbox says what "
                     "changed.")}},
        {"privacy", "Privacy", "hand.raised",
            {text("There is no account, no e-mail address and no password. Each device makes "
                  "its own keys on first launch and keeps them in the system keyring."),
                bullets({"On your own Wi‑Fi nothing touches our servers.",
                    "This computer has no relay connection, so nothing it receives passes "
                    "through a server.",
                    "No analytics, no tracking, no cookies."}),
                text(QStringLiteral("The full privacy policy is published at %1.")
                         .arg(QLatin1String(kPrivacyPageAddress)))}},
        {"trouble", "Troubleshooting", "wrench.and.screwdriver",
            {heading("The phone can't find this computer"),
                text("Check that both are on the same Wi‑Fi and that the app is open on the "
                     "phone. Guest networks, or a VPN on the phone, hide the devices from each "
                     "other; otherwise type the address shown under the QR code in Connect."),
                heading("Nothing arrives on an iPhone"),
                text("An iPhone receives only while the app is open and on screen."),
                heading("A photo was refused as too large"),
                text("This computer takes at most 60 MB in one item. Settings ▸ General ▸ Sent "
                     "photos ▸ Large keeps almost every photo well under it."),
                heading("Someone I approved can't send"),
                text("A lapsed approval is the usual cause. On your Wi‑Fi, Settings ▸ Access "
                     "lists the approved and the blocked devices."),
                heading("The window keeps jumping in front"),
                text("Settings ▸ General ▸ Don't interrupt, or turn on Do Not Disturb."),
                note(QStringLiteral("Still stuck? Write to %1.")
                         .arg(QLatin1String(kSupportMailAddress)))}},
    };
}

// Spaces and tabs, not line ends.
bool isHorizontalSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

} // namespace

const QList<HelpTopic>& HelpTopic::all()
{
    static const QList<HelpTopic> topics = makeTopics();
    return topics;
}

QString HelpTopic::searchText() const
{
    QString searchable = title;
    for (const HelpBlock& block : blocks) {
        searchable += u' ';
        searchable += block.strings.join(u' ');
    }
    return searchable.toLower();
}

QList<HelpTopic> filterHelpTopics(const QList<HelpTopic>& topics, const QString& query)
{
    qsizetype begin = 0;
    qsizetype end = query.size();
    while (begin < end && isHorizontalSpace(query.at(begin)))
        ++begin;
    while (end > begin && isHorizontalSpace(query.at(end - 1)))
        --end;
    const QString needle = query.mid(begin, end - begin).toLower();
    if (needle.isEmpty())
        return topics;
    QList<HelpTopic> found;
    for (const HelpTopic& topic : topics) {
        if (topic.searchText().contains(needle))
            found.append(topic);
    }
    return found;
}

std::optional<HelpTopic> selectedHelpTopic(
    const std::optional<QString>& selection, const QList<HelpTopic>& listed)
{
    if (selection) {
        for (const HelpTopic& topic : HelpTopic::all()) {
            if (topic.id == *selection)
                return topic;
        }
    }
    if (listed.isEmpty())
        return std::nullopt;
    return listed.first();
}

HelpSelection::HelpSelection(QObject* parent)
    : QObject(parent)
{
    if (!HelpTopic::all().isEmpty())
        m_topic = HelpTopic::all().first().id;
}

void HelpSelection::setTopic(const std::optional<QString>& topic)
{
    if (topic == m_topic)
        return;
    m_topic = topic;
    Q_EMIT topicChanged();
}

} // namespace vesker
