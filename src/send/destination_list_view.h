#pragma once

#include "platform/coalesced_call.h"

#include <QWidget>

#include <functional>

class QVBoxLayout;

namespace vesker {

class ScreenBrowser;
class RelayBook;
class ScreenDirectory;
class SendSession;
class RemoteScreensManager;

// The Send sheet's upper half: every screen the items can go to, as toggles over the session's
// selection, in sections for groups, screens on this network, screens over the internet and
// screens reached by address. Keeps no state of its own and redraws when any source changes.
class DestinationList : public QWidget {
    Q_OBJECT
public:
    struct Sources {
        SendSession& session;
        ScreenBrowser* browser = nullptr; // none: the status line stays at its first text
        ScreenDirectory* directory = nullptr;
        RelayBook* relayBook = nullptr;
        RemoteScreensManager* remote = nullptr;
    };

    explicit DestinationList(Sources sources, QWidget* parent = nullptr);

    // Rebuilds the rows on the next pass of the event loop, once however often it is asked:
    // a toggle's own signal may be what asked, and it must not be deleted under itself.
    void scheduleRebuild();

private:
    void rebuild();
    void addHeader(QVBoxLayout& layout, const QString& text, bool spaced);
    void addGroups(QVBoxLayout& layout);
    void addNearbyScreens(QVBoxLayout& layout);
    void addRelayScreens(QVBoxLayout& layout);
    void addRemoteScreens(QVBoxLayout& layout);

    Sources m_sources;
    QWidget* m_rows = nullptr;
    platform::CoalescedCall m_rebuild {this, [this] { rebuild(); }};
};

} // namespace vesker
