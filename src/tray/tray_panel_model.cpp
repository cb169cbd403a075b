#include "tray/tray_panel_model.h"

#include "focus_guard/focus_guard.h"
#include "platform/defaults.h"
#include "platform/time_text.h"
#include "receive/server_controller.h"
#include "store/blur_rules.h"
#include "store/item_queries.h"
#include "store/item_store.h"
#include "store/recognizer.h"
#include "store/senders.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLocale>

namespace vesker {

TrayPanelModel::TrayPanelModel(
    ItemStore& store, ServerController* server, FocusGuard& focus, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_server(server)
    , m_focus(focus)
{
    // The store's changed() covers items, acknowledgements and renamed senders alike.
    connect(&m_store, &ItemStore::changed, this, &TrayPanelModel::changed);
    connect(&m_store, &ItemStore::readProblemChanged, this, &TrayPanelModel::changed);
    connect(&m_store.defaults(), &platform::Defaults::changed, this, [this](const QString& key) {
        if (BlurRules::readsSetting(key))
            Q_EMIT changed();
    });
    if (server)
        connect(server, &ServerController::isRunningChanged, this, &TrayPanelModel::changed);
    connect(&m_focus, &FocusGuard::doNotDisturbChanged, this, &TrayPanelModel::changed);
    connect(&m_focus, &FocusGuard::heldBackChanged, this, &TrayPanelModel::changed);
    connect(&m_focus, &FocusGuard::rulesChanged, this, &TrayPanelModel::changed);
    connect(&m_focus, &FocusGuard::frontmostBundleIDChanged, this, &TrayPanelModel::changed);
}

int TrayPanelModel::inboxCount() const
{
    return m_store.countIn(ItemStatus::inbox);
}

QString TrayPanelModel::inboxCountText() const
{
    return QLocale().toString(inboxCount()) + QStringLiteral(" in Inbox");
}

bool TrayPanelModel::receiving() const
{
    return m_server && m_server->isRunning() && !m_store.readProblem();
}

QString TrayPanelModel::title(const ScreenItem& item)
{
    // One line of a row shows little of a text; eliding a megabyte would lay it all out.
    if (item.kind == ItemKind::text)
        return utf8Start(item.text, 200);
    if (!item.barcodes.isEmpty())
        return item.barcodes.first();
    if (!item.note.isEmpty())
        return item.note;
    return QStringLiteral("Photo");
}

QList<RecentRow> TrayPanelModel::recentRows() const
{
    const QList<ScreenItem> inbox = itemsIn(m_store.items(), ItemStatus::inbox);
    const BlurRules blur(m_store.defaults());
    QList<RecentRow> rows;
    for (const ScreenItem& item : inbox.first(std::min<qsizetype>(inbox.size(), kRecentLimit))) {
        RecentRow row;
        row.id = item.id;
        row.kind = item.kind;
        row.title = title(item);
        row.caption = Senders::displayName(item.sender, m_store.defaults()) + QStringLiteral(" · ")
            + platform::shortTimeText(item.receivedAt);
        if (item.kind == ItemKind::photo) {
            row.picture = m_store.fileURL(item);
            row.blurred = blur.shouldBlur(item.sender);
        }
        if (!item.barcodes.isEmpty())
            row.barcode = item.barcodes.first();
        rows.append(row);
    }
    return rows;
}

bool TrayPanelModel::doNotDisturb() const
{
    return m_focus.doNotDisturb();
}

void TrayPanelModel::setDoNotDisturb(bool on)
{
    if (on != m_focus.doNotDisturb())
        m_focus.setDoNotDisturb(on);
}

std::optional<QString> TrayPanelModel::holdLine() const
{
    if (m_focus.doNotDisturb())
        return std::nullopt;
    const auto reason = m_focus.holdReason();
    if (!reason)
        return std::nullopt;
    return QStringLiteral("Waiting — ") + *reason;
}

std::optional<QString> TrayPanelModel::heldBackLine() const
{
    if (m_focus.heldBack() < 1)
        return std::nullopt;
    return QLocale().toString(m_focus.heldBack())
        + QStringLiteral(" arrived without interrupting you");
}

void TrayPanelModel::copyPayload(const QString& barcode)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    clipboard->clear();
    clipboard->setText(Recognizer::payload(barcode));
}

void TrayPanelModel::archive(const QUuid& id)
{
    // The row may be stale: the item can have left the Inbox since the panel drew it.
    const auto item = m_store.item(id);
    if (!item || item->status != ItemStatus::inbox)
        return;
    // One redraw for both steps. Its sender hears "archived" only of an item that is.
    SaveBatch batch(m_store);
    if (m_store.move(*item, ItemStatus::archived))
        m_store.acknowledge(id, toString(AckAction::archive));
}

TrayPanelModel::Label TrayPanelModel::label(int inboxCount)
{
    if (inboxCount < 1)
        return {QStringLiteral("iphone.and.arrow.forward"), {}, QStringLiteral("Vesker")};
    const QString count = QLocale().toString(inboxCount);
    return {QStringLiteral("iphone.and.arrow.forward.inward"), count,
        QStringLiteral("Vesker — ") + count + QStringLiteral(" in Inbox")};
}

} // namespace vesker
