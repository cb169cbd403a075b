#include "shots.h"

#include "demo_server.h"

#include "inbox/inbox_bar_view.h"
#include "inbox/inbox_state.h"
#include "ui/empty_state.h"

#include <QPushButton>

namespace vesker::shots {

void inboxBarShots()
{
    DemoServer demo;
    platform::Defaults& defaults = demo.defaults;
    ItemStore& store = demo.store;
    ServerController& controller = demo.controller;
    controller.refreshAddresses();
    defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("code"));
    defaults.set(QStringLiteral("accessCode"), QStringLiteral("048213"));
    for (const QString& text : {QStringLiteral("Gate code 4471"), QStringLiteral("Milk, eggs")})
        store.append({.id = QUuid::createUuid(),
            .receivedAt = QDateTime::currentDateTimeUtc(),
            .kind = ItemKind::text,
            .text = text.toUtf8()});

    InboxState state(store, defaults);
    InboxBarView bar(state, controller);
    for (const int width : {1400, 900, 600}) {
        bar.resize(width, bar.sizeHint().height() + 8);
        save(bar, QStringLiteral("inbox_bar_%1").arg(width));
    }
    state.setSimpleMode(true);
    save(bar, QStringLiteral("inbox_bar_simple"));

    EmptyState empty;
    const EmptyStateContent content
        = state.emptyState(controller.addresses(), controller.statusText());
    empty.setContent(content.title, content.systemImage, content.description);
    empty.addAction(new QPushButton(QStringLiteral("Connect a phone")));
    empty.resize(700, 420);
    save(empty, QStringLiteral("empty_state"));
}

} // namespace vesker::shots
