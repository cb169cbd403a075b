#include "inbox/content_view.h"

#include "app/window_manager.h"
#include "platform/defaults.h"
#include "platform/desktop_notifications.h"
#include "platform/notification_center.h"
#include "server/pending_approvals_view.h"
#include "server/server_controller.h"
#include "store/item_store.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace vesker {

namespace {

// What the clipboard holds, as things to send: its local files, else its text.
QList<OutgoingItem> itemsFromClipboard()
{
    QList<OutgoingItem> items;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data)
        return items;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            items.append({.imageURL = url});
    }
    if (items.isEmpty() && data->hasText() && !data->text().trimmed().isEmpty())
        items.append({.text = data->text()});
    return items;
}

QString describe(const OutgoingItem& item)
{
    if (!item.imageURL.isEmpty())
        return item.imageURL.fileName();
    return item.text.left(200);
}

// One line of the Inbox: who sent it, when, and its note or text.
QString rowText(const ScreenItem& item)
{
    // Today's items by their time alone, older ones with their day; seconds say nothing here.
    const QLocale locale;
    const QDateTime local = item.receivedAt.toLocalTime();
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    timeFormat.remove(QStringLiteral(":ss"));
    const QString time = locale.toString(local.time(), timeFormat);
    const QString when = local.date() == QDate::currentDate()
        ? time
        : locale.toString(local.date(), QStringLiteral("d MMM")) + u' ' + time;
    QString what = item.note.isEmpty() ? item.text : item.note;
    what = what.simplified().left(160);
    const QString sender = item.sender.isEmpty() ? QStringLiteral("Unknown sender") : item.sender;
    return what.isEmpty() ? QStringLiteral("%1 · %2").arg(sender, when)
                          : QStringLiteral("%1 · %2\n%3").arg(sender, when, what);
}

} // namespace

ContentView::ContentView(ItemStore& store, ServerController& server, platform::Defaults& defaults,
    WindowManager* windows, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_server(server)
    , m_defaults(defaults)
    , m_windows(windows)
{
    setObjectName(QStringLiteral("contentView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_prompt = new PendingApprovalsView(server.access(), this);
    layout->addWidget(m_prompt);

    m_pages = new QStackedWidget(this);
    m_list = new QListWidget(m_pages);
    m_list->setObjectName(QStringLiteral("inboxList"));
    m_list->setAccessibleName(QStringLiteral("Inbox"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setWordWrap(true);
    m_list->setSpacing(6);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setIconSize(QSize(24, 24));

    auto* empty = new QWidget(m_pages);
    auto* emptyLayout = new QVBoxLayout(empty);
    emptyLayout->addStretch();
    auto* emptyIcon = new QLabel(empty);
    emptyIcon->setPixmap(symbolIcon(QStringLiteral("tray"), palette(), QPalette::PlaceholderText)
                             .pixmap(QSize(64, 64), devicePixelRatio()));
    emptyIcon->setAlignment(Qt::AlignCenter);
    auto* emptyTitle = new QLabel(QStringLiteral("Inbox is empty"), empty);
    emptyTitle->setObjectName(QStringLiteral("emptyStateTitle"));
    emptyTitle->setAlignment(Qt::AlignCenter);
    setTextStyle(*emptyTitle, TextStyle::title2);
    auto* emptyDetail
        = new QLabel(QStringLiteral("Photos, texts and PDFs sent to this Mac appear here."), empty);
    emptyDetail->setAlignment(Qt::AlignCenter);
    setSecondary(*emptyDetail);
    emptyLayout->addWidget(emptyIcon);
    emptyLayout->addWidget(emptyTitle);
    emptyLayout->addWidget(emptyDetail);
    emptyLayout->addStretch();

    m_pages->addWidget(empty);
    m_pages->addWidget(m_list);
    layout->addWidget(m_pages, 1);

    connect(&m_store, &ItemStore::itemsChanged, this, &ContentView::rebuildList);
    rebuildList();

    // This view is the only receiver of both: without a main window they do nothing.
    auto& center = platform::NotificationCenter::shared();
    center.observe(QString::fromLatin1(platform::kPasteAndSend), this,
        [this](const QVariant&) { pasteAndSend(); });
    center.observe(QString::fromLatin1(platform::kCaptureAndSend), this,
        [this](const QVariant& object) { captureAndSend(object); });
}

void ContentView::rebuildList()
{
    m_list->clear();
    const QIcon phone = symbolIcon(QStringLiteral("iphone"), palette(), QPalette::PlaceholderText);
    QList<ScreenItem> inbox;
    for (const ScreenItem& item : m_store.items()) {
        if (item.status == ItemStatus::inbox)
            inbox.append(item);
    }
    // The newest on top, where the eye goes when something arrives.
    std::stable_sort(inbox.begin(), inbox.end(),
        [](const ScreenItem& a, const ScreenItem& b) { return a.receivedAt > b.receivedAt; });
    for (const ScreenItem& item : inbox) {
        // A QListWidgetItem shows its text as it is: nothing in it is read as markup.
        auto* row = new QListWidgetItem(phone, rowText(item), m_list);
        row->setData(Qt::UserRole, item.id);
        row->setToolTip(item.sender.toHtmlEscaped());
    }
    m_pages->setCurrentIndex(m_list->count() ? 1 : 0);
}

void ContentView::setSendRequest(const SendRequest& request)
{
    m_sendRequest = request;
    Q_EMIT sendRequestChanged();
    if (m_sendSheet)
        m_sendSheet->close();

    // Until the Send sheet comes, a sheet that shows what would be sent.
    auto* sheet = new QDialog(this);
    sheet->setObjectName(QStringLiteral("sendSheet"));
    sheet->setWindowTitle(QStringLiteral("Send"));
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(sheet);
    auto* list = new QListWidget(sheet);
    list->setObjectName(QStringLiteral("sendItems"));
    for (const OutgoingItem& item : request.items)
        list->addItem(describe(item));
    layout->addWidget(new QLabel(QStringLiteral("Send to"), sheet));
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, sheet);
    connect(buttons, &QDialogButtonBox::rejected, sheet, &QDialog::reject);
    layout->addWidget(buttons);
    connect(sheet, &QDialog::finished, this, [this] { m_sendRequest.reset(); });
    m_sendSheet = sheet;
    sheet->open();
}

void ContentView::pasteAndSend()
{
    setSendRequest({.items = itemsFromClipboard()});
}

void ContentView::captureAndSend(const QVariant& object)
{
    const QUrl url = object.toUrl();
    if (!url.isLocalFile())
        return;
    setSendRequest({.items = {OutgoingItem {.imageURL = url}}});
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_windows && window())
        m_windows->attach(window());
    if (m_defaults.boolValue(QString::fromLatin1(kDidShowOnboarding), false)) {
        askNotificationServer();
        return;
    }
    QTimer::singleShot(kOnboardingDelayMs, this, &ContentView::showOnboarding);
}

void ContentView::showOnboarding()
{
    if (m_onboarding || !isVisible())
        return;
    // Until onboarding comes, a sheet that greets the user once.
    auto* sheet = new QDialog(this);
    sheet->setObjectName(QStringLiteral("onboardingSheet"));
    sheet->setWindowTitle(QStringLiteral("Welcome to Vesker"));
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(sheet);
    auto* title = new QLabel(QStringLiteral("Welcome to Vesker"), sheet);
    setTextStyle(*title, TextStyle::title2);
    layout->addWidget(title);
    auto* detail = new QLabel(
        QStringLiteral("Photos, texts and PDFs sent from your phone to \u201c%1\u201d land in "
                       "the Inbox of this Mac.")
            .arg(m_server.screenName()),
        sheet);
    detail->setTextFormat(Qt::PlainText);
    detail->setWordWrap(true);
    layout->addWidget(detail);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, sheet);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Continue"));
    connect(buttons, &QDialogButtonBox::accepted, sheet, &QDialog::accept);
    layout->addWidget(buttons);
    // However it goes away, the greeting is not shown again.
    connect(sheet, &QDialog::finished, this,
        [this] { m_defaults.set(QString::fromLatin1(kDidShowOnboarding), true); });
    m_onboarding = sheet;
    sheet->open();
}

void ContentView::askNotificationServer()
{
    if (m_askedNotifications)
        return;
    m_askedNotifications = true;
    // Banners are allowed once the desktop's notification server answers; the answer itself
    // changes nothing here.
    QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
        QString::fromLatin1(platform::DesktopNotifications::kService),
        QString::fromLatin1(platform::DesktopNotifications::kPath),
        QString::fromLatin1(platform::DesktopNotifications::kService),
        QStringLiteral("GetServerInformation")));
}

} // namespace vesker
