#include "settings/screens_settings_view.h"

#include "platform/defaults.h"
#include "receive/server_controller.h"
#include "screens/hosted_screens_manager.h"
#include "screens/remote_screens_manager.h"
#include "settings/screen_book_view.h"
#include "settings/screens_settings_checks.h"
#include "settings/settings_bindings.h"
#include "ui/text_style.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesker {

namespace {

const QString kScreenName = QStringLiteral("screenName");
const QString kServerPort = QStringLiteral("serverPort");

QLabel* secondaryLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    setTextStyle(*label, TextStyle::caption);
    setSecondary(*label);
    return label;
}

} // namespace

ScreensSettingsView::ScreensSettingsView(
    ServerController& controller, platform::Defaults& defaults, Book book, QWidget* parent)
    : QWidget(parent)
    , m_controller(controller)
    , m_defaults(defaults)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeNameGroup());
    layout->addWidget(makePortGroup());
    layout->addWidget(makeAddressGroup());
    if (book.directory) {
        layout->addWidget(
            new ScreenBookView({.directory = *book.directory,
                                   .defaults = defaults,
                                   .screenName = [&controller] { return controller.screenName(); },
                                   .remote = &controller.remote(),
                                   .discover = book.discover},
                this));
    }
    layout->addStretch();
}

QWidget* ScreensSettingsView::makeNameGroup()
{
    auto* group = new QGroupBox(QStringLiteral("This screen"), this);
    auto* form = new QFormLayout(group);
    auto* row = new QHBoxLayout;
    m_name = new QLineEdit(m_defaults.string(kScreenName), group);
    m_name->setObjectName(QStringLiteral("screenNameField"));
    m_name->setAccessibleName(QStringLiteral("Name"));
    m_name->setPlaceholderText(m_controller.screenName());
    auto* apply = new QPushButton(QStringLiteral("Rename"), group);
    apply->setObjectName(QStringLiteral("renameButton"));
    row->addWidget(m_name, 1);
    row->addWidget(apply);
    form->addRow(QStringLiteral("Name:"), row);
    form->addRow(secondaryLabel(
        QStringLiteral("Phones and other screens list this screen by this name. Left empty, "
                       "the screen takes this computer's name."),
        group));
    connect(m_name, &QLineEdit::returnPressed, this, &ScreensSettingsView::rename);
    connect(apply, &QPushButton::clicked, this, &ScreensSettingsView::rename);
    connect(&m_defaults, &platform::Defaults::changed, m_name, [this](const QString& key) {
        // What the user is typing is theirs until they apply it.
        if (key == kScreenName && !m_name->hasFocus())
            m_name->setText(m_defaults.string(kScreenName));
    });

    // The controller follows the setting and restarts the servers under it.
    form->addRow(settings::boundCheckBox(m_defaults, QStringLiteral("advertiseOnNetwork"), true,
        QStringLiteral("Let phones on this network find this screen by name"),
        QStringLiteral("advertiseCheck"), group));
    form->addRow(secondaryLabel(QStringLiteral("When off, phones reach this screen only by one of "
                                               "its addresses or the Connect QR code."),
        group));

    m_status = new QLabel(group);
    m_status->setObjectName(QStringLiteral("serverStatusLabel"));
    m_status->setWordWrap(true);
    form->addRow(QStringLiteral("Server:"), m_status);
    m_discoveryProblem = settings::problemLabel(QStringLiteral("discoveryProblem"), group);
    form->addRow(QString(), m_discoveryProblem);
    connect(&m_controller, &ServerController::statusTextChanged, this,
        &ScreensSettingsView::showStatus);
    connect(
        &m_controller, &ServerController::isRunningChanged, this, &ScreensSettingsView::showStatus);
    connect(&m_controller, &ServerController::changed, this, &ScreensSettingsView::showStatus);
    showStatus();
    return group;
}

QWidget* ScreensSettingsView::makePortGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Port"), this);
    auto* form = new QFormLayout(group);
    auto* row = new QHBoxLayout;
    m_port = new QLineEdit(QString::number(ServerController::port(m_defaults)), group);
    m_port->setObjectName(QStringLiteral("portField"));
    m_port->setAccessibleName(QStringLiteral("Port"));
    m_port->setMaximumWidth(m_port->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) * 2);
    auto* apply = new QPushButton(QStringLiteral("Use this port"), group);
    apply->setObjectName(QStringLiteral("portButton"));
    row->addWidget(m_port);
    row->addWidget(apply);
    row->addStretch();
    form->addRow(QStringLiteral("Port:"), row);
    m_portMessage = new QLabel(group);
    m_portMessage->setObjectName(QStringLiteral("portMessage"));
    m_portMessage->setWordWrap(true);
    QPalette warning = m_portMessage->palette();
    warning.setColor(QPalette::WindowText, destructiveColor(warning, QPalette::Window));
    m_portMessage->setPalette(warning);
    m_portMessage->hide();
    form->addRow(m_portMessage);
    form->addRow(secondaryLabel(
        QStringLiteral("Phones that were sent a link or code for the old port need a new one."),
        group));
    connect(m_port, &QLineEdit::returnPressed, this, &ScreensSettingsView::changePort);
    connect(apply, &QPushButton::clicked, this, &ScreensSettingsView::changePort);
    connect(&m_defaults, &platform::Defaults::changed, m_port, [this](const QString& key) {
        if (key == kServerPort && !m_port->hasFocus())
            m_port->setText(QString::number(ServerController::port(m_defaults)));
    });
    return group;
}

QWidget* ScreensSettingsView::makeAddressGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Addresses"), this);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(secondaryLabel(
        QStringLiteral("A phone on the same network opens one of these in its browser."), group));
    auto* list = new QWidget(group);
    list->setObjectName(QStringLiteral("addressList"));
    m_addresses = new QVBoxLayout(list);
    m_addresses->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
    listAddresses();
    connect(&m_controller, &ServerController::addressesChanged, this,
        &ScreensSettingsView::listAddresses);
    return group;
}

void ScreensSettingsView::showStatus()
{
    const QString notFound = QStringLiteral(" (not discoverable)");
    QString status = m_controller.statusText();
    const QString problem = ServerController::advertiseOnNetwork(m_defaults)
        ? m_controller.discoveryProblem()
        : QString();
    // The switch stays as the user set it; the line under it says that it cannot be honoured.
    const bool unfound = m_controller.isRunning() && !problem.isEmpty();
    if (unfound && !status.endsWith(notFound))
        status += notFound;
    m_status->setText(status);
    m_discoveryProblem->setText(unfound
            ? QStringLiteral("Phones can't find this screen by name: ") + problem + u'.'
            : QString());
    m_discoveryProblem->setVisible(unfound);
}

void ScreensSettingsView::rename()
{
    m_controller.setScreenName(m_name->text());
    m_name->setText(m_defaults.string(kScreenName));
    m_name->setPlaceholderText(m_controller.screenName());
}

void ScreensSettingsView::changePort()
{
    bool number = false;
    const int wanted = m_port->text().trimmed().toInt(&number);
    const quint16 current = ServerController::port(m_defaults);
    // This computer's other screens hold their ports too: the probe would blame another program.
    std::optional<QString> refused;
    if (number && wanted != current) {
        if (const auto problem = mainPortProblem(
                wanted, m_controller.hosted().screens(), m_controller.remote().screens()))
            refused = *problem + QStringLiteral(" The screen stays on port %1.").arg(current);
    }
    if (!refused)
        refused = m_controller.changePort(number ? wanted : -1);
    m_portMessage->setText(refused.value_or(QString()));
    m_portMessage->setVisible(refused.has_value());
    if (!refused)
        m_port->setText(QString::number(ServerController::port(m_defaults)));
}

void ScreensSettingsView::listAddresses()
{
    // No row is asked to go from its own button: the list changes only when the addresses do.
    while (QLayoutItem* item = m_addresses->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QStringList urls = m_controller.addresses();
    const QList<NetworkAddress> interfaces = m_controller.networkAddresses();
    if (urls.isEmpty()) {
        m_addresses->addWidget(secondaryLabel(
            QStringLiteral("No network address found. Connect this computer to a network."), this));
        return;
    }
    for (qsizetype i = 0; i < urls.size(); ++i) {
        auto* row = new QWidget;
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        const QString label
            = i < interfaces.size() ? interfaces.at(i).label : QStringLiteral("Local name");
        auto* kind = plainLabel(label, row);
        setSecondary(*kind);
        kind->setMinimumWidth(kind->fontMetrics().horizontalAdvance(QStringLiteral("Ethernet  ")));
        auto* url = plainLabel(urls.at(i), row);
        url->setObjectName(QStringLiteral("addressText"));
        url->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* copy = new QPushButton(QStringLiteral("Copy"), row);
        copy->setObjectName(QStringLiteral("copyAddressButton"));
        copy->setAccessibleName(QStringLiteral("Copy ") + urls.at(i));
        connect(copy, &QPushButton::clicked, copy,
            [text = urls.at(i)] { QGuiApplication::clipboard()->setText(text); });
        line->addWidget(kind);
        line->addWidget(url, 1);
        line->addWidget(copy);
        m_addresses->addWidget(row);
    }
}

} // namespace vesker
