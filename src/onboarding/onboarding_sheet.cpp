#include "onboarding/onboarding_sheet.h"

#include "onboarding/onboarding.h"
#include "platform/defaults.h"
#include "platform/permissions.h"
#include "receive/server_controller.h"
#include "settings/settings_bindings.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"
#include "ui/tray_availability.h"
#include "window/window_manager.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesker {

namespace {

constexpr int kWidth = 560;
constexpr int kInset = 24;
constexpr int kRowSpacing = 18;
constexpr int kPartSpacing = 12;
constexpr int kLineSpacing = 3;
constexpr int kHeaderSpacing = 6;
constexpr int kSymbolColumn = 28;
constexpr int kDot = 8;
constexpr int kNameFieldWidth = 160;

const QString kNoNotificationService
    = QStringLiteral("No notification service answered on this desktop. Banners show once one "
                     "runs (most desktops have one; a bare session may need one such as dunst). "
                     "This updates when you come back to Vesker.");

QLabel* secondaryLabel(const QString& text, TextStyle style, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    setTextStyle(*label, style);
    setSecondary(*label);
    return label;
}

} // namespace

void OnboardingSheet::Status::show(const onboarding::StatusLine& line) const
{
    QColor color = secondaryColor(dot->palette());
    if (line.tone == onboarding::Tone::good)
        color = successColor();
    else if (line.tone == onboarding::Tone::bad)
        color = destructiveColor();
    dot->setPixmap(statusDot(color, kDot, dot->devicePixelRatioF()));
    text->setText(line.text);
}

OnboardingSheet::OnboardingSheet(const OnboardingSheetServices& services, QWidget* parent)
    : QDialog(parent)
    , m_services(services)
{
    setObjectName(QStringLiteral("onboardingSheet"));
    setWindowTitle(QStringLiteral("Before you start"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(kWidth);

    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(kInset, kInset, kInset, kInset);
    m_column->setSpacing(kRowSpacing);

    auto* title = new QLabel(QStringLiteral("Before you start"), this);
    QFont bold = vesker::font(TextStyle::title2, title->font());
    bold.setBold(true);
    title->setFont(bold);
    m_column->addWidget(title);
    m_column->addWidget(secondaryLabel(
        QStringLiteral("Vesker needs a couple of things from your desktop. You can change any of "
                       "these later in Settings."),
        TextStyle::body, this));

    addNameSection();
    m_column->addWidget(makeDivider(this));
    addNetworkSection();
    addNotificationsSection();
    addAccessibilitySection();
    m_column->addWidget(makeDivider(this));
    addLoginSection();
    addTraySection();

    auto* finish = new QPushButton(QStringLiteral("Continue"), this);
    finish->setObjectName(QStringLiteral("continueButton"));
    finish->setDefault(true);
    connect(finish, &QPushButton::clicked, this, &OnboardingSheet::continueAction);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(finish);
    m_column->addLayout(buttons);

    ServerController& server = m_services.server;
    connect(&server, &ServerController::isRunningChanged, this, &OnboardingSheet::showServer);
    connect(&server, &ServerController::statusTextChanged, this, &OnboardingSheet::showServer);
    connect(&server, &ServerController::changed, this, &OnboardingSheet::showServer);
    Permissions& permissions = m_services.permissions;
    connect(&permissions, &Permissions::notificationsChanged, this,
        &OnboardingSheet::showNotifications);
    connect(&permissions, &Permissions::accessibilityChanged, this,
        &OnboardingSheet::showAccessibility);
    // Someone back from the desktop's settings sees what they changed there.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
        [&permissions](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                permissions.refresh();
        });
    if (parent)
        parent->window()->installEventFilter(this);
    showServer();
    showNotifications();
    showAccessibility();
}

void OnboardingSheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    fitHeight();
    m_services.permissions.refresh();
}

bool OnboardingSheet::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide && !event->spontaneous() && isVisible())
        reject();
    return QDialog::eventFilter(watched, event);
}

void OnboardingSheet::fitHeight()
{
    m_column->activate();
    setFixedHeight(m_column->totalHeightForWidth(kWidth));
}

void OnboardingSheet::refitLater()
{
    m_refit.request();
}

QVBoxLayout* OnboardingSheet::addSection(const QString& symbol, const QString& title,
    const QString& description, QWidget* control, Status* status)
{
    auto* section = new QWidget(this);
    auto* row = new QHBoxLayout(section);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kPartSpacing);

    auto* icon = new QLabel(section);
    const int size = QFontMetrics(vesker::font(TextStyle::title2, icon->font())).height();
    icon->setPixmap(symbolIcon(symbol, palette()).pixmap(QSize(size, size)));
    icon->setFixedWidth(kSymbolColumn);
    icon->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    row->addWidget(icon, 0, Qt::AlignTop);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(kLineSpacing);
    auto* header = new QHBoxLayout;
    header->setSpacing(kHeaderSpacing);
    auto* heading = new QLabel(title, section);
    setTextStyle(*heading, TextStyle::headline);
    header->addWidget(heading, 0, Qt::AlignVCenter);
    if (status) {
        status->dot = new QLabel(section);
        status->dot->setFixedSize(kDot, kDot);
        // The server's own status may be a long sentence: it wraps rather than being cut.
        status->text = secondaryLabel(QString(), TextStyle::caption, section);
        header->addWidget(status->dot, 0, Qt::AlignVCenter);
        header->addWidget(status->text, 1, Qt::AlignVCenter);
    } else {
        header->addStretch();
    }
    lines->addLayout(header);
    lines->addWidget(secondaryLabel(description, TextStyle::callout, section));
    row->addLayout(lines, 1);
    row->addWidget(control, 0, Qt::AlignTop | Qt::AlignRight);
    m_column->addWidget(section);
    return lines;
}

QLabel* OnboardingSheet::addHint(QVBoxLayout* lines, const QString& objectName)
{
    auto* hint = secondaryLabel(QString(), TextStyle::callout, this);
    hint->setObjectName(objectName);
    hint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    hint->hide();
    lines->addWidget(hint);
    return hint;
}

void OnboardingSheet::openSettings(const QString& anchor, QLabel* hint, const QString& text)
{
    if (openPrivacySettings(anchor))
        return;
    hint->setText(text);
    hint->show();
    refitLater();
}

void OnboardingSheet::addNameSection()
{
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("screenNameField"));
    m_name->setAccessibleName(QStringLiteral("Your name on the network"));
    m_name->setFixedWidth(kNameFieldWidth);
    m_name->setText(onboarding::currentDrafts(m_services.defaults).name);
    m_name->setPlaceholderText(onboarding::namePlaceholder(m_services.computerName));
    addSection(QStringLiteral("person.text.rectangle"), QStringLiteral("Your name on the network"),
        onboarding::nameSentence(m_services.computerName), m_name);
}

void OnboardingSheet::addNetworkSection()
{
    auto* open = new QPushButton(QStringLiteral("Open Desktop Settings"), this);
    open->setObjectName(QStringLiteral("localNetworkButton"));
    open->setAutoDefault(false);
    QVBoxLayout* section = addSection(QStringLiteral("network"), QStringLiteral("Local Network"),
        QStringLiteral(
            "Phones on the same Wi-Fi find this computer through it. Linux doesn't ask "
            "for it the first time Vesker listens; if phones can't find this computer, the "
            "avahi-daemon service or a firewall is in the way."),
        open, &m_network);
    m_network.text->setObjectName(QStringLiteral("localNetworkStatus"));
    m_networkHint = addHint(section, QStringLiteral("localNetworkHint"));
    connect(open, &QPushButton::clicked, this, [this] {
        openSettings(QStringLiteral("Privacy_LocalNetwork"), m_networkHint,
            QStringLiteral("There is no settings page for this here: keep the avahi-daemon "
                           "service running, and let a firewall pass TCP port %1 to Vesker.")
                .arg(ServerController::port(m_services.defaults)));
    });
}

void OnboardingSheet::addNotificationsSection()
{
    m_notificationsButton = new QPushButton(this);
    m_notificationsButton->setObjectName(QStringLiteral("notificationsButton"));
    m_notificationsButton->setAutoDefault(false);
    QVBoxLayout* section = addSection(QStringLiteral("bell.badge"), QStringLiteral("Notifications"),
        QStringLiteral("A banner when something arrives, even if the window is hidden."),
        m_notificationsButton, &m_notifications);
    m_notifications.text->setObjectName(QStringLiteral("notificationsStatus"));
    m_notificationsHint = addHint(section, QStringLiteral("notificationsHint"));
    connect(m_notificationsButton, &QPushButton::clicked, this, [this] {
        if (!onboarding::notificationsButton(m_services.permissions.notifications())
                 .opensSettings) {
            // Asking is finding the desktop's notification service: it answers or it doesn't.
            m_services.permissions.refresh();
            return;
        }
        openSettings(
            QStringLiteral("Privacy_Notifications"), m_notificationsHint, kNoNotificationService);
    });
}

void OnboardingSheet::addAccessibilitySection()
{
    m_accessibilityButton = new QPushButton(this);
    m_accessibilityButton->setObjectName(QStringLiteral("accessibilityButton"));
    m_accessibilityButton->setAutoDefault(false);
    QVBoxLayout* section = addSection(QStringLiteral("keyboard"),
        QStringLiteral("Accessibility (optional)"),
        QStringLiteral("Only needed for the “Paste into front app” button, which types a barcode "
                       "into the app you used before. Skip it otherwise."),
        m_accessibilityButton, &m_accessibility);
    m_accessibility.text->setObjectName(QStringLiteral("accessibilityStatus"));
    m_accessibilityHint = addHint(section, QStringLiteral("accessibilityHint"));
    connect(m_accessibilityButton, &QPushButton::clicked, this, [this] {
        m_services.permissions.refresh();
        if (m_services.permissions.accessibility() == Permissions::Status::granted)
            return;
        openSettings(QStringLiteral("Privacy_Accessibility"), m_accessibilityHint,
            QStringLiteral("Typing into another app needs an X11 session with the XTest "
                           "extension; a Wayland session doesn't allow it."));
    });
}

void OnboardingSheet::addLoginSection()
{
    m_launchAtLogin = new QCheckBox(this);
    m_launchAtLogin->setObjectName(QStringLiteral("launchAtLoginSwitch"));
    m_launchAtLogin->setAccessibleName(QStringLiteral("Open at login"));
    m_launchAtLogin->setChecked(onboarding::currentDrafts(m_services.defaults).launchAtLogin);
    addSection(QStringLiteral("power"), QStringLiteral("Open at login"),
        QStringLiteral(
            "So this computer is always listening, even after a restart. Recommended for a "
            "screen people send to."),
        m_launchAtLogin);
}

void OnboardingSheet::addTraySection()
{
    auto* switches = new QWidget(this);
    auto* stack = new QVBoxLayout(switches);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(kHeaderSpacing);
    auto* tray = settings::boundCheckBox(m_services.defaults,
        QLatin1String(window_keys::kShowTrayIcon), true, QStringLiteral("Show in the tray"),
        QStringLiteral("showTrayIconSwitch"), switches);
    auto* hide = settings::boundCheckBox(m_services.defaults,
        QLatin1String(window_keys::kHideTaskbarEntry), false, QStringLiteral("Hide task bar entry"),
        QStringLiteral("hideTaskbarEntrySwitch"), switches);
    for (QCheckBox* box : {tray, hide}) {
        box->setLayoutDirection(Qt::RightToLeft);
        QFont small = vesker::font(TextStyle::callout, box->font());
        box->setFont(small);
        stack->addWidget(box, 0, Qt::AlignRight);
    }
    hide->setEnabled(tray->isChecked());
    connect(tray, &QCheckBox::toggled, hide, &QWidget::setEnabled);
    QVBoxLayout* lines = addSection(
        QStringLiteral("menubar.rectangle"), QStringLiteral("Tray icon"), QString(), switches);
    auto* description = qobject_cast<QLabel*>(lines->itemAt(lines->count() - 1)->widget());
    description->setObjectName(QStringLiteral("trayDescription"));

    // Offering to hide the task bar entry where no tray shows would offer a trap.
    auto* availability = new TrayAvailability(switches);
    auto follow = [this, availability, switches, description] {
        const bool available = availability->available();
        switches->setVisible(available);
        description->setText(available
                ? QStringLiteral("The icon in the panel's tray shows the unread count and the "
                                 "latest items. You can also hide the task bar entry to run "
                                 "from the tray only.")
                : QStringLiteral("This desktop shows no tray icons, so Vesker keeps its task "
                                 "bar entry. Closing the window leaves the screen listening; "
                                 "open Vesker again to bring the window back."));
        refitLater();
    };
    follow();
    connect(availability, &TrayAvailability::availableChanged, this, follow);
}

void OnboardingSheet::showServer()
{
    m_network.show(onboarding::networkStatus(m_services.server.isRunning(),
        m_services.server.statusText(), m_services.server.discoveryProblem()));
    refitLater();
}

void OnboardingSheet::showNotifications()
{
    const Permissions::Status status = m_services.permissions.notifications();
    m_notifications.show(onboarding::permissionStatus(status));
    const onboarding::PermissionButton button = onboarding::notificationsButton(status);
    m_notificationsButton->setText(button.title);
    m_notificationsButton->setEnabled(button.enabled);
    if (status == Permissions::Status::unavailable) {
        m_notificationsHint->setText(kNoNotificationService);
        m_notificationsHint->show();
    } else if (!button.opensSettings) {
        m_notificationsHint->hide();
    }
    refitLater();
}

void OnboardingSheet::showAccessibility()
{
    const Permissions::Status status = m_services.permissions.accessibility();
    m_accessibility.show(onboarding::permissionStatus(status));
    const onboarding::PermissionButton button = onboarding::accessibilityButton(status);
    m_accessibilityButton->setText(button.title);
    m_accessibilityButton->setEnabled(button.enabled);
    if (status == Permissions::Status::granted)
        m_accessibilityHint->hide();
    refitLater();
}

void OnboardingSheet::continueAction()
{
    onboarding::StartupHooks hooks;
    if (WindowManager* windows = m_services.windows) {
        hooks.setLaunchAtLogin = [windows](bool on) { windows->setLaunchAtLogin(on); };
        // No tray icon to come back through: the task bar entry stays.
        hooks.applyActivationPolicy = [windows, tray = TrayAvailability().available()](bool hide) {
            windows->applyActivationPolicy(hide && tray);
        };
    }
    onboarding::applyDrafts({m_name->text(), m_launchAtLogin->isChecked()}, m_services.server,
        m_services.defaults, hooks);
    accept();
}

} // namespace vesker
