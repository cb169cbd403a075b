#include "shots.h"

#include "connect/mac_invite_handler.h"
#include "connect/qr_sheet.h"
#include "inbox/inbox_bar.h"
#include "inbox/inbox_state.h"
#include "platform/defaults.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "server/server_controller.h"
#include "store/item_store.h"
#include "ui/empty_state.h"

#include <QPushButton>
#include <QTemporaryDir>

namespace vesker::shots {

void inboxBarShots()
{
    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    ItemStore store(dir.filePath(QStringLiteral("store")), &defaults);
    RelayManager relay(defaults);
    SiblingSync sync;
    MacInviteHandler invites;
    ServerController controller(store,
        ServerController::Services {.defaults = &defaults,
            .relay = &relay,
            .sync = &sync,
            .invites = &invites,
            .networkAddresses =
                [] {
                    return QList<NetworkAddress> {{QStringLiteral("wlan0"), QStringLiteral("Wi-Fi"),
                        QStringLiteral("192.168.1.24")}};
                },
            .listenAddress = QHostAddress::LocalHost});
    controller.refreshAddresses();
    defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("code"));
    defaults.set(QStringLiteral("accessCode"), QStringLiteral("048213"));
    for (const QString& text : {QStringLiteral("Gate code 4471"), QStringLiteral("Milk, eggs")})
        store.append({.id = QUuid::createUuid(),
            .receivedAt = QDateTime::currentDateTimeUtc(),
            .kind = ItemKind::text,
            .text = text});

    InboxState state(store, defaults);
    InboxBar bar(state, controller);
    for (const int width : {1400, 900, 600}) {
        bar.resize(width, bar.sizeHint().height() + 8);
        save(bar, QStringLiteral("inbox_bar_%1").arg(width));
    }
    state.setSimpleMode(true);
    save(bar, QStringLiteral("inbox_bar_simple"));

    QRSheet sheet(controller);
    save(sheet, QStringLiteral("connect_sheet"));

    EmptyState empty;
    const EmptyStateContent content
        = state.emptyState(controller.addresses(), controller.statusText());
    empty.setContent(content.title, content.systemImage, content.description);
    empty.addAction(new QPushButton(QStringLiteral("Connect a phone")));
    empty.resize(700, 420);
    save(empty, QStringLiteral("empty_state"));
}

} // namespace vesker::shots
