#pragma once

#include "send/outgoing_item.h"

#include <QList>
#include <QUuid>

namespace vesker {

// What the Send sheet is opened for; every request has its own id, so asking twice for the
// same things opens the sheet again.
struct SendRequest {
    QUuid id = QUuid::createUuid();
    QList<OutgoingItem> items;
};

} // namespace vesker
