#pragma once

#include "store/screen_item.h"

#include <QStringList>

namespace vesker {

class ItemStore;

// What the sender sidebar stores; the sidebar's widgets call these.
struct Sidebar {
    // Writes the mode for every raw name of a sender (under its lower-cased form, "normal" kept
    // rather than removed) into "senderArrival", then has every view of the store redraw.
    static void setArrivalMode(SenderArrival mode, const QStringList& rawNames, ItemStore& store);
};

} // namespace vesker
