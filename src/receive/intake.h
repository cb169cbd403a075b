#pragma once

#include "http/http_server.h"
#include "relay_manager/relay_manager.h"

#include <QObject>
#include <QThreadPool>

#include <functional>

namespace vesker {

class ArrivalAnnouncer;
class DesktopActions;
class HostedScreensManager;
class ItemStore;
struct PendingUpload;
struct ScreenItem;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// Turns what the receive side accepted into stored items: the file into the Inbox, the record
// into the index, then recognition and the arrival. Nothing counts as stored until the index
// holding it is on disk; an item that cannot be saved leaves neither file nor record behind.
// Main thread only.
class ItemIntake : public QObject {
    Q_OBJECT
public:
    // Texts live inside the index, so they are kept small.
    static constexpr qsizetype kMaxTextBytes = 1024 * 1024;

    // `text` without control characters other than tabs and line ends: nobody reads them, and
    // the index would keep each as a six-byte escape.
    static QString keptText(const QString& text);

    ItemIntake(ItemStore& store, HostedScreensManager& hosted, RelayManager& relay,
        platform::Defaults& defaults, const platform::Clock& clock, DesktopActions& desktop,
        ArrivalAnnouncer& arrival, QObject* parent = nullptr);
    ~ItemIntake() override;

    // Stores an allowed upload into the main store and tells `done` (possibly later, always on
    // the main thread) the reply for its sender: 200 with the item's id once it is on disk,
    // else 500 "Save failed: " and the reason ("Couldn't save the file" for a PDF).
    void storeUpload(const PendingUpload& upload, HTTPReplyFunction done = {});
    // The same for a hosted screen's store: recognition always runs, and the item arrives
    // without sound, notification or window.
    void storeHostedUpload(ItemStore& target, const PendingUpload& upload, HTTPReplyFunction done);
    // An opened relay message, for the main store or a hosted screen's; one for neither screen
    // is dropped.
    void acceptRelayItem(const RelayManager::Incoming& incoming);
    // Reads a photo of the main store for barcodes and text when "recognizeOnArrival" allows.
    void recognizeIfEnabled(const ScreenItem& item);

private:
    void storeInto(ItemStore& target, const PendingUpload& upload, HTTPReplyFunction done);
    using Stored = std::function<void(const std::optional<QString>& error)>;
    // Writes the item's content, then its record with what `extras` adds in the same index
    // write (place, group); `stored` hears the outcome once the index is on disk or has failed.
    void save(ItemStore& target, const ScreenItem& item, const QByteArray& content,
        const std::function<void(ItemStore&)>& extras, Stored stored);

    ItemStore& m_store;
    HostedScreensManager& m_hosted;
    RelayManager& m_relay;
    platform::Defaults& m_defaults;
    const platform::Clock& m_clock;
    DesktopActions& m_desktop;
    ArrivalAnnouncer& m_arrival;
    QThreadPool m_fileWriters;
};

} // namespace vesker
