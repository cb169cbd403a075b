#include "screens/relay_pending_view.h"

#include "screens/remote_screens_manager.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QLabel>

namespace vesker {

RelayPendingView::RelayPendingView(RemoteScreensManager& remote, QWidget* parent)
    : ApprovalBanner(parent)
    , m_remote(remote)
{
    setObjectName(QStringLiteral("relayPending"));
    connect(&m_remote, &RemoteScreensManager::pendingDevicesChanged, this,
        &RelayPendingView::scheduleRebuild);
    scheduleRebuild();
}

QStringList RelayPendingView::waitingKeys()
{
    QStringList keys;
    for (const RelayPending& entry : m_remote.pendingDevices())
        keys.append(entry.key);
    return keys;
}

QList<ApprovalCardContent> RelayPendingView::cards(qsizetype first, qsizetype count)
{
    QList<ApprovalCardContent> contents;
    const int side = QFontMetrics(vesker::font(TextStyle::title2, this->font())).height();
    for (const RelayPending& entry : m_remote.pendingDevices().mid(first, count)) {
        auto* symbol = new QLabel;
        symbol->setPixmap(symbolIcon(QStringLiteral("point.3.connected.trianglepath.dotted"),
            palette(), QPalette::WindowText)
                              .pixmap(QSize(side, side), devicePixelRatioF()));
        const QString count = entry.count == 1 ? QStringLiteral("1 item")
                                               : QStringLiteral("%1 items").arg(entry.count);
        const QString key = entry.key;
        contents.append({.tint = QColor(175, 82, 222, qRound(255 * 0.12)),
            .leading = symbol,
            .headline = entry.deviceName + QStringLiteral(" wants to send to ") + entry.screenName
                + QStringLiteral(" through this computer"),
            .detail = count + QStringLiteral(" waiting. Allow this device to use the relay?"),
            .allow = [this, key](GrantDuration duration) { m_remote.allow(key, duration); },
            .deny = [this, key] { m_remote.deny(key); },
            .block = [this, key] { m_remote.block(key); },
            .key = key});
    }
    return contents;
}

} // namespace vesker
