#include "settings/remote_screens_settings_view.h"

#include "platform/defaults.h"
#include "screens/remote_screens_manager.h"

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
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(1, QHeaderView::Stretch);
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
    m_problem = new QLabel;
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setStyleSheet(QStringLiteral("color: #d70015"));
    m_problem->hide();
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
        const QString shared = !screen.shareOnLAN ? QStringLiteral("No")
            : screen.relayPort > 0 ? QStringLiteral("On port %1").arg(screen.relayPort)
                                   : QStringLiteral("Yes");
        auto* item = new QTreeWidgetItem(m_list, {screen.name, screen.url, shared});
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

void RemoteScreensSettingsView::add()
{
    RemoteScreen screen;
    screen.name = m_name->text().trimmed();
    screen.url = m_address->text().trimmed();
    screen.shareOnLAN = m_share->isChecked();
    screen.relayPort = m_share->isChecked() ? m_port->value() : 0;
    const QString problem = screen.name.isEmpty() ? QStringLiteral("Give the screen a name.")
        : !screen.baseURL() ? QStringLiteral("That address doesn't look right.")
                            : QString();
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    if (!problem.isEmpty())
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
    const QString name = m_name->text().trimmed();
    const QString url = m_address->text().trimmed();
    RemoteScreen changed = screen;
    changed.url = url;
    const QString problem = name.isEmpty() ? QStringLiteral("Give the screen a name.")
        : !changed.baseURL()               ? QStringLiteral("That address doesn't look right.")
                                           : QString();
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    if (!problem.isEmpty())
        return;
    screen.name = name;
    screen.url = url;
    screen.shareOnLAN = m_share->isChecked();
    screen.relayPort = m_share->isChecked() ? m_port->value() : 0;
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

} // namespace vesker
