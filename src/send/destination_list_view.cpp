#include "send/destination_list_view.h"

#include "screens/remote_screens_manager.h"
#include "send/relay_book.h"
#include "send/remote_screen_availability.h"
#include "send/screen_browser.h"
#include "send/screen_directory.h"
#include "send/send_session.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>

#include <utility>

namespace vesker {

namespace {

QLabel* detailLabel(const QString& text, QWidget* parent)
{
    QLabel* label = plainLabel(text, parent);
    setTextStyle(*label, TextStyle::caption);
    setSecondary(*label);
    return label;
}

QLabel* dot(const QColor& colour, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(statusDot(colour, 7, label->devicePixelRatioF()));
    return label;
}

// The whole row is the toggle: the checkbox carries no text of its own, so a click on the
// name, the symbol or a detail beside it ticks the row as a click on the box does. A disabled
// box leaves the row as it is.
class ToggleRow : public QWidget {
public:
    using QWidget::QWidget;
    QCheckBox* box = nullptr;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        m_pressed = event->button() == Qt::LeftButton && box->isEnabled();
        if (!m_pressed)
            return QWidget::mousePressEvent(event);
        event->accept();
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (!std::exchange(m_pressed, false) || event->button() != Qt::LeftButton)
            return QWidget::mouseReleaseEvent(event);
        event->accept();
        // Let go outside the row, the click is taken back, as on the box itself.
        if (rect().contains(event->position().toPoint()) && box->isEnabled()) {
            box->setFocus(Qt::MouseFocusReason);
            box->click();
        }
    }

private:
    bool m_pressed = false;
};

// A toggle row; outside names stay plain labels, without the box as their buddy, which would
// take "&" in a name for a shortcut key. The symbol says what kind of screen it is.
QCheckBox* toggleRow(QVBoxLayout& layout, const QString& symbol, const QString& name,
    QWidget* parent, const QList<QWidget*>& details)
{
    auto* row = new ToggleRow(parent);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto* box = new QCheckBox(row);
    row->box = box;
    box->setAccessibleName(name);
    line->addWidget(box);
    auto* icon = new QLabel(row);
    icon->setObjectName(QStringLiteral("rowSymbol"));
    icon->setProperty("symbol", symbol);
    const int side = icon->fontMetrics().height();
    icon->setPixmap(symbolIcon(symbol, row->palette()).pixmap(side, side));
    line->addWidget(icon);
    QLabel* title = plainLabel(name, row);
    title->setObjectName(QStringLiteral("rowTitle"));
    line->addWidget(title);
    for (QWidget* detail : details) {
        detail->setParent(row);
        line->addWidget(detail);
    }
    line->addStretch();
    layout.addWidget(row);
    return box;
}

} // namespace

DestinationList::DestinationList(Sources sources, QWidget* parent)
    : QWidget(parent)
    , m_sources(std::move(sources))
{
    setObjectName(QStringLiteral("destinationList"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    SendSession& session = m_sources.session;
    connect(&session, &SendSession::macsChanged, this, &DestinationList::scheduleRebuild);
    connect(&session, &SendSession::selectedChanged, this, &DestinationList::scheduleRebuild);
    connect(&session, &SendSession::sendingChanged, this, &DestinationList::scheduleRebuild);
    if (m_sources.browser) {
        connect(m_sources.browser, &ScreenBrowser::statusTextChanged, this,
            &DestinationList::scheduleRebuild);
    }
    if (m_sources.directory) {
        connect(m_sources.directory, &ScreenDirectory::groupsChanged, this,
            &DestinationList::scheduleRebuild);
        connect(m_sources.directory, &ScreenDirectory::knownScreensChanged, this,
            &DestinationList::scheduleRebuild);
        connect(m_sources.directory, &ScreenDirectory::nicknamesChanged, this,
            &DestinationList::scheduleRebuild);
    }
    if (m_sources.relayBook) {
        connect(m_sources.relayBook, &RelayBook::screensChanged, this,
            &DestinationList::scheduleRebuild);
    }
    if (m_sources.remote) {
        connect(m_sources.remote, &RemoteScreensManager::screensChanged, this,
            &DestinationList::scheduleRebuild);
        connect(m_sources.remote, &RemoteScreensManager::reachableChanged, this,
            &DestinationList::scheduleRebuild);
    }
    rebuild();
}

void DestinationList::scheduleRebuild()
{
    m_rebuild.request();
}

void DestinationList::rebuild()
{
    if (m_rows) {
        m_rows->hide();
        m_rows->deleteLater();
    }
    m_rows = new QWidget(this);
    auto* layout = new QVBoxLayout(m_rows);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    addGroups(*layout);
    addNearbyScreens(*layout);
    addRelayScreens(*layout);
    addRemoteScreens(*layout);
    static_cast<QVBoxLayout*>(this->layout())->addWidget(m_rows);
}

void DestinationList::addHeader(QVBoxLayout& layout, const QString& text, bool spaced)
{
    if (spaced)
        layout.addSpacing(6);
    auto* header = plainLabel(text, m_rows);
    setTextStyle(*header, TextStyle::headline);
    layout.addWidget(header);
}

void DestinationList::addGroups(QVBoxLayout& layout)
{
    if (!m_sources.directory || m_sources.directory->groups().isEmpty())
        return;
    addHeader(layout, tr("Groups"), false);
    SendSession& session = m_sources.session;
    for (const ScreenGroup& group : m_sources.directory->groups()) {
        const QStringList reachable = session.reachableMembers(group);
        QCheckBox* box = toggleRow(layout, QStringLiteral("person.3"), group.name, m_rows,
            {detailLabel(tr("%1 of %2 reachable").arg(reachable.size()).arg(group.members.size()),
                nullptr)});
        box->setObjectName(QStringLiteral("groupToggle"));
        box->setChecked(session.isGroupChosen(group));
        box->setEnabled(!reachable.isEmpty());
        connect(box, &QCheckBox::toggled, this,
            [&session, group](bool on) { session.setGroupChosen(group, on); });
    }
}

void DestinationList::addNearbyScreens(QVBoxLayout& layout)
{
    addHeader(layout, tr("Screens on this network"), false);
    SendSession& session = m_sources.session;
    if (session.macs().isEmpty()) {
        auto* row = new QWidget(m_rows);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        if (!m_sources.browser || m_sources.browser->looking()) {
            auto* spinner = new QProgressBar(row);
            spinner->setRange(0, 0);
            spinner->setTextVisible(false);
            spinner->setFixedSize(48, 8);
            line->addWidget(spinner);
        }
        const QString status
            = m_sources.browser ? m_sources.browser->statusText() : ScreenBrowser::lookingText();
        QLabel* text = plainLabel(status, row);
        text->setObjectName(QStringLiteral("discoveryStatus"));
        text->setWordWrap(true);
        setSecondary(*text);
        line->addWidget(text, 1);
        layout.addWidget(row);
        return;
    }
    for (const DiscoveredScreen& mac : session.macs()) {
        const QString shown
            = m_sources.directory ? m_sources.directory->displayName(mac.name, mac.name) : mac.name;
        QList<QWidget*> details;
        if (shown != mac.name)
            details.append(detailLabel(mac.name, nullptr));
        QCheckBox* box = toggleRow(layout, QStringLiteral("display"), shown, m_rows, details);
        box->setObjectName(QStringLiteral("macToggle"));
        box->setChecked(session.selected().contains(mac.name));
        connect(box, &QCheckBox::toggled, this,
            [&session, name = mac.name](bool on) { session.setChosen(name, on); });
    }
}

void DestinationList::addRelayScreens(QVBoxLayout& layout)
{
    if (!m_sources.relayBook || m_sources.relayBook->screens().isEmpty())
        return;
    addHeader(layout, tr("Screens over the internet"), true);
    SendSession& session = m_sources.session;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const RelayScreen& screen : m_sources.relayBook->screens()) {
        const std::optional<QString> approval = SendSession::approvalStatusText(screen, now);
        QLabel* light = dot(screen.online ? successColor() : QColor(Qt::gray), nullptr);
        light->setToolTip(
            screen.online ? tr("Open now") : tr("Not open — this will be waiting when it is"));
        QList<QWidget*> details {light};
        if (approval)
            details.append(detailLabel(*approval, nullptr));
        else if (!screen.online)
            details.append(detailLabel(tr("not open — it'll be waiting"), nullptr));
        QCheckBox* box = toggleRow(layout, QStringLiteral("globe"), screen.name, m_rows, details);
        const QString id = SendSession::relaySelectionID(screen.id);
        box->setChecked(session.selected().contains(id));
        box->setEnabled(!approval);
        connect(
            box, &QCheckBox::toggled, this, [&session, id](bool on) { session.setChosen(id, on); });
    }
}

void DestinationList::addRemoteScreens(QVBoxLayout& layout)
{
    if (!m_sources.remote || m_sources.remote->screens().isEmpty())
        return;
    const RemoteScreensManager& remote = *m_sources.remote;
    addHeader(layout, tr("Remote screens"), true);
    SendSession& session = m_sources.session;
    const RemoteScreenAvailability availability(remote.reachable(), remote.unreachable());
    for (const RemoteScreen& screen : remote.screens()) {
        QLabel* url = detailLabel(screen.url, nullptr);
        QFont mono = url->font();
        mono.setFamily(QStringLiteral("monospace"));
        mono.setStyleHint(QFont::Monospace);
        url->setFont(mono);
        const bool answers = availability.canTick(screen.id);
        // A nickname is kept by the screen's id: its own name may change, or be another's too.
        const QString key = ScreenDirectory::remoteKey(screen.id);
        const QString nickname
            = m_sources.directory ? m_sources.directory->displayName(key, key) : key;
        const bool nicknamed = nickname != key;
        QList<QWidget*> details {dot(answers ? successColor() : destructiveColor(), nullptr)};
        if (nicknamed)
            details.append(detailLabel(screen.name, nullptr));
        details.append(url);
        QCheckBox* box = toggleRow(
            layout, QStringLiteral("network"), nicknamed ? nickname : screen.name, m_rows, details);
        box->setObjectName(QStringLiteral("remoteToggle"));
        // A screen ticked before it stopped answering stays ticked, but cannot be changed. Its
        // name greys (the red light stays red), and the row says why when pointed at.
        QWidget* row = box->parentWidget();
        for (const char* part : {"rowSymbol", "rowTitle"})
            row->findChild<QWidget*>(QLatin1String(part))->setEnabled(answers);
        box->setEnabled(answers);
        row->setToolTip(availability.reason(screen.id));
        const QString id = SendSession::remoteSelectionID(screen.id);
        box->setChecked(session.selected().contains(id));
        connect(
            box, &QCheckBox::toggled, this, [&session, id](bool on) { session.setChosen(id, on); });
    }
}

} // namespace vesker
