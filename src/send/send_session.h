#pragma once

#include "screens/remote_screen.h"
#include "send/outgoing_item.h"
#include "send/relay_book.h"
#include "send/screen_browser.h"
#include "send/screen_directory.h"
#include "send/screen_sender.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vesker {

namespace platform {
class Clock;
class Defaults;
} // namespace platform

class Uploader;

// Everything the Send sheet shows and changes, without its widgets: the items and the note,
// the screens on offer and the ones chosen, the access codes remembered per screen, and the
// sending itself. The chosen screens are sent to side by side, so a slow or silent screen never
// holds the others; each keeps its own status lines. Main thread only; deleting the session
// (the sheet closing) cancels every upload under way.
class SendSession : public QObject {
    Q_OBJECT
public:
    static constexpr auto kCodesKey = "outgoingCodes";
    static constexpr auto kIncludeLocationKey = "includePhotoLocation";
    static constexpr int kCloseDelayMs = 700;

    struct Services {
        platform::Defaults& defaults; // the standard settings
        Uploader* uploader = nullptr;
        ScreenDirectory* directory = nullptr; // learns the screens seen; none: nothing learnt
        RelayBook* relayBook = nullptr; // none: no relay screens
        const platform::Clock& clock;
        // This computer's screen name, as its own server gives it.
        std::function<QString()> screenName;
        // The screens reached by address, in their stored order.
        std::function<QList<RemoteScreen>()> remoteScreens;
        // Called when everything arrived everywhere, before the sheet closes.
        std::function<void()> deliveredSound;
    };

    // One chosen screen's part of the last send.
    struct ScreenStatus {
        QString name;
        QStringList lines;
        ScreenSender::State state = ScreenSender::State::idle;
    };

    SendSession(QList<OutgoingItem> items, Services services, QObject* parent = nullptr);
    ~SendSession() override;

    // Selection ids of the screens that are not found on the network.
    static QString relaySelectionID(const QString& relayID);
    static QString remoteSelectionID(const QUuid& id);

    const QList<OutgoingItem>& items() const { return m_items; }
    void setItems(const QList<OutgoingItem>& items);
    const QString& note() const { return m_note; }
    void setNote(const QString& note);
    const QString& textDraft() const { return m_textDraft; }
    void setTextDraft(const QString& text);
    // Turns the draft, trimmed, into a text item at the end; a blank draft adds nothing.
    void addText();

    // What discovery found, in its order. The screens learnt go into the directory; when
    // nothing is chosen and exactly one screen is on offer, it is chosen.
    void setDiscovered(const QList<DiscoveredScreen>& macs);
    // The found screens on offer: without this computer's own shares ("X via <own name>").
    const QList<DiscoveredScreen>& macs() const { return m_macs; }
    QList<RelayScreen> sendableRelayScreens() const;
    // Why a relay screen cannot be chosen; none when it can.
    static std::optional<QString> approvalStatusText(
        const RelayScreen& screen, const QDateTime& now);

    const QSet<QString>& selected() const { return m_selected; }
    void setSelected(const QSet<QString>& ids);
    void setChosen(const QString& id, bool chosen);
    // A group's members that are on offer now, in the group's order.
    QStringList reachableMembers(const ScreenGroup& group) const;
    // On when it has a reachable member and every one of them is chosen.
    bool isGroupChosen(const ScreenGroup& group) const;
    // Chooses or unchooses the group's reachable members, leaving the others as they are.
    void setGroupChosen(const ScreenGroup& group, bool chosen);
    // Whether a selection id's toggle can be changed now.
    bool isChoosable(const QString& id) const;

    // The remembered codes by screen name; text that is not an object of strings gives none.
    QMap<QString, QString> codes() const;
    void saveCode(const QString& code, const QString& name);

    // The screen whose access code is asked for now, and the code offered in the field. More
    // screens that want one are asked in turn, each as often as it refuses the code given.
    const std::optional<QString>& codePromptFor() const { return m_codePromptFor; }
    const QString& codeInput() const { return m_codeInput; }
    // The prompt's answers: the code is remembered for that screen (as typed) and its sending
    // carries on; without a code the screen gets nothing more.
    void submitCode(const QString& code);
    void dismissCodePrompt();

    bool isSending() const { return m_sending; }
    QList<ScreenStatus> statuses() const;
    // Every screen's lines, screen after screen in the order of sending.
    QStringList results() const;
    // Uploads, approval waits and photo preparations under way.
    int activeJobs() const;

    // The destinations the selection resolves to, in the order of sending.
    QList<SendDestination> destinations() const;
    // Starts sending every item to every chosen screen; does nothing while sending, or with no
    // screen or no item.
    void send();
    // Stops every upload and wait; what was already stored stays stored.
    void cancel();

Q_SIGNALS:
    void itemsChanged();
    void noteChanged();
    void textDraftChanged();
    void macsChanged();
    void selectedChanged();
    void codePromptChanged();
    void sendingChanged();
    void resultsChanged();
    // Everything arrived everywhere, without any screen's approval: the sheet closes.
    void delivered();

private:
    void setSending(bool sending);
    void senderStateChanged(ScreenSender* sender);
    void askNextCode();
    void allEnded();
    QDateTime now() const;

    Services m_services;
    QList<OutgoingItem> m_items;
    QString m_note;
    QString m_textDraft;
    QList<DiscoveredScreen> m_macs;
    QSet<QString> m_selected;
    std::optional<QString> m_codePromptFor;
    QString m_codeInput;
    bool m_sending = false;
    std::vector<std::unique_ptr<ScreenSender>> m_senders;
    // Senders stopped for a code, asked one after another.
    QList<ScreenSender*> m_codeQueue;
};

} // namespace vesker
