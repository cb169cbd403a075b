#pragma once

#include "image_edit/image_edit_operations.h"
#include "send/outgoing_item.h"
#include "store/screen_item.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace vesker {

class ItemStore;

namespace platform {
class Defaults;
}

// What a card's action bars and the window's item shortcuts do to an item, with no widget:
// every change goes through the store, which tells the sender where it should.
class ItemActions {
public:
    ItemActions() = delete;

    // How an acknowledgement is shown: its label and the symbol before it.
    struct AckLook {
        QString label;
        QString symbol;
    };
    static AckLook look(AckAction action);
    // The replies offered to a sender that came over the relay, in the order offered.
    static const QList<AckAction>& relayReplies();

    // Which controls a bar offers for the item. The compact bar is the large card's in simple
    // mode; it has no Skip and always offers Archive.
    struct Offered {
        bool gotIt = false;
        bool reply = false;
        bool skip = false;
        bool backToInbox = false;
        bool archive = false;
        bool wholeSet = false;
        bool location = false;
    };
    static Offered offered(const ScreenItem& item, bool compactBar);

    // "confirmDelete": whether deleting asks first.
    static bool asksBeforeDelete(const platform::Defaults& defaults);

    static void gotIt(ItemStore& store, const ScreenItem& item);
    static void reply(ItemStore& store, const ScreenItem& item, AckAction action);
    // To Later; the sender is told nothing.
    static void skip(ItemStore& store, const ScreenItem& item);
    static void backToInbox(ItemStore& store, const ScreenItem& item);
    // Tells the sender "archive" and moves the item alone to the Archive.
    static void archive(ItemStore& store, const ScreenItem& item);
    // At once, without asking.
    static void delete_(ItemStore& store, const ScreenItem& item);
    static void archiveSet(ItemStore& store, const ScreenItem& item);
    // Every item of the set still stored, in the store's order.
    static void deleteSet(ItemStore& store, const ScreenItem& item);

    // What Forward hands the Send sheet: the file of a photo or PDF, or the text of a text.
    static OutgoingItem forward(const ItemStore& store, const ScreenItem& item);

    // The map page of a photo's place (OpenStreetMap), with both coordinates in their
    // shortest exact decimal form; none when they make no address.
    static std::optional<QUrl> locationLink(double lat, double lon);
    static QString locationHelp(double lat, double lon);

    // The photo at `path` turned a quarter turn, upright and at most 6000 pixels on its longer
    // side, encoded like the file. None when it cannot be read or encoded. Any thread: it
    // decodes the whole photo.
    static std::optional<ImageEditOperations::Encoded> quarterTurned(
        const QString& path, bool clockwise);

    // Replaces the item's photo with edited bytes and reads its codes and text again in the
    // background; the result lands on the item when done.
    static void saveEditedImage(
        ItemStore& store, const QUuid& id, const ImageEditOperations::Encoded& image);
};

} // namespace vesker
