#include "settings/access_settings_view.h"

#include "access/access_manager.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "settings/settings_bindings.h"
#include "ui/text_style.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vesker {

namespace {

const QString kAccessPolicy = QStringLiteral("accessPolicy");
const QString kAccessCode = QStringLiteral("accessCode");
constexpr int kDeviceRole = Qt::UserRole;

QTreeWidget* deviceList(const QStringList& headers, const QString& objectName, QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(objectName);
    list->setHeaderLabels(headers);
    list->setHeaderHidden(headers.size() < 2);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    // A few rows show; more scroll, and the browser-screen switches stay in view below.
    list->setFixedHeight(headers.size() > 1 ? 96 : 72);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    if (headers.size() > 1)
        list->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    return list;
}

QLabel* hint(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    setSecondary(*label);
    return label;
}

} // namespace

AccessSettingsView::AccessSettingsView(AccessManager& access, platform::Defaults& defaults,
    const platform::Clock& clock, QWidget* parent)
    : QWidget(parent)
    , m_access(access)
    , m_defaults(defaults)
    , m_clock(clock)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makePolicyGroup());
    layout->addWidget(makeDevicesGroup());
    layout->addWidget(makeBrowserGroup());
    layout->addStretch();

    connect(&m_access, &AccessManager::grantsChanged, this, &AccessSettingsView::listGrants);
    connect(&m_access, &AccessManager::blockedChanged, this, &AccessSettingsView::listBlocked);
    listGrants();
    listBlocked();
}

QWidget* AccessSettingsView::makePolicyGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Who can send to this computer"), this);
    auto* form = new QFormLayout(group);
    // Written through the access manager rather than bound to the setting: choosing the code
    // policy may have to make a code first.
    m_policy = new QComboBox(group);
    m_policy->setObjectName(QStringLiteral("accessPolicyPicker"));
    m_policy->setAccessibleName(QStringLiteral("Access"));
    for (const settings::Choice& choice : settings::accessPolicyChoices())
        m_policy->addItem(choice.label, choice.value);
    connect(m_policy, &QComboBox::activated, this, [this](int index) {
        if (const auto policy = accessPolicyFromString(m_policy->itemData(index).toString()))
            m_access.choosePolicy(*policy);
    });
    form->addRow(QStringLiteral("Access:"), m_policy);

    m_code = new QLineEdit(group);
    m_code->setObjectName(QStringLiteral("accessCodeField"));
    m_code->setAccessibleName(QStringLiteral("Access code"));
    m_code->setPlaceholderText(QStringLiteral("No code set"));
    m_code->setText(m_defaults.string(kAccessCode));
    // A blank typed under the code policy is not written; the code before it holds, and comes
    // back into the field when the editing ends.
    connect(m_code, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_access.setAccessCode(text);
        showCodeProblem();
    });
    connect(m_code, &QLineEdit::editingFinished, this, &AccessSettingsView::showCode);
    m_newCode = new QPushButton(QStringLiteral("New code"), group);
    m_newCode->setObjectName(QStringLiteral("newCodeButton"));
    m_newCode->setAccessibleName(QStringLiteral("New code"));
    connect(m_newCode, &QPushButton::clicked, this, [this] { m_access.makeNewCode(); });
    auto* codeRow = new QHBoxLayout;
    codeRow->addWidget(m_code, 1);
    codeRow->addWidget(m_newCode);
    form->addRow(QStringLiteral("Access code:"), codeRow);
    m_codeProblem = settings::problemLabel(QStringLiteral("accessCodeProblem"), group);
    form->addRow(m_codeProblem);
    form->addRow(hint(QStringLiteral("The code only matters with \u201cOnly with an access "
                                     "code\u201d; phones that scan the pairing code get it "
                                     "with the link."),
        group));

    showPolicy();
    connect(&m_defaults, &platform::Defaults::changed, this, [this](const QString& key) {
        if (key == kAccessPolicy)
            showPolicy();
        else if (key == kAccessCode && m_code->text() != m_defaults.string(kAccessCode))
            showCode();
    });
    return group;
}

void AccessSettingsView::showPolicy()
{
    const AccessPolicy policy = m_access.policy();
    m_policy->setCurrentIndex(m_policy->findData(toString(policy)));
    // The code is asked for only under the code policy; elsewhere it waits, greyed.
    const bool used = policy == AccessPolicy::code;
    m_code->setEnabled(used);
    m_newCode->setEnabled(used);
    showCodeProblem();
}

void AccessSettingsView::showCode()
{
    const QString stored = m_defaults.string(kAccessCode);
    // Writing back what the user is typing would move the cursor.
    if (m_code->text() != stored)
        m_code->setText(stored);
    showCodeProblem();
}

void AccessSettingsView::showCodeProblem()
{
    QString problem;
    if (m_access.policy() == AccessPolicy::code && m_code->text().trimmed().isEmpty()) {
        problem = m_access.accessCode().isEmpty()
            ? QStringLiteral("No code is set, so every phone on the network can send. Type a "
                             "code or click New code.")
            : QStringLiteral("\u201cOnly with an access code\u201d needs a code: %1 stays until "
                             "another is typed.")
                  .arg(m_access.accessCode());
    }
    m_codeProblem->setText(problem);
    m_codeProblem->setVisible(!problem.isEmpty());
}

QWidget* AccessSettingsView::makeDevicesGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Devices"), this);
    auto* layout = new QVBoxLayout(group);

    layout->addWidget(new QLabel(QStringLiteral("Approved devices"), group));
    m_grants = deviceList({QStringLiteral("Device"), QStringLiteral("Approved")},
        QStringLiteral("approvedDeviceList"), group);
    m_grants->setAccessibleName(QStringLiteral("Approved devices"));
    layout->addWidget(m_grants);
    m_remove = new QPushButton(QStringLiteral("Remove"), group);
    m_remove->setObjectName(QStringLiteral("removeDeviceButton"));
    m_block = new QPushButton(QStringLiteral("Block"), group);
    m_block->setObjectName(QStringLiteral("blockDeviceButton"));
    auto* grantButtons = new QHBoxLayout;
    grantButtons->addStretch();
    grantButtons->addWidget(m_remove);
    grantButtons->addWidget(m_block);
    layout->addLayout(grantButtons);

    layout->addWidget(new QLabel(QStringLiteral("Blocked devices"), group));
    m_blocked = deviceList({QStringLiteral("Device")}, QStringLiteral("blockedDeviceList"), group);
    m_blocked->setAccessibleName(QStringLiteral("Blocked devices"));
    layout->addWidget(m_blocked);
    m_unblock = new QPushButton(QStringLiteral("Unblock"), group);
    m_unblock->setObjectName(QStringLiteral("unblockButton"));
    auto* blockedButtons = new QHBoxLayout;
    blockedButtons->addStretch();
    blockedButtons->addWidget(m_unblock);
    layout->addLayout(blockedButtons);

    // The lists are rebuilt from the manager's signals, after these calls return.
    connect(m_remove, &QPushButton::clicked, this, [this] {
        const QString id = selectedDevice(m_grants);
        if (!id.isEmpty())
            m_access.removeGrants(id);
    });
    connect(m_block, &QPushButton::clicked, this, [this] {
        const QTreeWidgetItem* row = m_grants->currentItem();
        if (row)
            m_access.block(row->data(0, kDeviceRole).toString(), row->text(0));
    });
    connect(m_unblock, &QPushButton::clicked, this, [this] {
        const QString id = selectedDevice(m_blocked);
        if (!id.isEmpty())
            m_access.unblock(id);
    });
    connect(m_grants, &QTreeWidget::itemSelectionChanged, this, [this] {
        const bool chosen = !selectedDevice(m_grants).isEmpty();
        m_remove->setEnabled(chosen);
        m_block->setEnabled(chosen);
    });
    connect(m_blocked, &QTreeWidget::itemSelectionChanged, this,
        [this] { m_unblock->setEnabled(!selectedDevice(m_blocked).isEmpty()); });
    return group;
}

QWidget* AccessSettingsView::makeBrowserGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Browser screens"), this);
    auto* layout = new QVBoxLayout(group);
    auto check = [&](const char* key, bool fallback, const QString& label, const char* name) {
        layout->addWidget(settings::boundCheckBox(m_defaults, QString::fromLatin1(key), fallback,
            label, QString::fromLatin1(name), group));
    };
    check("allowBrowserScreens", false,
        QStringLiteral("Let web browsers on the network show the Inbox"),
        "allowBrowserScreensCheck");
    check("viewerCanAck", true, QStringLiteral("Viewers may mark an item \u201cGot it\u201d"),
        "viewerCanAckCheck");
    check("viewerCanLater", false, QStringLiteral("Viewers may put an item aside for later"),
        "viewerCanLaterCheck");
    check("viewerCanArchive", false, QStringLiteral("Viewers may archive an item"),
        "viewerCanArchiveCheck");
    check("viewerBlurAll", false, QStringLiteral("Blur every photo except those of known senders"),
        "viewerBlurAllCheck");
    check("viewerLog", true, QStringLiteral("Keep a log of viewers (browser-log.txt)"),
        "viewerLogCheck");
    // People look here first for a hosted screen's page, which the switch above does not open.
    layout->addWidget(hint(QStringLiteral("Hosted screens’ pages follow these choices too; each "
                                          "is turned on, with its own PIN, in Settings ▸ Hosted."),
        group));

    auto* pin = settings::boundTextField(
        m_defaults, QStringLiteral("viewerPIN"), QStringLiteral("viewerPinField"), group);
    pin->setAccessibleName(QStringLiteral("PIN for viewer actions"));
    pin->setPlaceholderText(QStringLiteral("No PIN"));
    auto* pinRow = new QFormLayout;
    pinRow->addRow(QStringLiteral("PIN for viewer actions:"), pin);
    layout->addLayout(pinRow);
    return group;
}

void AccessSettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_access.pruneExpiredGrants();
    // Also when nothing was pruned: "Until ..." may have become due.
    listGrants();
}

void AccessSettingsView::listGrants()
{
    const QString selected = selectedDevice(m_grants);
    const QDateTime now = m_clock.now();
    m_grants->clear();
    for (const DeviceGrant& grant : m_access.grants()) {
        auto* row = new QTreeWidgetItem(m_grants, {grant.name, grant.expiryText(now)});
        row->setData(0, kDeviceRole, grant.deviceID);
        if (grant.deviceID == selected)
            m_grants->setCurrentItem(row);
    }
    m_remove->setEnabled(!selectedDevice(m_grants).isEmpty());
    m_block->setEnabled(!selectedDevice(m_grants).isEmpty());
}

void AccessSettingsView::listBlocked()
{
    m_blocked->clear();
    for (const DeviceGrant& device : m_access.blocked()) {
        auto* row = new QTreeWidgetItem(m_blocked, {device.name});
        row->setData(0, kDeviceRole, device.deviceID);
    }
    m_unblock->setEnabled(false);
}

QString AccessSettingsView::selectedDevice(const QTreeWidget* list)
{
    const QTreeWidgetItem* row = list->currentItem();
    return row && row->isSelected() ? row->data(0, kDeviceRole).toString() : QString();
}

} // namespace vesker
