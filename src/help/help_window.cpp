#include "help/help_window.h"

#include "help/help_page_view.h"
#include "platform/defaults.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"
#include "ui/window_habits.h"

#include <QGuiApplication>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace vesker {

namespace {

constexpr int kSidebarMinWidth = 235;
constexpr int kSidebarWidth = 250;
constexpr int kSidebarMaxWidth = 320;
// Moving or resizing sends a stream of events; the frame is written once they settle.
constexpr int kFrameSaveDelayMs = 400;

QWidget* nothingFound(QWidget* parent)
{
    // Framed and filled like the list it stands in for, so the sidebar does not jump.
    auto* box = new QFrame(parent);
    box->setObjectName(QStringLiteral("helpNothingFound"));
    box->setFrameShape(QFrame::StyledPanel);
    box->setBackgroundRole(QPalette::Base);
    box->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(box);
    layout->addStretch(1);
    auto* title = new QLabel(QStringLiteral("Nothing found"), box);
    title->setAlignment(Qt::AlignCenter);
    setTextStyle(*title, TextStyle::headline);
    layout->addWidget(title);
    auto* hint = new QLabel(QStringLiteral("Try a different word."), box);
    hint->setAlignment(Qt::AlignCenter);
    setSecondary(*hint);
    layout->addWidget(hint);
    layout->addStretch(1);
    return box;
}

} // namespace

HelpWindow::HelpWindow(HelpSelection& selection, platform::Defaults& defaults, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_selection(selection)
    , m_defaults(defaults)
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Vesker Help"));
    closeOnStandardKeys(*this);
    setMinimumSize(kMinimumSize);
    resize(kDefaultSize);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setChildrenCollapsible(false);
    layout->addWidget(split);

    auto* sidebar = new QWidget(split);
    sidebar->setMinimumWidth(kSidebarMinWidth);
    sidebar->setMaximumWidth(kSidebarMaxWidth);
    auto* side = new QVBoxLayout(sidebar);
    side->setContentsMargins(8, 8, 0, 8);
    m_search = new QLineEdit(sidebar);
    m_search->setObjectName(QStringLiteral("helpSearch"));
    m_search->setPlaceholderText(QStringLiteral("Search help"));
    m_search->setAccessibleName(QStringLiteral("Search help"));
    m_search->setClearButtonEnabled(true);
    side->addWidget(m_search);
    m_listArea = new QStackedWidget(sidebar);
    m_list = new QListWidget(m_listArea);
    m_list->setObjectName(QStringLiteral("helpTopicList"));
    m_list->setAccessibleName(QStringLiteral("Topics"));
    m_list->setIconSize(QSize(18, 18));
    m_list->setSpacing(2);
    m_listArea->addWidget(m_list);
    m_nothingFound = nothingFound(m_listArea);
    m_listArea->addWidget(m_nothingFound);
    side->addWidget(m_listArea, 1);

    m_detail = new QStackedWidget(split);
    m_pageScroll = new QScrollArea(m_detail);
    m_pageScroll->setObjectName(QStringLiteral("helpPageScroll"));
    m_pageScroll->setWidgetResizable(true);
    m_pageScroll->setFrameShape(QFrame::NoFrame);
    m_detail->addWidget(m_pageScroll);
    m_pickTopic = new QLabel(QStringLiteral("Pick a topic"), m_detail);
    m_pickTopic->setObjectName(QStringLiteral("helpPickTopic"));
    m_pickTopic->setAlignment(Qt::AlignCenter);
    setSecondary(*m_pickTopic);
    m_detail->addWidget(m_pickTopic);

    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({kSidebarWidth, kDefaultSize.width() - kSidebarWidth});

    m_frameTimer = new QTimer(this);
    m_frameTimer->setSingleShot(true);
    m_frameTimer->setInterval(kFrameSaveDelayMs);
    connect(m_frameTimer, &QTimer::timeout, this, &HelpWindow::saveFrame);

    connect(m_search, &QLineEdit::textChanged, this, &HelpWindow::relist);
    connect(m_list, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* current) {
        if (!m_relisting && current)
            m_selection.setTopic(current->data(Qt::UserRole).toString());
    });
    connect(&m_selection, &HelpSelection::topicChanged, this, [this] {
        followSelection();
        showPage();
    });
    relist();
    m_search->setFocus();
}

void HelpWindow::relist()
{
    m_listed = filterHelpTopics(HelpTopic::all(), m_search->text());
    m_relisting = true;
    m_list->clear();
    for (const HelpTopic& topic : m_listed) {
        auto* row = new QListWidgetItem(symbolIcon(topic.symbol, palette()), topic.title, m_list);
        row->setData(Qt::UserRole, topic.id);
    }
    m_relisting = false;
    m_listArea->setCurrentWidget(m_listed.isEmpty() ? m_nothingFound : m_list);
    followSelection();
    showPage();
}

void HelpWindow::followSelection()
{
    m_relisting = true;
    const auto topic = m_selection.topic();
    QListWidgetItem* match = nullptr;
    for (int row = 0; topic && row < m_list->count(); ++row) {
        if (m_list->item(row)->data(Qt::UserRole).toString() == *topic)
            match = m_list->item(row);
    }
    // A topic outside the list selects no row, rather than one the user did not pick.
    m_list->setCurrentItem(match);
    if (!match)
        m_list->clearSelection();
    m_relisting = false;
}

void HelpWindow::showPage()
{
    const std::optional<HelpTopic> topic = selectedHelpTopic(m_selection.topic(), m_listed);
    if (!topic) {
        m_shownId.reset();
        m_detail->setCurrentWidget(m_pickTopic);
        return;
    }
    m_detail->setCurrentWidget(m_pageScroll);
    // The row of the page shown is the one marked, whether picked or first in the results.
    m_relisting = true;
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->data(Qt::UserRole).toString() == topic->id)
            m_list->setCurrentItem(m_list->item(row));
    }
    m_relisting = false;
    // The same page stays, with its scroll position, while the search changes around it.
    if (m_shownId == topic->id)
        return;
    m_shownId = topic->id;
    m_pageScroll->setWidget(new HelpPageView(*topic));
    m_pageScroll->verticalScrollBar()->setValue(0);
}

bool HelpWindow::restoreSavedFrame()
{
    const QByteArray frame = m_defaults.bytes(QLatin1String(kFrameKey));
    return !frame.isEmpty() && restoreGeometry(frame);
}

void HelpWindow::saveFrame()
{
    m_frameTimer->stop();
    m_defaults.setBytes(QLatin1String(kFrameKey), saveGeometry());
}

void HelpWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (isVisible())
        m_frameTimer->start();
}

void HelpWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (isVisible())
        m_frameTimer->start();
}

void HelpWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        saveFrame();
}

HelpWindowController::HelpWindowController(HelpSelection& selection, platform::Defaults& defaults)
    : m_selection(selection)
    , m_defaults(defaults)
{ }

HelpWindowController::~HelpWindowController()
{
    delete m_window;
}

void HelpWindowController::show(const std::optional<QString>& topic)
{
    if (topic)
        m_selection.setTopic(topic);
    if (!m_window) {
        m_window = new HelpWindow(m_selection, m_defaults);
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            m_window->move(screen->availableGeometry().center() - m_window->rect().center());
        m_window->restoreSavedFrame();
    }
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace vesker
