#include "inbox/content_view.h"

#include "access/pending_approvals_view.h"
#include "card/action_bar_view.h"
#include "card/item_row.h"
#include "connect/qr_sheet.h"
#include "inbox/card_list_view.h"
#include "inbox/inbox_bar_view.h"
#include "inbox/inbox_state.h"
#include "inbox/item_card_factory.h"
#include "inbox/preview_sheet.h"
#include "inbox/sidebar_view.h"
#include "inbox/speed_review_sheet.h"
#include "onboarding/onboarding_sheet.h"
#include "platform/defaults.h"
#include "platform/desktop_notifications.h"
#include "platform/host_name.h"
#include "platform/permissions.h"
#include "receive/server_controller.h"
#include "relay_manager/relay_requests_view.h"
#include "screens/relay_pending_view.h"
#include "send/dropped_files.h"
#include "send/send_sheet.h"
#include "store/item_store.h"
#include "ui/empty_state.h"
#include "ui/text_style.h"
#include "update/update_banner.h"
#include "window/window_manager.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace vesker {

namespace {

constexpr int kBarInset = 10;

QList<OutgoingItem> outgoingFiles(const QList<QUrl>& urls)
{
    QList<OutgoingItem> items;
    for (const QUrl& url : urls)
        items.append({.imageURL = url});
    return items;
}

} // namespace

// The window shows one sheet at a time: a sheet asked for while another is open waits and opens
// when that one closes, in the order asked. Each sheet is made only when its turn comes and
// goes with deleteLater() once closed.
class SheetQueue : public QObject {
public:
    // Makes the sheet when its turn comes; may give none, when it is no longer wanted.
    using Maker = std::function<QDialog*()>;

    using QObject::QObject;

    void present(Maker make);
    QDialog* current() const { return m_current; }
    qsizetype waiting() const { return m_waiting.size(); }

private:
    void openNext();

    QPointer<QDialog> m_current;
    QList<Maker> m_waiting;
};

void SheetQueue::present(Maker make)
{
    m_waiting.append(std::move(make));
    if (!m_current)
        openNext();
}

void SheetQueue::openNext()
{
    while (!m_current && !m_waiting.isEmpty()) {
        QDialog* sheet = m_waiting.takeFirst()();
        if (!sheet)
            continue;
        m_current = sheet;
        connect(sheet, &QDialog::finished, this, [this, sheet] {
            sheet->deleteLater();
            if (m_current == sheet)
                m_current = nullptr;
            // The next sheet waits until the closing one has finished going.
            QTimer::singleShot(0, this, &SheetQueue::openNext);
        });
        // A sheet taken down with its window never finishes; the queue must not stall on it.
        connect(sheet, &QObject::destroyed, this,
            [this] { QTimer::singleShot(0, this, &SheetQueue::openNext); });
        sheet->open();
    }
}

ContentView::ContentView(const ContentViewServices& services, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
{
    setObjectName(QStringLiteral("contentView"));
    setAcceptDrops(true);
    ServerController& server = m_services.server;
    m_state = new InboxState(m_services.store, m_services.defaults, this);
    m_sheets = new SheetQueue(this);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_split = new QSplitter(Qt::Horizontal, this);
    m_split->setChildrenCollapsible(false);
    m_sidebar = new SidebarView(*m_state, m_split);
    m_sidebarWidth = SidebarView::kIdealWidth;
    auto* detail = new QWidget(m_split);
    m_split->addWidget(m_sidebar);
    m_split->addWidget(detail);
    m_split->setCollapsible(0, true);
    m_split->setStretchFactor(1, 1);
    outer->addWidget(m_split);
    // The column opens once the window appears, if the settings and the width want it.
    m_sidebar->hide();
    m_groupBySender = m_state->groupBySender();
    m_simpleMode = m_state->simpleMode();

    auto* layout = new QVBoxLayout(detail);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_bar = new InboxBarView(*m_state, server, this);
    auto* barBox = new QVBoxLayout;
    barBox->setContentsMargins(kBarInset, kBarInset, kBarInset, kBarInset);
    barBox->addWidget(m_bar);
    layout->addLayout(barBox);
    layout->addWidget(makeDivider(this));
    m_prompt = new PendingApprovalsView(server.access(), this);
    m_banners = {new UpdateBanner(m_services.updater, this), m_prompt,
        new RelayPendingView(server.remote(), this),
        new RelayRequestsView(server.relay(), server, this)};
    for (QWidget* banner : std::as_const(m_banners))
        layout->addWidget(banner);

    m_area = new QStackedWidget(this);
    m_factory = std::make_unique<ItemCardFactory>(
        CardServices {.store = m_services.store,
            .thumbnails = m_services.thumbnails,
            .permissions = m_services.permissions,
            .invites = m_services.invites,
            .screenName = [&server] { return server.screenName(); }},
        *m_state,
        ItemCardFactory::Callbacks {.areaSize = [this] { return m_list->viewport()->size(); },
            .forward = [this](const OutgoingItem& item) { setSendRequest({.items = {item}}); },
            .preview
            = [this](const ScreenItem& item, const QImage& shown) { showPreview(item, shown); }});
    m_list = new CardListView(*m_factory, m_area);
    m_list->viewport()->installEventFilter(this);
    m_list->setLeaveFocus([this](bool forward) { focusAfter(m_list, forward); });
    m_empty = new EmptyState(m_area);
    m_empty->setObjectName(QStringLiteral("emptyState"));
    m_connectPhone = new QPushButton(QStringLiteral("Connect a phone"));
    m_connectPhone->setObjectName(QStringLiteral("connectPhoneButton"));
    connect(m_connectPhone, &QPushButton::clicked, this, &ContentView::showConnect);
    m_empty->addAction(m_connectPhone);
    m_area->addWidget(m_list);
    m_area->addWidget(m_empty);
    layout->addWidget(m_area, 1);

    connect(m_bar, &InboxBarView::connectRequested, this, &ContentView::showConnect);
    connect(m_bar, &InboxBarView::sendRequested, this, [this] { setSendRequest({}); });
    connect(m_bar, &InboxBarView::fullScreenRequested, this, &ContentView::toggleFullScreen);
    // Done searching: on to what was found.
    connect(m_bar, &InboxBarView::searchLeft, this, [this] {
        if (m_area->currentWidget() == m_list && !m_list->items().isEmpty())
            m_list->enterFocus(true);
        else if (QWidget* focus = QApplication::focusWidget())
            focusAfter(focus, true);
    });
    connect(m_state, &InboxState::changed, this, &ContentView::relist);
    connect(m_state, &InboxState::changed, this, &ContentView::followSidebarSettings);
    m_bar->setSpeedReviewAvailable(true);
    connect(m_bar, &InboxBarView::speedReviewRequested, this, &ContentView::showSpeedReview);
    // A nickname or a combined sender changes which items a sender filter or search lists.
    connect(&m_services.store, &ItemStore::changed, this, &ContentView::storeChanged);
    connect(&server, &ServerController::addressesChanged, this, &ContentView::showEmptyState);
    connect(&server, &ServerController::statusTextChanged, this, &ContentView::showEmptyState);
    connect(&m_services.store, &ItemStore::readProblemChanged, this, &ContentView::showEmptyState);

    m_arrivalScroll.setSingleShot(true);
    m_arrivalScroll.setInterval(kArrivalScrollDelayMs);
    connect(&m_arrivalScroll, &QTimer::timeout, this, &ContentView::scrollToArrival);
    connect(m_state, &InboxState::arrivalRequested, this, &ContentView::bringIntoView);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
        &ContentView::applicationStateChanged);
    // A drop on a field inside the window reaches the field first; the window takes it there.
    qApp->installEventFilter(this);

    // Item shortcuts act on the focused card's item, or on the newest item whether or not its
    // card exists at the moment.
    const std::pair<QKeyCombination, void (ContentView::*)()> itemKeys[] {
        {kItemKeys[0], &ContentView::revealByKey}, {kItemKeys[1], &ContentView::gotItByKey},
        {kItemKeys[2], &ContentView::archiveByKey}, {kItemKeys[3], &ContentView::skipByKey},
        {kItemKeys[4], &ContentView::deleteByKey}};
    for (const auto& [key, act] : itemKeys) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(key));
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, act);
        addAction(action);
    }
    // The keys people press everywhere else: Ctrl+F finds, F11 fills the screen.
    auto* find = new QAction(this);
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    find->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QAction::triggered, this, [this] {
        auto* search = m_bar->findChild<QLineEdit*>(QStringLiteral("searchField"));
        if (search && search->isVisible()) {
            search->setFocus(Qt::ShortcutFocusReason);
            search->selectAll();
        }
    });
    addAction(find);
    auto* fullScreen = new QAction(this);
    fullScreen->setShortcut(QKeySequence(Qt::Key_F11));
    fullScreen->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(fullScreen, &QAction::triggered, this, &ContentView::toggleFullScreen);
    addAction(fullScreen);

    relist();
}

ContentView::~ContentView()
{
    // Taking the list out of its stack shows and resizes another page, and those events would
    // reach this filter while the list is half destroyed.
    qApp->removeEventFilter(this);
    // The cards go before the factory they call back into.
    delete std::exchange(m_list, nullptr);
}

QDialog* ContentView::currentSheet() const
{
    return m_sheets->current();
}

void ContentView::relist()
{
    if (!m_list)
        return;
    const ViewMode mode = m_state->effectiveViewMode();
    const QString lookKey = QStringLiteral("%1 %2 %3")
                                .arg(toString(mode))
                                .arg(m_state->effectiveScale())
                                .arg(m_state->effectiveFit());
    const bool large = mode == ViewMode::large;
    m_list->setMetrics(large ? 16 : 0, large ? 16 : 0, !large);
    m_list->setItems(m_state->listedItems());
    // Another tab, sender, tag or search is another list: it is read from its top.
    const QString choiceKey
        = QStringLiteral("%1 %2 %3")
              .arg(toString(m_state->simpleMode() ? ItemStatus::inbox : m_state->tab()),
                  m_state->searchPrompt(), m_state->search());
    if (choiceKey != m_choiceKey) {
        m_choiceKey = choiceKey;
        if (!m_list->items().isEmpty())
            m_list->scrollToId(m_list->items().first().id, false);
    }
    if (lookKey != m_lookKey) {
        m_lookKey = lookKey;
        m_list->refreshAll();
    }
    showEmptyState();
}

void ContentView::storeChanged(const StoreChange& change)
{
    if (!m_list)
        return;
    if (change.whole) {
        relist();
        return;
    }
    // An arrival or an edit touches its own card: relisting would cost every arrival the
    // whole store.
    const auto before
        = [this](const ScreenItem& a, const ScreenItem& b) { return m_state->listedBefore(a, b); };
    for (const QUuid& id : change.ids) {
        std::optional<ScreenItem> item = m_services.store.item(id);
        if (item && !m_state->lists(*item))
            item.reset();
        m_list->placeItem(id, item, before);
    }
    showEmptyState();
}

void ContentView::showEmptyState()
{
    if (!m_list->items().isEmpty()) {
        m_area->setCurrentWidget(m_list);
        return;
    }
    const EmptyStateContent content
        = m_state->emptyState(m_services.server.addresses(), m_services.server.statusText());
    m_empty->setContent(content.title, content.systemImage, content.description);
    m_connectPhone->setVisible(content.offersConnect);
    m_area->setCurrentWidget(m_empty);
}

std::optional<ScreenItem> ContentView::keyTarget() const
{
    const QList<ScreenItem>& items = m_list->items();
    if (items.isEmpty())
        return std::nullopt;
    const int row = m_list->rowOf(m_list->focusedId());
    return items.at(std::max(row, 0));
}

ItemActions::Offered ContentView::offeredOn(const ScreenItem& item) const
{
    // The keys do what the card's bar offers, and nothing it does not.
    const bool compactBar
        = m_state->simpleMode() && m_state->effectiveViewMode() == ViewMode::large;
    return ItemActions::offered(item, compactBar);
}

void ContentView::revealByKey()
{
    const auto item = keyTarget();
    if (!item)
        return;
    if (auto* card = qobject_cast<ItemRow*>(m_list->cardFor(item->id)))
        card->reveal();
    else
        m_factory->stateFor(item->id)->revealed = true;
}

void ContentView::actByKey(bool ItemActions::Offered::*offered, KeyAction act)
{
    const auto item = keyTarget();
    if (!item || (offered && !(offeredOn(*item).*offered)))
        return;
    const QUuid focused = m_list->focusedId();
    const int row = m_list->rowOf(focused);
    const QWidget* focus = QApplication::focusWidget();
    const QString control = focused.isNull() || !focus ? QString() : focus->objectName();
    act(m_services.store, *item);
    if (!focused.isNull())
        keepFocusInList(focused, row, control);
}

void ContentView::gotItByKey()
{
    actByKey(&ItemActions::Offered::gotIt, &ItemActions::gotIt);
}

void ContentView::archiveByKey()
{
    actByKey(&ItemActions::Offered::archive, &ItemActions::archive);
}

void ContentView::skipByKey()
{
    actByKey(&ItemActions::Offered::skip, &ItemActions::skip);
}

void ContentView::deleteByKey()
{
    const auto item = keyTarget();
    if (!item)
        return;
    const QUuid focused = m_list->focusedId();
    const int row = m_list->rowOf(focused);
    if (!ItemActions::asksBeforeDelete(m_services.defaults)) {
        actByKey(nullptr, &ItemActions::delete_);
        return;
    }
    QMessageBox* box = askToDelete(this, m_services.store, *item, false);
    if (!focused.isNull()) {
        // The dialog hands the focus back as it closes; the list takes it after that.
        connect(box, &QDialog::finished, this, [this, focused, row] {
            QTimer::singleShot(
                0, this, [this, focused, row] { keepFocusInList(focused, row, {}); });
        });
    }
}

void ContentView::keepFocusInList(const QUuid& id, int row, const QString& control)
{
    // A card refilled by the change rebuilds its controls on the next turn of the event loop.
    QTimer::singleShot(0, this, [this, id, row, control] {
        const QList<ScreenItem>& items = m_list->items();
        if (items.isEmpty() || !isVisible())
            return;
        if (m_list->focusedId() == id)
            return;
        if (m_list->rowOf(id) >= 0) {
            m_list->focusItem(id, control);
            return;
        }
        m_list->focusItem(items.at(std::clamp(row, 0, int(items.size()) - 1)).id);
    });
}

void ContentView::showConnect()
{
    m_sheets->present([this] { return new QRSheet(m_services.server, m_services.defaults, this); });
}

void ContentView::showPreview(const ScreenItem& item, const QImage& shown)
{
    m_sheets->present([this, item, shown] {
        return new PreviewSheet(m_services.store, m_services.thumbnails, item, this, shown);
    });
}

void ContentView::setSendRequest(const SendRequest& request)
{
    m_sheets->present([this, request]() -> QDialog* {
        m_sendRequest = request;
        Q_EMIT sendRequestChanged();
        SendSheet::Services services {
            .session = {.defaults = m_services.defaults,
                .directory = m_services.directory,
                .relayBook = m_services.relayBook,
                .clock = m_services.clock,
                .screenName = [server = &m_services.server] { return server->screenName(); }},
            .deviceSettings = m_services.groupDefaults,
            .usage = m_services.usage,
            .thumbnails = &m_services.thumbnails,
            .remote = &m_services.server.remote()};
        auto* sheet = new SendSheet(request.items, std::move(services), this);
        connect(sheet, &QDialog::finished, this, [this, id = request.id] {
            if (m_sendRequest && m_sendRequest->id == id) {
                m_sendRequest.reset();
                Q_EMIT sendRequestChanged();
            }
        });
        return sheet;
    });
}

void ContentView::toggleFullScreen()
{
    WindowManager* windows = m_services.windows;
    if (!windows)
        return;
    QWidget* window = windows->window();
    if ((!window || !window->isFullScreen()) && !windows->savedFrame())
        windows->enterFullScreen();
    else if (window && window->isFullScreen())
        window->showNormal();
    else
        windows->restoreSavedFrame();
}

void ContentView::bringIntoView(const QUuid& id)
{
    // A newer arrival replaces the scroll still waiting for an older one. Its card is listed
    // by the time the scroll starts.
    m_arrivalScroll.stop();
    m_arrivalTarget = id;
    m_arrivalScroll.start();
}

void ContentView::scrollToArrival()
{
    // Items sent together show from the first of them: the first listed of that second.
    const QList<ScreenItem>& listed = m_list->items();
    int row = m_list->rowOf(m_arrivalTarget);
    if (row < 0)
        return;
    while (row > 0 && listed.at(row - 1).receivedAt == listed.at(row).receivedAt)
        --row;
    const QUuid target = listed.at(row).id;
    // Not looking now: the user sees it when they come back.
    if (QGuiApplication::applicationState() != Qt::ApplicationActive)
        m_pendingScroll = target;
    else
        m_pendingScroll.reset();
    m_list->scrollToId(target, true);
}

void ContentView::applicationStateChanged(Qt::ApplicationState state)
{
    if (state != Qt::ApplicationActive || !m_pendingScroll)
        return;
    const QUuid id = *std::exchange(m_pendingScroll, std::nullopt);
    if (m_list->rowOf(id) >= 0)
        m_list->scrollToId(id, false);
}

bool ContentView::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget == this || isAncestorOf(widget)))
            return handleDrag(event);
        break;
    }
    case QEvent::ShortcutOverride:
        // The item keys are word and line editing keys in a text field (Ctrl+Backspace deletes
        // the previous word): while one has the focus, the key is the field's, never an item's.
        if (isItemKey(static_cast<QKeyEvent*>(event))
            && isTextField(qobject_cast<QWidget*>(watched))
            && isAncestorOf(static_cast<QWidget*>(watched))) {
            event->accept();
            return true;
        }
        break;
    case QEvent::Resize:
        // The cards are laid out for the viewport's size; one refill after a run of resizes.
        if (m_list && watched == m_list->viewport() && !m_refillQueued) {
            m_refillQueued = true;
            QTimer::singleShot(0, this, [this] {
                m_refillQueued = false;
                m_list->refreshAll();
            });
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

QList<QWidget*> ContentView::tabStops() const
{
    // The cards are made while the list scrolls, a prompt's buttons when a device asks, and the
    // toolbar moves its buttons between its forms as the window narrows, so all of them sit in
    // the window's focus chain in no useful order; the order here is the one drawn: the
    // toolbar, then the banners and prompts, then the list.
    QList<QWidget*> stops;
    QList<QWidget*> toolbar;
    QList<QWidget*> banners;
    const auto inBanner = [this](const QWidget* widget) {
        return std::ranges::any_of(
            m_banners, [widget](const QWidget* banner) { return banner->isAncestorOf(widget); });
    };
    const QWidget* start = this;
    for (QWidget* widget = start->nextInFocusChain(); widget != start;
         widget = widget->nextInFocusChain()) {
        if (!isAncestorOf(widget) || (widget != m_list && m_list->isAncestorOf(widget)))
            continue;
        if (m_bar->isAncestorOf(widget))
            toolbar.append(widget);
        else if (inBanner(widget))
            banners.append(widget);
        else
            stops.append(widget);
    }
    const auto at = [this](const QWidget* widget) { return widget->mapTo(this, QPoint()); };
    // The toolbar is one row, left to right; the banners stand one under another.
    std::ranges::stable_sort(
        toolbar, [&](const QWidget* a, const QWidget* b) { return at(a).x() < at(b).x(); });
    std::ranges::stable_sort(banners, [&](const QWidget* a, const QWidget* b) {
        return at(a).y() != at(b).y() ? at(a).y() < at(b).y() : at(a).x() < at(b).x();
    });
    const QList<QWidget*> above = toolbar + banners;
    qsizetype list = stops.indexOf(m_list);
    if (list < 0) {
        list = stops.size();
        stops.append(m_list);
    }
    for (qsizetype i = 0; i < above.size(); ++i)
        stops.insert(list + i, above.at(i));
    return stops;
}

bool ContentView::focusAfter(QWidget* from, bool forward)
{
    const QList<QWidget*> stops = tabStops();
    const qsizetype count = stops.size();
    const qsizetype at = stops.indexOf(from);
    for (qsizetype step = 1; at >= 0 && step < count; ++step) {
        QWidget* candidate = stops.at(((forward ? at + step : at - step) % count + count) % count);
        if (candidate == m_list) {
            if (!m_list->isVisible())
                continue;
            m_list->enterFocus(forward);
            return true;
        }
        if ((candidate->focusPolicy() & Qt::TabFocus) && candidate->isVisible()
            && candidate->isEnabled() && !candidate->focusProxy()) {
            candidate->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

bool ContentView::focusNextPrevChild(bool next)
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus || !isAncestorOf(focus) || !focusAfter(focus, next))
        return QWidget::focusNextPrevChild(next);
    return true;
}

bool ContentView::isItemKey(const QKeyEvent* key)
{
    const QKeyCombination combination = key->keyCombination();
    return std::ranges::any_of(kItemKeys, [combination](QKeyCombination item) {
        return item.key() == combination.key()
            && item.keyboardModifiers() == (combination.keyboardModifiers() & ~Qt::KeypadModifier);
    });
}

bool ContentView::isTextField(const QWidget* widget)
{
    if (const auto* line = qobject_cast<const QLineEdit*>(widget))
        return !line->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget))
        return !plain->isReadOnly();
    if (const auto* rich = qobject_cast<const QTextEdit*>(widget))
        return !rich->isReadOnly();
    return qobject_cast<const QAbstractSpinBox*>(widget) != nullptr;
}

bool ContentView::handleDrag(QEvent* event)
{
    auto* drop = static_cast<QDropEvent*>(event);
    const QMimeData* data = drop->mimeData();
    if (!data || !data->hasUrls())
        return false;
    // Copies only: nothing dropped here is ever taken away from where it came from.
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (event->type() != QEvent::Drop)
        return true;
    const QList<QUrl> files = sendableDroppedFiles(data->urls());
    if (!files.isEmpty())
        setSendRequest({.items = outgoingFiles(files)});
    return true;
}

void ContentView::pasteAndSend()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    setSendRequest(
        {.items = OutgoingItem::fromPasteboard(clipboard ? clipboard->mimeData() : nullptr)});
}

void ContentView::sendCapture(const QUrl& image)
{
    if (!image.isLocalFile())
        return;
    setSendRequest({.items = {OutgoingItem {.imageURL = image}}});
}

bool ContentView::sidebarWanted() const
{
    return m_state->groupBySender() && !m_state->simpleMode() && !m_crowded;
}

bool ContentView::sidebarShown() const
{
    if (m_sidebar->isHidden())
        return false;
    // Dragged shut by hand, it is still there at no width.
    return !m_split->isVisible() || m_split->sizes().value(0) > 0;
}

void ContentView::setSidebarShown(bool shown)
{
    if (shown == sidebarShown())
        return;
    if (!shown) {
        if (const int width = m_split->sizes().value(0); width > 0)
            m_sidebarWidth = width;
        m_sidebar->hide();
        return;
    }
    m_sidebar->show();
    const int total = m_split->width() - m_split->handleWidth();
    m_split->setSizes({m_sidebarWidth, std::max(0, total - m_sidebarWidth)});
}

void ContentView::followSidebarSettings()
{
    const bool group = m_state->groupBySender();
    const bool simple = m_state->simpleMode();
    if (group == m_groupBySender && simple == m_simpleMode)
        return;
    m_groupBySender = group;
    m_simpleMode = simple;
    setSidebarShown(sidebarWanted());
}

void ContentView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const bool crowded = event->size().width() < kCrowdedWidth;
    // Only crossing the line moves the column: between crossings it is the user's to open or
    // close.
    if (crowded == m_crowded)
        return;
    m_crowded = crowded;
    if (m_state->groupBySender() && !m_state->simpleMode())
        setSidebarShown(!crowded);
}

void ContentView::showSpeedReview()
{
    // What the list shows at the press, not whatever it shows once the sheet's turn comes.
    m_sheets->present([this, items = m_state->listedItems()] {
        return new SpeedReviewSheet(m_services.store, m_services.thumbnails, items, this);
    });
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        m_crowded = width() < kCrowdedWidth;
        setSidebarShown(sidebarWanted());
    }
    if (m_services.windows && window())
        m_services.windows->attach(window());
    if (m_services.defaults.boolValue(QString::fromLatin1(kDidShowOnboarding), false)) {
        askNotificationServer();
        return;
    }
    QTimer::singleShot(kOnboardingDelayMs, this, &ContentView::showOnboarding);
}

void ContentView::showOnboarding()
{
    if (m_onboardingQueued || !isVisible())
        return;
    m_onboardingQueued = true;
    m_sheets->present([this]() -> QDialog* {
        auto* sheet = new OnboardingSheet({.server = m_services.server,
                                              .defaults = m_services.defaults,
                                              .permissions = m_services.permissions,
                                              .windows = m_services.windows,
                                              .computerName = platform::computerName()},
            this);
        // However it goes away, even taken down with the window, it is not shown again.
        auto remember = [defaults = &m_services.defaults] {
            defaults->set(QString::fromLatin1(kDidShowOnboarding), true);
        };
        connect(sheet, &QDialog::finished, sheet, remember);
        connect(sheet, &QObject::destroyed, sheet, remember);
        m_onboarding = sheet;
        return sheet;
    });
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
