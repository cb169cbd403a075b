#include "settings/hosted_screens_settings_view.h"

#include "platform/defaults.h"
#include "receive/server_controller.h"
#include "screens/hosted_screens_manager.h"
#include "settings/screens_settings_checks.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vesker {

namespace {

constexpr auto kKey = "hostedScreens";
constexpr quint16 kFirstPort = 8790;

bool portFree(quint16 port)
{
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, port);
}

} // namespace

HostedScreensSettingsView::HostedScreensSettingsView(
    HostedScreensManager& hosted, platform::Defaults& defaults, QWidget* parent)
    : QWidget(parent)
    , m_hosted(hosted)
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
    m_list->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    layout->addWidget(m_list, 1);
    m_remove = new QPushButton(QStringLiteral("Remove"));
    m_remove->setObjectName(QStringLiteral("removeHosted"));
    m_remove->setEnabled(false);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_remove);
    layout->addLayout(row);

    auto* group = new QGroupBox(QStringLiteral("Add a hosted screen"));
    auto* form = new QFormLayout(group);
    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("hostedName"));
    m_name->setPlaceholderText(QStringLiteral("Team Room"));
    m_slug = new QLineEdit;
    m_slug->setObjectName(QStringLiteral("hostedSlug"));
    m_slug->setPlaceholderText(QStringLiteral("team-room"));
    m_port = new QSpinBox;
    m_port->setObjectName(QStringLiteral("hostedPort"));
    m_port->setRange(1024, 65535);
    m_port->setGroupSeparatorShown(false);
    m_pin = new QLineEdit;
    m_pin->setObjectName(QStringLiteral("hostedPin"));
    m_requirePin = new QCheckBox(QStringLiteral("Require the PIN to send"));
    m_requirePin->setObjectName(QStringLiteral("hostedRequirePin"));
    m_enabled = new QCheckBox(QStringLiteral("Start serving it now"));
    m_enabled->setChecked(true);
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("hostedProblem"));
    m_problem->setWordWrap(true);
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setStyleSheet(QStringLiteral("color: #d70015"));
    m_problem->hide();
    auto* add = new QPushButton(QStringLiteral("Add"));
    add->setObjectName(QStringLiteral("addHosted"));
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("Short name (in its address):"), m_slug);
    form->addRow(QStringLiteral("Port:"), m_port);
    form->addRow(QStringLiteral("PIN:"), m_pin);
    form->addRow(QString(), m_requirePin);
    form->addRow(QString(), m_enabled);
    form->addRow(QString(), m_problem);
    form->addRow(QString(), add);
    layout->addWidget(group);

    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& name) {
        if (!m_slugTyped)
            m_slug->setText(slugFor(name));
    });
    connect(m_slug, &QLineEdit::textEdited, this, [this] { m_slugTyped = true; });
    connect(add, &QPushButton::clicked, this, &HostedScreensSettingsView::add);
    connect(m_remove, &QPushButton::clicked, this, &HostedScreensSettingsView::removeSelected);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
        [this] { m_remove->setEnabled(!m_list->selectedItems().isEmpty()); });
    connect(m_list, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column == 0)
            setEnabled(m_list->indexOfTopLevelItem(item), item->checkState(0) == Qt::Checked);
    });
    // Queued: a change made from the list's own signal must not rebuild it under that signal.
    connect(&m_hosted, &HostedScreensManager::screensChanged, this,
        &HostedScreensSettingsView::list, Qt::QueuedConnection);
    list();
}

void HostedScreensSettingsView::list()
{
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    quint16 nextPort = kFirstPort;
    for (const HostedScreen& screen : m_hosted.screens()) {
        auto* item = new QTreeWidgetItem(m_list,
            {QString(), screen.name, QStringLiteral("/s/") + screen.slug,
                QString::number(screen.port),
                screen.requirePinToSend ? QStringLiteral("Yes") : QStringLiteral("No")});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, screen.enabled ? Qt::Checked : Qt::Unchecked);
        nextPort = std::max<quint16>(nextPort, screen.port + 1);
    }
    m_port->setValue(nextPort);
    m_remove->setEnabled(false);
}

void HostedScreensSettingsView::add()
{
    HostedScreen screen;
    screen.id = QUuid::createUuid();
    screen.name = m_name->text().trimmed();
    screen.slug = m_slug->text().trimmed();
    screen.port = quint16(m_port->value());
    screen.pin = m_pin->text().trimmed();
    screen.requirePinToSend = m_requirePin->isChecked();
    screen.enabled = m_enabled->isChecked();
    const auto problem = hostedScreenProblem(
        screen, m_hosted.screens(), ServerController::port(m_defaults), &portFree);
    m_problem->setText(problem.value_or(QString()));
    m_problem->setVisible(problem.has_value());
    if (problem)
        return;
    QJsonArray array = m_defaults.value(QLatin1String(kKey)).toArray();
    array.append(screen.toJson());
    m_defaults.set(QLatin1String(kKey), array);
    m_name->clear();
    m_slug->clear();
    m_pin->clear();
    m_requirePin->setChecked(false);
    m_slugTyped = false;
}

void HostedScreensSettingsView::removeSelected()
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = m_list->indexOfTopLevelItem(selected.first());
    if (row < 0 || row >= m_hosted.screens().size())
        return;
    const QUuid id = m_hosted.screens().at(row).id;
    QJsonArray array;
    for (const HostedScreen& screen : m_hosted.screens()) {
        if (screen.id != id)
            array.append(screen.toJson());
    }
    m_defaults.set(QLatin1String(kKey), array);
}

void HostedScreensSettingsView::setEnabled(int row, bool enabled)
{
    if (row < 0 || row >= m_hosted.screens().size())
        return;
    QJsonArray array;
    for (qsizetype i = 0; i < m_hosted.screens().size(); ++i) {
        HostedScreen screen = m_hosted.screens().at(i);
        if (i == row)
            screen.enabled = enabled;
        array.append(screen.toJson());
    }
    m_defaults.set(QLatin1String(kKey), array);
}

} // namespace vesker
