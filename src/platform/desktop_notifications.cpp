#include "platform/desktop_notifications.h"

#include "platform/log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QVariantMap>

#include <utility>

namespace vesker::platform {

namespace {

// Enough for a burst of arrivals while the server is slow to answer its first question; past
// it the oldest are dropped rather than kept without end.
constexpr qsizetype kMaxWaiting = 64;

QDBusMessage call(const QString& method)
{
    return QDBusMessage::createMethodCall(QLatin1String(DesktopNotifications::kService),
        QLatin1String(DesktopNotifications::kPath), QLatin1String(DesktopNotifications::kService),
        method);
}

} // namespace

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{ }

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::post(const QString& id, const QString& title, const QString& body)
{
    if (!m_bus.isConnected()) {
        reportMissing(QStringLiteral("no session bus"));
        return;
    }
    const Pending notification {id, title, body};
    if (m_bodyMarkup) {
        send(notification);
        return;
    }
    // A body sent before the server has said whether it reads markup could be read as markup
    // (a sender's note with "<b>" or "&" in it), so it waits for the answer.
    if (m_waiting.size() >= kMaxWaiting)
        m_waiting.removeFirst();
    m_waiting.append(notification);
    askCapabilities();
}

void DesktopNotifications::askCapabilities()
{
    if (m_asking)
        return;
    m_asking = true;
    auto* watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotifications::onCapabilities);
}

void DesktopNotifications::onCapabilities(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    m_asking = false;
    const QDBusPendingReply<QStringList> reply = *watcher;
    if (reply.isError()) {
        // Nothing to show them on. The next post asks again: a server may start later.
        m_waiting.clear();
        reportMissing(reply.error().message());
        return;
    }
    m_reportedMissing = false;
    m_bodyMarkup = reply.value().contains(QLatin1String("body-markup"));
    const QList<Pending> waiting = std::exchange(m_waiting, {});
    for (const Pending& notification : waiting)
        send(notification);
}

void DesktopNotifications::send(const Pending& notification)
{
    QDBusMessage message = call(QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopEntry));
    message << QString::fromLatin1(kAppName) // app_name
            << uint(0) // replaces_id: every arrival is a banner of its own
            << QString() // app_icon: the desktop entry's
            << notification.title
            << (m_bodyMarkup.value_or(false) ? notification.body.toHtmlEscaped()
                                             : notification.body)
            << QStringList() // actions
            << hints << qint32(-1); // expire_timeout: the server's default

    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, id = notification.id](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusPendingReply<uint> reply = *w;
            if (reply.isError()) {
                reportMissing(reply.error().message());
                return;
            }
            Q_EMIT delivered(id);
        });
}

void DesktopNotifications::reportMissing(const QString& why)
{
    // One line, not one per arrival, on a desktop that has no notification server.
    if (m_reportedMissing)
        return;
    m_reportedMissing = true;
    qCDebug(lcNotifications).noquote() << "[notifications] not shown:" << why;
}

} // namespace vesker::platform
