#pragma once

#include "store/screen_item.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <optional>

namespace vesker {

class FocusGuard;
class ItemStore;
class ServerController;

// One line of the tray panel's recent list, as it is shown.
struct RecentRow {
    QUuid id;
    ItemKind kind = ItemKind::photo;
    QString title;
    QString caption;
    // The photo's file for its thumbnail; empty for texts and PDFs, which show a symbol.
    QString picture;
    // The sender's photos are hidden in the Inbox; the thumbnail here hides it as well.
    bool blurred = false;
    // The first code read from the photo, as stored (symbology name included); none: no Copy.
    std::optional<QString> barcode;
    bool operator==(const RecentRow&) const = default;
};

// What the tray icon and its panel show, read from the store, the receive server and the
// focus guard at the moment of asking, and what their buttons do. `changed()` follows all
// three, so an open panel and the icon follow arrivals, the server and Do Not Disturb.
// Main thread only.
class TrayPanelModel : public QObject {
    Q_OBJECT
public:
    static constexpr int kRecentLimit = 6;

    // Without a server the status reads as stopped.
    TrayPanelModel(
        ItemStore& store, ServerController* server, FocusGuard& focus, QObject* parent = nullptr);

    int inboxCount() const;
    QString inboxCountText() const;
    // Running, and with a store that can take what arrives.
    bool receiving() const;
    // The newest Inbox items, at most kRecentLimit.
    QList<RecentRow> recentRows() const;

    bool doNotDisturb() const;
    void setDoNotDisturb(bool on);
    // Why arrivals are held now; none while Do Not Disturb is on (the switch says so already).
    std::optional<QString> holdLine() const;
    // How many arrivals were held back since the window last came forward; none for zero.
    std::optional<QString> heldBackLine() const;

    // Replaces the clipboard with the code's content, without its symbology name.
    static void copyPayload(const QString& barcode);
    // Tells the sender the item was archived, then moves it out of the Inbox.
    void archive(const QUuid& id);

    static QString title(const ScreenItem& item);

    // The tray icon's label: the symbol, the count beside it (empty for none) and the tooltip.
    struct Label {
        QString symbol;
        QString title;
        QString toolTip;
    };
    static Label label(int inboxCount);

Q_SIGNALS:
    void changed();

private:
    ItemStore& m_store;
    QPointer<ServerController> m_server;
    FocusGuard& m_focus;
};

} // namespace vesker
