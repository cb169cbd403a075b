// What the receive side does when a new item reaches the main screen: the window, the sound and
// the desktop notification.
#include "receive/arrival.h"

#include "platform/desktop_notifications.h"
#include "platform/time_text.h"
#include "receive/desktop_actions.h"
#include "store/item_store.h"
#include "store/senders.h"

#include <QLocale>

namespace vesker {

namespace {

// "Received 14:05" (or "Received 2:05 PM").
QString receivedText(const ScreenItem& item)
{
    return QStringLiteral("Received ") + platform::shortTimeText(item.receivedAt);
}

constexpr qsizetype kNotifiedTextChars = 1000;

std::pair<QString, QString> notificationContent(const ScreenItem& item, const QString& name)
{
    switch (item.kind) {
    case ItemKind::text: {
        // The text, even an empty one: the title already says what came. A long one is cut:
        // a notification shows a few lines, and its server would lay out every byte sent.
        const QString start = utf8Start(item.text, kNotifiedTextChars + 1);
        return {QStringLiteral("Text from ") + name,
            start.size() > kNotifiedTextChars ? start.left(kNotifiedTextChars) + QStringLiteral("…")
                                              : start};
    }
    case ItemKind::pdf: {
        QString body = item.originalName;
        if (body.isEmpty())
            body = item.note;
        if (body.isEmpty())
            body = receivedText(item);
        return {QStringLiteral("PDF from ") + name, body};
    }
    case ItemKind::photo:
        break;
    }
    return {
        QStringLiteral("Photo from ") + name, item.note.isEmpty() ? receivedText(item) : item.note};
}

} // namespace

ArrivalAnnouncer::ArrivalAnnouncer(
    const ItemStore& store, DesktopActions& desktop, platform::DesktopNotifications& notifications)
    : m_store(store)
    , m_desktop(desktop)
    , m_notifications(notifications)
{ }

void ArrivalAnnouncer::announce(const ScreenItem& item)
{
    // A quiet sender still gets the sound and the banner; only the window stays where it is.
    if (Senders::arrivalMode(item.sender, m_store.defaults()) != SenderArrival::quiet)
        m_desktop.handleArrival(item);

    m_desktop.playSound(QStringLiteral("Glass"));

    const auto [title, body]
        = notificationContent(item, Senders::displayName(item.sender, m_store.defaults()));
    // One banner per item, even for two items of the same second.
    m_notifications.post(uuidText(item.id), title, body);
}

} // namespace vesker
