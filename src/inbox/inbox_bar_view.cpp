#include "inbox/inbox_bar_view.h"

#include "inbox/inbox_state.h"
#include "receive/server_controller.h"
#include "store/item_queries.h"
#include "store/item_store.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedLayout>
#include <QToolButton>

#include <array>

namespace vesker {

namespace {

// A longer prompt (a long sender's name) is cut rather than crowding the bar.
constexpr int kLongestPrompt = 260;

constexpr std::array kTabs {ItemStatus::inbox, ItemStatus::later, ItemStatus::archived};
constexpr int kDotSize = 9;
constexpr int kSliderSteps = 100; // the slider's integers per unit of photo scale

QString keys(QKeyCombination combination)
{
    return QKeySequence(combination).toString(QKeySequence::NativeText);
}

QString tabTitle(ItemStatus status)
{
    switch (status) {
    case ItemStatus::inbox:
        return QStringLiteral("Inbox");
    case ItemStatus::later:
        return QStringLiteral("Later");
    case ItemStatus::archived:
        return QStringLiteral("Archive");
    }
    return {};
}

// The search field's frame: as wide as it may be when there is room, no narrower than 120.
class SearchBox : public QFrame {
public:
    using QFrame::QFrame;
    QSize sizeHint() const override { return {maximumWidth(), QFrame::sizeHint().height()}; }
};

} // namespace

InboxBarView::InboxBarView(InboxState& state, ServerController& server, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_server(server)
{
    setObjectName(QStringLiteral("inboxBar"));
    // The bar takes the width the window gives it and picks the form that fits, so the widest
    // form's controls must not set how narrow the window may be.
    setMinimumWidth(1);
    m_stack = new QStackedLayout(this);
    m_simpleBar = buildSimpleBar();
    m_fullBar = buildFullBar();
    m_stack->addWidget(m_simpleBar);
    m_stack->addWidget(m_fullBar);

    connect(&m_state, &InboxState::changed, this, &InboxBarView::refresh);
    connect(&m_state.store(), &ItemStore::changed, this, &InboxBarView::refreshCounts);
    connect(&m_server, &ServerController::isRunningChanged, this, &InboxBarView::refreshServer);
    connect(&m_server, &ServerController::statusTextChanged, this, &InboxBarView::refreshServer);
    connect(&m_state.store(), &ItemStore::readProblemChanged, this, &InboxBarView::refreshServer);
    refreshServer();
    refresh();
}

void InboxBarView::setSpeedReviewAvailable(bool available)
{
    m_speedReviewAvailable = available;
    refreshCounts();
}

bool InboxBarView::eventFilter(QObject* watched, QEvent* event)
{
    // Escape clears the search first, and a second one leaves the field.
    if (watched == m_search && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape
        && static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        if (!m_search->text().isEmpty())
            m_state.setSearch({});
        else
            Q_EMIT searchLeft();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void InboxBarView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    chooseVariant();
}

QToolButton* InboxBarView::button(const QString& name, const QString& symbol, const QString& title,
    const QString& help, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    if (!symbol.isEmpty())
        button->setIcon(symbolIcon(symbol, palette(), QPalette::ButtonText));
    button->setText(title);
    button->setToolTip(help);
    button->setAccessibleName(title);
    button->setToolButtonStyle(title.isEmpty() || symbol.isEmpty()
            ? (symbol.isEmpty() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly)
            : Qt::ToolButtonTextBesideIcon);
    return button;
}

QWidget* InboxBarView::buildSimpleBar()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("simpleBar"));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);

    auto* title = new QLabel(QStringLiteral("Inbox"), bar);
    QFont titleFont = vesker::font(TextStyle::title3, title->font());
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    row->addWidget(title);

    m_badge = new QLabel(bar);
    m_badge->setObjectName(QStringLiteral("inboxBadge"));
    QFont badgeFont = vesker::font(TextStyle::callout, m_badge->font());
    badgeFont.setWeight(QFont::DemiBold);
    m_badge->setFont(badgeFont);
    QColor capsule = accentColor(palette());
    capsule.setAlphaF(0.15);
    m_badge->setStyleSheet(QStringLiteral(
        "QLabel#inboxBadge { background: %1; border-radius: %2px; padding: 2px 8px; }")
                               .arg(capsule.name(QColor::HexArgb))
                               .arg(m_badge->fontMetrics().height() / 2 + 2));
    m_badge->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    row->addWidget(m_badge);
    row->addSpacing(8);
    row->addStretch(1);

    auto* dot = new QLabel(bar);
    dot->setObjectName(QStringLiteral("simpleStatusDot"));
    m_dots.append(dot);
    row->addWidget(dot);

    auto* connectButton = button(QStringLiteral("simpleConnectButton"), QStringLiteral("qrcode"),
        QStringLiteral("Connect"), QStringLiteral("QR code and links for phones that send here"),
        bar);
    connect(connectButton, &QToolButton::clicked, this, &InboxBarView::connectRequested);
    row->addWidget(connectButton);

    auto* send = button(QStringLiteral("simpleSendButton"), QStringLiteral("paperplane"),
        QStringLiteral("Send…"),
        QStringLiteral("Send photos or text to another screen — or drop files on the window"), bar);
    connect(send, &QToolButton::clicked, this, &InboxBarView::sendRequested);
    row->addWidget(send);

    auto* fullScreen = button(QStringLiteral("simpleFullScreenButton"),
        QStringLiteral("arrow.up.left.and.arrow.down.right"), {},
        QStringLiteral("Full screen (%1)").arg(keys(Qt::META | Qt::CTRL | Qt::Key_F)), bar);
    fullScreen->setAccessibleName(QStringLiteral("Full screen"));
    connect(fullScreen, &QToolButton::clicked, this, &InboxBarView::fullScreenRequested);
    row->addWidget(fullScreen);

    auto* advanced = button(QStringLiteral("advancedButton"), QStringLiteral("chevron.right"),
        QStringLiteral("Advanced"),
        QStringLiteral("Show everything: Later and Archive, senders and tags, search, notes (%1)")
            .arg(keys(Qt::CTRL | Qt::ALT | Qt::Key_S)),
        bar);
    advanced->setAutoRaise(true);
    // The chevron follows the title, as a way onward.
    advanced->setLayoutDirection(Qt::RightToLeft);
    advanced->setFont(vesker::font(TextStyle::caption2, advanced->font()));
    connect(advanced, &QToolButton::clicked, this, [this] { m_state.setSimpleMode(false); });
    row->addWidget(advanced);
    return bar;
}

QWidget* InboxBarView::buildFullBar()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("fullBar"));
    auto* row = new QHBoxLayout(bar);
    m_fullLayout = row;
    row->setContentsMargins(0, 0, 0, 0);

    auto* tabs = new QWidget(bar);
    tabs->setObjectName(QStringLiteral("tabPicker"));
    tabs->setMinimumWidth(200);
    tabs->setMaximumWidth(380);
    auto* tabRow = new QHBoxLayout(tabs);
    tabRow->setContentsMargins(0, 0, 0, 0);
    tabRow->setSpacing(0);
    for (const ItemStatus status : kTabs) {
        auto* tab
            = button(QStringLiteral("tab") + tabTitle(status), {}, tabTitle(status), {}, tabs);
        tab->setCheckable(true);
        tab->setAutoExclusive(true);
        tab->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(tab, &QToolButton::clicked, this, [this, status] { m_state.setTab(status); });
        tabRow->addWidget(tab);
        m_tabButtons.append(tab);
    }
    row->addWidget(tabs);

    m_speedReview = button(QStringLiteral("speedReviewButton"), QStringLiteral("rectangle.stack"),
        QStringLiteral("Speed review"),
        QStringLiteral("Go through the archive one item at a time: Keep (→) or Delete (%1). "
                       "Reviews what is shown, so filter or search first to review just those.")
            .arg(keys(QKeyCombination(Qt::Key_Backspace))),
        bar);
    connect(m_speedReview, &QToolButton::clicked, this, &InboxBarView::speedReviewRequested);
    m_titledButtons.append(m_speedReview);
    row->addWidget(m_speedReview);

    auto* modes = new QWidget(bar);
    modes->setObjectName(QStringLiteral("viewModePicker"));
    modes->setFixedWidth(80);
    modes->setToolTip(QStringLiteral("Large or compact view (change the default in Settings)"));
    auto* modeRow = new QHBoxLayout(modes);
    modeRow->setContentsMargins(0, 0, 0, 0);
    modeRow->setSpacing(0);
    m_large = button(QStringLiteral("largeMode"), QStringLiteral("rectangle.portrait"), {},
        modes->toolTip(), modes);
    m_large->setAccessibleName(QStringLiteral("Large"));
    m_compact = button(
        QStringLiteral("compactMode"), QStringLiteral("list.bullet"), {}, modes->toolTip(), modes);
    m_compact->setAccessibleName(QStringLiteral("Compact"));
    for (QToolButton* mode : {m_large, m_compact}) {
        mode->setCheckable(true);
        mode->setAutoExclusive(true);
        mode->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        modeRow->addWidget(mode);
    }
    connect(m_large, &QToolButton::clicked, this, [this] { m_state.setViewMode(ViewMode::large); });
    connect(
        m_compact, &QToolButton::clicked, this, [this] { m_state.setViewMode(ViewMode::compact); });
    row->addWidget(modes);

    m_photoControls = new QWidget(bar);
    m_photoControls->setObjectName(QStringLiteral("photoControls"));
    auto* photoRow = new QHBoxLayout(m_photoControls);
    photoRow->setContentsMargins(0, 0, 0, 0);
    photoRow->setSpacing(6);
    const QIcon photo = symbolIcon(QStringLiteral("photo"), palette());
    const int body = fontMetrics().height();
    auto* small = new QLabel(m_photoControls);
    small->setPixmap(photo.pixmap(QSize(body, body) * 3 / 4, devicePixelRatioF()));
    photoRow->addWidget(small);
    m_photoScale = new QSlider(Qt::Horizontal, m_photoControls);
    m_photoScale->setObjectName(QStringLiteral("photoScaleSlider"));
    m_photoScale->setRange(qRound(InboxState::kMinPhotoScale * kSliderSteps),
        qRound(InboxState::kMaxPhotoScale * kSliderSteps));
    m_photoScale->setFixedWidth(110);
    m_photoScale->setToolTip(QStringLiteral("Photo size"));
    m_photoScale->setAccessibleName(QStringLiteral("Photo size"));
    connect(m_photoScale, &QSlider::valueChanged, this,
        [this](int value) { m_state.setPhotoScale(double(value) / kSliderSteps); });
    photoRow->addWidget(m_photoScale);
    auto* large = new QLabel(m_photoControls);
    large->setPixmap(photo.pixmap(QSize(body, body), devicePixelRatioF()));
    photoRow->addWidget(large);
    m_fit = button(QStringLiteral("fitToggle"), {}, QStringLiteral("Fit"),
        QStringLiteral("Shrink the newest photo so it and its details fit the window"),
        m_photoControls);
    m_fit->setCheckable(true);
    connect(m_fit, &QToolButton::clicked, this, [this](bool on) { m_state.setFitToWindow(on); });
    photoRow->addWidget(m_fit);
    row->addWidget(m_photoControls);

    m_sidebar = button(QStringLiteral("sidebarToggle"), QStringLiteral("sidebar.left"), {},
        QStringLiteral("Group by sender / tag (sidebar)"), bar);
    m_sidebar->setAccessibleName(QStringLiteral("Sidebar"));
    m_sidebar->setCheckable(true);
    connect(
        m_sidebar, &QToolButton::clicked, this, [this](bool on) { m_state.setGroupBySender(on); });
    row->addWidget(m_sidebar);

    auto* searchBox = new SearchBox(bar);
    searchBox->setObjectName(QStringLiteral("searchBox"));
    searchBox->setMinimumWidth(120);
    searchBox->setMaximumWidth(220);
    searchBox->setToolTip(
        QStringLiteral("Searches notes, OCR text, barcodes, sent text, tags and sender"));
    searchBox->setStyleSheet(
        QStringLiteral("QFrame#searchBox { background: palette(base); "
                       "border: 1px solid palette(mid); border-radius: 7px; }"));
    auto* searchRow = new QHBoxLayout(searchBox);
    searchRow->setContentsMargins(8, 4, 8, 4);
    searchRow->setSpacing(4);
    const int iconSide = fontMetrics().height();
    auto* glass = new QLabel(searchBox);
    glass->setPixmap(
        symbolIcon(QStringLiteral("magnifyingglass"), palette(), QPalette::PlaceholderText)
            .pixmap(QSize(iconSide, iconSide), devicePixelRatioF()));
    searchRow->addWidget(glass);
    m_search = new QLineEdit(searchBox);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setAccessibleName(QStringLiteral("Search"));
    m_search->setFrame(false);
    m_search->setMinimumWidth(40);
    // A file dropped here belongs to the window (to be sent), never into the text.
    m_search->setAcceptDrops(false);
    m_search->installEventFilter(this);
    connect(m_search, &QLineEdit::textChanged, this,
        [this](const QString& text) { m_state.setSearch(text); });
    searchRow->addWidget(m_search, 1);
    m_clearSearch = button(QStringLiteral("searchClear"), QStringLiteral("xmark.circle.fill"), {},
        QStringLiteral("Clear the search"), searchBox);
    m_clearSearch->setIcon(
        symbolIcon(QStringLiteral("xmark.circle.fill"), palette(), QPalette::PlaceholderText));
    m_clearSearch->setAccessibleName(QStringLiteral("Clear"));
    m_clearSearch->setAutoRaise(true);
    m_clearSearch->setIconSize(QSize(iconSide, iconSide));
    // Its room is kept while it is hidden, so the bar does not jump at the first letter typed.
    QSizePolicy keepRoom = m_clearSearch->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    m_clearSearch->setSizePolicy(keepRoom);
    connect(m_clearSearch, &QToolButton::clicked, this, [this] { m_state.setSearch({}); });
    searchRow->addWidget(m_clearSearch);
    row->addWidget(searchBox);
    row->addStretch(1);

    auto* dot = new QLabel(bar);
    dot->setObjectName(QStringLiteral("statusDot"));
    m_dots.append(dot);
    row->addWidget(dot);

    auto* connectButton = button(QStringLiteral("connectButton"), QStringLiteral("qrcode"),
        QStringLiteral("Connect"),
        QStringLiteral("QR code and links: phones that send here, and the browser screen that "
                       "shows this Inbox"),
        bar);
    connect(connectButton, &QToolButton::clicked, this, &InboxBarView::connectRequested);
    m_titledButtons.append(connectButton);
    row->addWidget(connectButton);

    auto* send = button(QStringLiteral("sendButton"), QStringLiteral("paperplane"),
        QStringLiteral("Send…"),
        QStringLiteral("Send photos or text to another screen, TV, or iPad — drop files on the "
                       "window, or %1 to paste and send")
            .arg(keys(Qt::CTRL | Qt::SHIFT | Qt::Key_V)),
        bar);
    connect(send, &QToolButton::clicked, this, &InboxBarView::sendRequested);
    m_titledButtons.append(send);
    row->addWidget(send);

    auto* fullScreen = button(QStringLiteral("fullScreenButton"),
        QStringLiteral("arrow.up.left.and.arrow.down.right"), {},
        QStringLiteral("Full screen (%1)").arg(keys(Qt::META | Qt::CTRL | Qt::Key_F)), bar);
    fullScreen->setAccessibleName(QStringLiteral("Full screen"));
    connect(fullScreen, &QToolButton::clicked, this, &InboxBarView::fullScreenRequested);
    row->addWidget(fullScreen);

    auto* simple = button(QStringLiteral("simpleButton"), {}, QStringLiteral("Simple"),
        QStringLiteral("Just what arrived and the few things you do with it (%1)")
            .arg(keys(Qt::CTRL | Qt::ALT | Qt::Key_S)),
        bar);
    connect(simple, &QToolButton::clicked, this, [this] { m_state.setSimpleMode(true); });
    row->addWidget(simple);
    return bar;
}

void InboxBarView::refresh()
{
    m_stack->setCurrentWidget(m_state.simpleMode() ? m_simpleBar : m_fullBar);
    for (qsizetype i = 0; i < m_tabButtons.size(); ++i)
        m_tabButtons[i]->setChecked(kTabs[i] == m_state.tab());
    const bool large = m_state.viewMode() == ViewMode::large;
    m_large->setChecked(large);
    m_compact->setChecked(!large);
    {
        const QSignalBlocker blocker(m_photoScale);
        m_photoScale->setValue(qRound(m_state.photoScale() * kSliderSteps));
    }
    m_fit->setChecked(m_state.fitToWindow());
    m_sidebar->setChecked(m_state.groupBySender());
    if (m_search->text() != m_state.search()) {
        const QSignalBlocker blocker(m_search);
        m_search->setText(m_state.search());
    }
    const QString prompt = m_state.searchPrompt();
    m_search->setPlaceholderText(prompt);
    // The prompt is read whole ("Search everything", a sender's name), never cut to "…"; the
    // field's own margins and cursor take a few pixels more.
    constexpr int kFieldAllowance = 12;
    m_search->setMinimumWidth(std::clamp(
        m_search->fontMetrics().horizontalAdvance(prompt) + kFieldAllowance, 40, kLongestPrompt));
    m_clearSearch->setVisible(!m_state.search().isEmpty());
    showCounts();
    chooseVariant();
}

void InboxBarView::refreshCounts()
{
    // Trying the bar's forms shows and hides controls and lays the bar out each time; a count
    // that changes no control's size (most arrivals) leaves the chosen form as right as it was.
    if (showCounts())
        chooseVariant();
}

bool InboxBarView::showCounts()
{
    const auto footprint = [this] {
        QList<int> widths;
        for (const QToolButton* tab : std::as_const(m_tabButtons))
            widths.append(tab->sizeHint().width());
        widths.append(m_badge->isVisibleTo(this) ? m_badge->sizeHint().width() : -1);
        widths.append(m_speedReview->isVisibleTo(this) ? 1 : 0);
        return widths;
    };
    const QList<int> before = footprint();
    const ItemStore& store = m_state.store();
    for (qsizetype i = 0; i < m_tabButtons.size(); ++i) {
        const QString title
            = QStringLiteral("%1 (%2)").arg(tabTitle(kTabs[i])).arg(store.countIn(kTabs[i]));
        m_tabButtons[i]->setText(title);
        m_tabButtons[i]->setAccessibleName(title);
    }
    const int inbox = store.countIn(ItemStatus::inbox);
    m_badge->setText(QString::number(inbox));
    m_badge->setVisible(inbox > 0);
    m_speedReview->setVisible(m_speedReviewAvailable && m_state.tab() == ItemStatus::archived
        && store.countIn(ItemStatus::archived) > 0);
    return footprint() != before;
}

void InboxBarView::refreshServer()
{
    // A store that cannot be read refuses every arrival, however well the server runs.
    const std::optional<QString> problem = m_state.store().readProblem();
    const bool ready = m_server.isRunning() && !problem;
    const QString status = ready ? QStringLiteral("Ready to receive")
        : problem                ? QStringLiteral("Not receiving: ") + *problem
                                 : m_server.statusText();
    for (QLabel* dot : std::as_const(m_dots)) {
        dot->setPixmap(
            statusDot(ready ? successColor() : destructiveColor(), kDotSize, devicePixelRatioF()));
        // The status may quote a system error; as rich text it could not change the tooltip.
        dot->setToolTip(QStringLiteral("<qt>") + status.toHtmlEscaped());
        dot->setAccessibleName(status);
    }
}

void InboxBarView::applyVariant(int variant)
{
    m_variant = variant;
    m_fullLayout->setSpacing(variant == 3 ? 8 : 12);
    m_photoControls->setVisible(variant == 1 && m_state.viewMode() == ViewMode::large);
    for (QToolButton* titled : std::as_const(m_titledButtons))
        titled->setToolButtonStyle(
            variant == 3 ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
}

void InboxBarView::chooseVariant()
{
    if (m_choosingVariant)
        return;
    // Showing and hiding controls asks the parent for a new size, which may resize us again.
    m_choosingVariant = true;
    int variant = 1;
    for (; variant < 3; ++variant) {
        applyVariant(variant);
        m_fullLayout->invalidate();
        if (m_fullLayout->sizeHint().width() <= width())
            break;
    }
    applyVariant(variant);
    m_choosingVariant = false;
}

} // namespace vesker
