#include "settings/remote_screens_settings_view.h"

#include "platform/defaults.h"
#include "receive/server_controller.h"
#include "screens/hosted_screen.h"
#include "screens/remote_screens_manager.h"
#include "settings/screens_settings_checks.h"
#include "settings/settings_bindings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vesker {

namespace {

// The dot the Send sheet shows: green when the last check found the screen answering.
QIcon dot(bool reachable)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(reachable ? QColor(0x34, 0xc7, 0x59) : QColor(0x8e, 0x8e, 0x93));
    painter.drawEllipse(1, 1, 10, 10);
    return QIcon(pixmap);
}

QList<quint16> hostedPorts(const platform::Defaults& defaults)
{
    QList<quint16> ports;
    for (const QJsonValue& entry : defaults.value(QStringLiteral("hostedScreens")).toArray()) {
        if (const auto screen = HostedScreen::fromJson(entry.toObject()))
            ports.append(screen->port);
    }
    return ports;
}

} // namespace

RemoteScreensSettingsView::RemoteScreensSettingsView(
    RemoteScreensManager& remote, platform::Defaults& defaults, QWidget* parent)
    : QWidget(parent)
    , m_remote(remote)
    , m_defaults(defaults)
{
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral(
        "Screens this computer reaches by address, such as one across a VPN. Share one on this "
        "network and the phones here see it as “<name> via <this screen>”: what they send goes "
        "through this computer once you allow each phone."));
    intro->setWordWrap(true);
    intro->setTextFormat(Qt::PlainText);
    layout->addWidget(intro);

    m_list = new QTreeWidget;
    m_list->setObjectName(QStringLiteral("remoteList"));
    m_list->setAccessibleName(QStringLiteral("Remote screens"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Address"),
        QStringLiteral("Shared on this network")});
    // The last column, which says whether phones can reach the screen and why not, gets the room.
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(true);
    layout->addWidget(m_list, 1);

    auto* group = new QGroupBox(QStringLiteral("Add a screen, or change the selected one"));
    auto* form = new QFormLayout(group);
    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("remoteName"));
    m_name->setPlaceholderText(QStringLiteral("Office"));
    m_address = new QLineEdit;
    m_address->setObjectName(QStringLiteral("remoteAddress"));
    m_address->setPlaceholderText(QStringLiteral("10.8.0.12 or office.example.net:8787"));
    m_share = new QCheckBox(QStringLiteral("Share with the phones on this network"));
    m_share->setObjectName(QStringLiteral("remoteShare"));
    m_port = new QSpinBox;
    m_port->setObjectName(QStringLiteral("remotePort"));
    m_port->setRange(0, 65535);
    m_port->setSpecialValueText(QStringLiteral("Any free port"));
    m_port->setGroupSeparatorShown(false);
    m_problem = settings::problemLabel(QStringLiteral("remoteProblem"));
    auto* add = new QPushButton(QStringLiteral("Add"));
    add->setObjectName(QStringLiteral("addRemote"));
    m_save = new QPushButton(QStringLiteral("Save Changes"));
    m_save->setObjectName(QStringLiteral("saveRemote"));
    m_remove = new QPushButton(QStringLiteral("Remove"));
    m_remove->setObjectName(QStringLiteral("removeRemote"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(m_save);
    buttons->addStretch();
    buttons->addWidget(m_remove);
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("Address:"), m_address);
    form->addRow(QString(), m_share);
    form->addRow(QStringLiteral("Port for phones:"), m_port);
    form->addRow(QString(), m_problem);
    form->addRow(buttons);
    layout->addWidget(group);

    m_blockedGroup
        = new QGroupBox(QStringLiteral("Phones blocked from sending through this computer"));
    auto* blockedColumn = new QVBoxLayout(m_blockedGroup);
    m_blocked = new QTreeWidget;
    m_blocked->setObjectName(QStringLiteral("relayBlockedList"));
    m_blocked->setAccessibleName(QStringLiteral("Blocked phones"));
    m_blocked->setRootIsDecorated(false);
    m_blocked->setHeaderLabels({QStringLiteral("Phone")});
    m_blocked->setMaximumHeight(100);
    m_unblock = new QPushButton(QStringLiteral("Unblock"));
    m_unblock->setObjectName(QStringLiteral("unblockRelayed"));
    m_unblock->setEnabled(false);
    auto* unblockRow = new QHBoxLayout;
    unblockRow->addStretch();
    unblockRow->addWidget(m_unblock);
    blockedColumn->addWidget(m_blocked);
    blockedColumn->addLayout(unblockRow);
    layout->addWidget(m_blockedGroup);

    connect(m_blocked, &QTreeWidget::itemSelectionChanged, this,
        [this] { m_unblock->setEnabled(!m_blocked->selectedItems().isEmpty()); });
    connect(m_unblock, &QPushButton::clicked, this, &RemoteScreensSettingsView::unblockSelected);
    connect(&m_remote, &RemoteScreensManager::blockedChanged, this,
        &RemoteScreensSettingsView::listBlocked, Qt::QueuedConnection);
    connect(&m_remote, &RemoteScreensManager::relaysChanged, this, &RemoteScreensSettingsView::list,
        Qt::QueuedConnection);
    listBlocked();

    connect(m_share, &QCheckBox::toggled, m_port, &QWidget::setEnabled);
    connect(add, &QPushButton::clicked, this, &RemoteScreensSettingsView::add);
    connect(m_save, &QPushButton::clicked, this, &RemoteScreensSettingsView::saveSelected);
    connect(m_remove, &QPushButton::clicked, this, &RemoteScreensSettingsView::removeSelected);
    connect(
        m_list, &QTreeWidget::itemSelectionChanged, this, &RemoteScreensSettingsView::showSelected);
    connect(&m_remote, &RemoteScreensManager::screensChanged, this,
        &RemoteScreensSettingsView::list, Qt::QueuedConnection);
    connect(&m_remote, &RemoteScreensManager::reachableChanged, this,
        &RemoteScreensSettingsView::list, Qt::QueuedConnection);
    list();
}

int RemoteScreensSettingsView::selectedRow() const
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    const int row = selected.isEmpty() ? -1 : m_list->indexOfTopLevelItem(selected.first());
    return row < m_remote.screens().size() ? row : -1;
}

void RemoteScreensSettingsView::list()
{
    const int keep = selectedRow();
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    for (const RemoteScreen& screen : m_remote.screens()) {
        const HTTPServer* relay = m_remote.relayServer(screen.id);
        const QString problem = m_remote.relayProblem(screen.id);
        // Said as it is: a port that is stored but not listened on reaches no phone.
        const QString shared = !screen.shareOnLAN ? QStringLiteral("No")
            : problem.isEmpty() && relay && relay->isListening()
            ? QStringLiteral("On port %1").arg(relay->serverPort())
            : notListeningText(problem, screen.relayPort, ServerController::port(m_defaults));
        auto* item = new QTreeWidgetItem(m_list, {screen.name, screen.url, shared});
        item->setToolTip(2, shared.toHtmlEscaped());
        const bool reachable = m_remote.reachable().contains(screen.id);
        item->setIcon(0, dot(reachable));
        item->setToolTip(
            0, reachable ? QStringLiteral("Answering") : QStringLiteral("Not answering"));
    }
    if (keep >= 0 && keep < m_list->topLevelItemCount())
        m_list->topLevelItem(keep)->setSelected(true);
    showSelected();
}

void RemoteScreensSettingsView::showSelected()
{
    const int row = selectedRow();
    m_save->setEnabled(row >= 0);
    m_remove->setEnabled(row >= 0);
    m_port->setEnabled(m_share->isChecked());
    if (row < 0)
        return;
    const RemoteScreen& screen = m_remote.screens().at(row);
    m_name->setText(screen.name);
    m_address->setText(screen.url);
    m_share->setChecked(screen.shareOnLAN);
    m_port->setValue(screen.relayPort);
}

void RemoteScreensSettingsView::write(const QList<RemoteScreen>& screens)
{
    QJsonArray array;
    for (const RemoteScreen& screen : screens)
        array.append(screen.toJson());
    m_defaults.set(QString::fromLatin1(RemoteScreensManager::kScreensKey), array);
}

bool RemoteScreensSettingsView::accept(const RemoteScreen& candidate)
{
    // The screen's own relay already holds its port; any other listener does not.
    const HTTPServer* own = m_remote.relayServer(candidate.id);
    const auto portFree = [own](quint16 port) {
        if (own && own->isListening() && own->serverPort() == port)
            return true;
        QTcpServer probe;
        return probe.listen(QHostAddress::Any, port);
    };
    const auto problem = remoteScreenProblem(candidate, m_remote.screens(),
        ServerController::port(m_defaults), hostedPorts(m_defaults), portFree);
    m_problem->setText(problem.value_or(QString()));
    m_problem->setVisible(problem.has_value());
    return !problem;
}

void RemoteScreensSettingsView::add()
{
    RemoteScreen screen;
    screen.name = m_name->text().trimmed();
    screen.url = m_address->text().trimmed();
    screen.shareOnLAN = m_share->isChecked();
    screen.relayPort = m_share->isChecked() ? m_port->value() : 0;
    if (!accept(screen))
        return;
    QList<RemoteScreen> screens = m_remote.screens();
    screens.append(screen);
    write(screens);
    m_list->clearSelection();
    m_name->clear();
    m_address->clear();
    m_share->setChecked(false);
    m_port->setValue(0);
}

void RemoteScreensSettingsView::saveSelected()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    QList<RemoteScreen> screens = m_remote.screens();
    RemoteScreen& screen = screens[row];
    screen.name = m_name->text().trimmed();
    screen.url = m_address->text().trimmed();
    screen.shareOnLAN = m_share->isChecked();
    screen.relayPort = m_share->isChecked() ? m_port->value() : 0;
    if (!accept(screen))
        return;
    write(screens);
}

void RemoteScreensSettingsView::removeSelected()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    QList<RemoteScreen> screens = m_remote.screens();
    screens.removeAt(row);
    write(screens);
}

void RemoteScreensSettingsView::listBlocked()
{
    const QSignalBlocker quiet(m_blocked);
    m_blocked->clear();
    for (const DeviceGrant& device : m_remote.blocked()) {
        auto* item = new QTreeWidgetItem(
            m_blocked, {device.name.isEmpty() ? device.deviceID : device.name});
        item->setData(0, Qt::UserRole, device.deviceID);
        item->setToolTip(0, device.deviceID.toHtmlEscaped());
    }
    m_blockedGroup->setVisible(m_blocked->topLevelItemCount() > 0);
    m_unblock->setEnabled(false);
}

void RemoteScreensSettingsView::unblockSelected()
{
    const QList<QTreeWidgetItem*> selected = m_blocked->selectedItems();
    if (selected.isEmpty())
        return;
    m_remote.unblock(selected.first()->data(0, Qt::UserRole).toString());
}

} // namespace vesker
