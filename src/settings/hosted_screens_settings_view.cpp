#include "settings/hosted_screens_settings_view.h"

#include "http/http_server.h"
#include "platform/defaults.h"
#include "receive/server_controller.h"
#include "screens/hosted_screens_manager.h"
#include "screens/remote_screens_manager.h"
#include "settings/screens_settings_checks.h"
#include "settings/settings_bindings.h"
#include "ui/text_style.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTcpServer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vesker {

namespace {

constexpr auto kKey = "hostedScreens";
constexpr quint16 kFirstPort = 8790;
enum Column { kOnColumn, kNameColumn, kPageColumn, kPortColumn, kPinColumn };

bool portFree(quint16 port)
{
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, port);
}

// The switches in the list are its rows' check boxes. Fusion outlines one in the window colour
// darkened, which on a dark list is the list's own colour: the box of a switch that is off
// vanishes. Outlined in the secondary text colour instead, it shows on any palette.
class VisibleChecksDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->palette.setColor(QPalette::Window, secondaryColor(option->palette).lighter(140));
    }
};

QString pageText(const HostedScreen& screen)
{
    if (!screen.allowBrowserScreen)
        return QStringLiteral("Off");
    return screen.enabled ? QStringLiteral("Opens at /s/") + screen.slug
                          : QStringLiteral("Opens once the screen is on");
}

} // namespace

HostedScreensSettingsView::HostedScreensSettingsView(HostedScreensManager& hosted,
    const RemoteScreensManager& remote, platform::Defaults& defaults, QWidget* parent)
    : QWidget(parent)
    , m_hosted(hosted)
    , m_remote(remote)
    , m_defaults(defaults)
{
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral(
        "A hosted screen gives someone who cannot run the app a screen of their own on this "
        "computer: its own name on the network, its own port, page and PIN, and an Inbox kept "
        "apart under Pictures ▸ Vesker ▸ Hosted."));
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_list = new QTreeWidget;
    m_list->setObjectName(QStringLiteral("hostedList"));
    m_list->setAccessibleName(QStringLiteral("Hosted screens"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({QStringLiteral("On"), QStringLiteral("Name"),
        QStringLiteral("Browser page"), QStringLiteral("Port"), QStringLiteral("PIN to send")});
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
    m_list->setAllColumnsShowFocus(true);
    m_list->setItemDelegate(new VisibleChecksDelegate(m_list));
    layout->addWidget(m_list, 1);
    m_notListening = settings::problemLabel(QStringLiteral("hostedNotListening"));
    layout->addWidget(m_notListening);
    auto* pageHint = new QLabel(QStringLiteral(
        "Tick “Browser page” to let web browsers on this network show that screen’s Inbox; a "
        "screen with a PIN asks for it there. What viewers may do follows Access ▸ Browser "
        "screens."));
    pageHint->setObjectName(QStringLiteral("hostedPageHint"));
    pageHint->setWordWrap(true);
    setSecondary(*pageHint);
    m_remove = new QPushButton(QStringLiteral("Remove"));
    m_remove->setObjectName(QStringLiteral("removeHosted"));
    m_remove->setEnabled(false);
    auto* row = new QHBoxLayout;
    row->addWidget(pageHint, 1);
    row->addWidget(m_remove, 0, Qt::AlignTop);
    layout->addLayout(row);

    m_form = new QGroupBox;
    m_form->setObjectName(QStringLiteral("hostedForm"));
    m_fields = new QFormLayout(m_form);
    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("hostedName"));
    m_name->setPlaceholderText(QStringLiteral("Team Room"));
    m_slug = new QLineEdit;
    m_slug->setObjectName(QStringLiteral("hostedSlug"));
    m_slug->setPlaceholderText(QStringLiteral("team-room"));
    m_slugNote = new QLabel(QStringLiteral("It stays as it is: the screen’s items are kept in a "
                                           "folder of that name."));
    m_slugNote->setObjectName(QStringLiteral("hostedSlugNote"));
    m_slugNote->setWordWrap(true);
    setSecondary(*m_slugNote);
    m_port = new QSpinBox;
    m_port->setObjectName(QStringLiteral("hostedPort"));
    m_port->setRange(1024, 65535);
    m_port->setGroupSeparatorShown(false);
    m_pin = new QLineEdit;
    m_pin->setObjectName(QStringLiteral("hostedPin"));
    m_pin->setPlaceholderText(QStringLiteral("No PIN"));
    m_requirePin = new QCheckBox(QStringLiteral("Require the PIN to send"));
    m_requirePin->setObjectName(QStringLiteral("hostedRequirePin"));
    m_enabled = new QCheckBox(QStringLiteral("Start serving it now"));
    m_enabled->setObjectName(QStringLiteral("hostedEnabled"));
    m_enabled->setChecked(true);
    m_problem = settings::problemLabel(QStringLiteral("hostedProblem"));
    m_add = new QPushButton(QStringLiteral("Add"));
    m_add->setObjectName(QStringLiteral("addHosted"));
    m_save = new QPushButton(QStringLiteral("Save Changes"));
    m_save->setObjectName(QStringLiteral("saveHosted"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_cancel->setObjectName(QStringLiteral("cancelHosted"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    m_fields->addRow(QStringLiteral("Name:"), m_name);
    m_fields->addRow(QStringLiteral("Short name (in its address):"), m_slug);
    m_fields->addRow(QString(), m_slugNote);
    m_fields->addRow(QStringLiteral("Port:"), m_port);
    m_fields->addRow(QStringLiteral("PIN:"), m_pin);
    m_fields->addRow(QString(), m_requirePin);
    m_fields->addRow(QString(), m_enabled);
    m_fields->addRow(QString(), m_problem);
    m_fields->addRow(buttons);
    layout->addWidget(m_form);

    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& name) {
        if (!m_slugTyped && selectedRow() < 0)
            m_slug->setText(slugFor(name));
    });
    connect(m_slug, &QLineEdit::textEdited, this, [this] { m_slugTyped = true; });
    connect(m_add, &QPushButton::clicked, this, &HostedScreensSettingsView::add);
    connect(m_save, &QPushButton::clicked, this, &HostedScreensSettingsView::saveSelected);
    connect(m_cancel, &QPushButton::clicked, m_list, &QTreeWidget::clearSelection);
    connect(m_remove, &QPushButton::clicked, this, &HostedScreensSettingsView::removeSelected);
    connect(
        m_list, &QTreeWidget::itemSelectionChanged, this, &HostedScreensSettingsView::showSelected);
    connect(m_list, &QTreeWidget::itemChanged, this, &HostedScreensSettingsView::listChanged);
    // Queued: a change made from the list's own signal must not rebuild it under that signal.
    connect(&m_hosted, &HostedScreensManager::screensChanged, this,
        &HostedScreensSettingsView::list, Qt::QueuedConnection);
    connect(&m_hosted, &HostedScreensManager::listenersChanged, this,
        &HostedScreensSettingsView::list, Qt::QueuedConnection);
    list();
    clearForm();
}

quint16 HostedScreensSettingsView::nextPort() const
{
    quint16 port = kFirstPort;
    for (const HostedScreen& screen : m_hosted.screens())
        port = std::max<quint16>(port, screen.port + 1);
    return port;
}

int HostedScreensSettingsView::selectedRow() const
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    const int row = selected.isEmpty() ? -1 : m_list->indexOfTopLevelItem(selected.first());
    return row < m_hosted.screens().size() ? row : -1;
}

void HostedScreensSettingsView::list()
{
    const int keep = selectedRow();
    const QUuid kept = keep >= 0 ? m_hosted.screens().at(keep).id : QUuid();
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    const quint16 mainPort = ServerController::port(m_defaults);
    QStringList notListening;
    for (const HostedScreen& screen : m_hosted.screens()) {
        const HTTPServer* server = m_hosted.server(screen.id);
        const QString problem = m_hosted.problem(screen.id);
        QString port = QString::number(screen.port);
        QString why;
        // Said as it is: a screen that is on but holds no port reaches no phone. The reason goes
        // below the list, where it has the room.
        if (screen.enabled && (!problem.isEmpty() || !server || !server->isListening())) {
            port += QStringLiteral(" — ") + notListeningText({}, screen.port, mainPort);
            why = notListeningText(problem, screen.port, mainPort);
            notListening.append(screen.name + QStringLiteral(" — ") + why);
        }
        auto* item = new QTreeWidgetItem(m_list,
            {QString(), screen.name, pageText(screen), port,
                screen.requirePinToSend ? QStringLiteral("Yes") : QStringLiteral("No")});
        if (!why.isEmpty())
            item->setToolTip(kPortColumn, why.toHtmlEscaped());
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(kOnColumn, screen.enabled ? Qt::Checked : Qt::Unchecked);
        item->setToolTip(kOnColumn, QStringLiteral("Serve this screen on the network"));
        item->setCheckState(kPageColumn, screen.allowBrowserScreen ? Qt::Checked : Qt::Unchecked);
        item->setToolTip(kPageColumn,
            QStringLiteral("Let web browsers on this network show this screen’s Inbox, at /s/%1 "
                           "on port %2 or at /screen on port %3%4.")
                .arg(screen.slug)
                .arg(mainPort)
                .arg(screen.port)
                .arg(screen.pin.isEmpty() ? QString()
                                          : QStringLiteral(", after its PIN has been given")));
        if (screen.id == kept)
            m_list->setCurrentItem(item);
        // The port offered for the next screen moves on once one takes it.
        if (m_changing.isNull() && screen.port == m_port->value())
            m_port->setValue(nextPort());
    }
    m_notListening->setText(notListening.join(u'\n'));
    m_notListening->setVisible(!notListening.isEmpty());
    showSelected();
}

void HostedScreensSettingsView::showSelected()
{
    const int row = selectedRow();
    const bool changing = row >= 0;
    m_remove->setEnabled(changing);
    m_add->setVisible(!changing);
    m_save->setVisible(changing);
    m_cancel->setVisible(changing);
    m_fields->setRowVisible(m_enabled, !changing);
    // The short name names the screen's folder as well as its address: the items stay only
    // where it stays.
    m_slug->setEnabled(!changing);
    m_fields->setRowVisible(m_slugNote, changing);
    if (!changing) {
        if (!m_changing.isNull())
            clearForm();
        return;
    }
    const HostedScreen& screen = m_hosted.screens().at(row);
    m_form->setTitle(QStringLiteral("Change “%1”").arg(screen.name));
    if (screen.id == m_changing)
        return;
    m_changing = screen.id;
    m_problem->hide();
    m_name->setText(screen.name);
    m_slug->setText(screen.slug);
    m_port->setValue(screen.port);
    m_pin->setText(screen.pin);
    m_requirePin->setChecked(screen.requirePinToSend);
}

void HostedScreensSettingsView::clearForm()
{
    m_changing = QUuid();
    m_form->setTitle(QStringLiteral("Add a hosted screen"));
    m_problem->hide();
    m_name->clear();
    m_slug->clear();
    m_pin->clear();
    m_requirePin->setChecked(false);
    m_enabled->setChecked(true);
    m_port->setValue(nextPort());
    m_slugTyped = false;
}

HostedScreen HostedScreensSettingsView::fromForm(HostedScreen screen) const
{
    screen.name = m_name->text().trimmed();
    screen.port = quint16(m_port->value());
    screen.pin = m_pin->text().trimmed();
    screen.requirePinToSend = m_requirePin->isChecked();
    return screen;
}

bool HostedScreensSettingsView::store(const HostedScreen& screen)
{
    const auto problem = hostedScreenProblem(screen, m_hosted.screens(),
        ServerController::port(m_defaults), m_remote.screens(), &portFree);
    m_problem->setText(problem.value_or(QString()));
    m_problem->setVisible(problem.has_value());
    if (problem)
        return false;
    QList<HostedScreen> screens = m_hosted.screens();
    const auto same = std::find_if(screens.begin(), screens.end(),
        [&screen](const HostedScreen& other) { return other.id == screen.id; });
    if (same != screens.end())
        *same = screen;
    else
        screens.append(screen);
    write(screens);
    return true;
}

void HostedScreensSettingsView::add()
{
    HostedScreen screen;
    screen.id = QUuid::createUuid();
    screen.slug = m_slug->text().trimmed();
    screen.enabled = m_enabled->isChecked();
    if (store(fromForm(screen)))
        clearForm();
}

void HostedScreensSettingsView::saveSelected()
{
    const int row = selectedRow();
    if (row >= 0)
        store(fromForm(m_hosted.screens().at(row)));
}

void HostedScreensSettingsView::removeSelected()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    QList<HostedScreen> screens = m_hosted.screens();
    screens.removeAt(row);
    write(screens);
}

void HostedScreensSettingsView::listChanged(QTreeWidgetItem* item, int column)
{
    const int row = m_list->indexOfTopLevelItem(item);
    if (row < 0 || row >= m_hosted.screens().size()
        || (column != kOnColumn && column != kPageColumn))
        return;
    QList<HostedScreen> screens = m_hosted.screens();
    const bool checked = item->checkState(column) == Qt::Checked;
    (column == kOnColumn ? screens[row].enabled : screens[row].allowBrowserScreen) = checked;
    write(screens);
}

void HostedScreensSettingsView::write(const QList<HostedScreen>& screens)
{
    QJsonArray array;
    for (const HostedScreen& screen : screens)
        array.append(screen.toJson());
    m_defaults.set(QLatin1String(kKey), array);
}

} // namespace vesker
