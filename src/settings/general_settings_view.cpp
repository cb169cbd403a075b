#include "settings/general_settings_view.h"

#include "card/card_keys.h"
#include "focus_guard/focus_guard.h"
#include "focus_guard/focus_guard_settings_view.h"
#include "platform/defaults.h"
#include "platform/launch_at_login.h"
#include "platform/permissions.h"
#include "settings/permissions_settings_view.h"
#include "settings/settings_bindings.h"
#include "ui/text_style.h"
#include "ui/tray_availability.h"
#include "update/update_settings_row_view.h"
#include "window/window_manager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace vesker {

namespace {

const QString kFullScreenDisplay = QString::fromLatin1(window_keys::kFullScreenDisplay);

QStringList displayNames()
{
    QStringList names;
    for (const QScreen* screen : QGuiApplication::screens())
        names.append(WindowManager::displayName(screen));
    return names;
}

QComboBox* picker(QFormLayout* form, QComboBox* box, const QString& label)
{
    box->setAccessibleName(label);
    form->addRow(label + u':', box);
    return box;
}

} // namespace

GeneralSettingsView::GeneralSettingsView(platform::Defaults& defaults, WindowManager& windows,
    FocusGuard& focusGuard, Permissions& permissions, Updater& updater, QWidget* parent)
    : QWidget(parent)
    , m_defaults(defaults)
    , m_windows(windows)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeArrivalGroup());
    layout->addWidget(new FocusGuardSettingsView(focusGuard, this));
    layout->addWidget(makeStartGroup());
    layout->addWidget(new PermissionsSettingsView(permissions, this));
    layout->addWidget(makeInboxGroup());
    layout->addWidget(new UpdateSettingsRowView(updater, this));
    layout->addStretch();
}

QWidget* GeneralSettingsView::makeArrivalGroup()
{
    auto* group = new QGroupBox(QStringLiteral("When something arrives"), this);
    auto* form = new QFormLayout(group);
    picker(form,
        settings::boundPicker(m_defaults, QString::fromLatin1(window_keys::kArrivalBehavior),
            settings::arrivalBehaviorChoices(), QStringLiteral("bringForward"),
            QStringLiteral("arrivalBehaviorPicker"), group),
        QStringLiteral("On arrival"));
    picker(form,
        settings::boundPicker(m_defaults, QString::fromLatin1(window_keys::kFullScreenStyle),
            settings::fullScreenStyleChoices(), QStringLiteral("fill"),
            QStringLiteral("fullScreenStylePicker"), group),
        QStringLiteral("Full screen"));

    // The displays come and go, so the list is made anew whenever it or the setting changes.
    auto* display = picker(form, new QComboBox(group), QStringLiteral("Display"));
    display->setObjectName(QStringLiteral("fullScreenDisplayPicker"));
    auto list = [this, display] {
        const QSignalBlocker quiet(display);
        const QString stored = m_defaults.string(kFullScreenDisplay);
        display->clear();
        for (const settings::Choice& choice : settings::displayChoices(displayNames(), stored))
            display->addItem(choice.label, choice.value);
        display->setCurrentIndex(qMax(0, display->findData(stored)));
    };
    list();
    connect(display, &QComboBox::activated, this, [this, display](int index) {
        m_defaults.set(kFullScreenDisplay, display->itemData(index).toString());
    });
    connect(&m_defaults, &platform::Defaults::changed, display, [list](const QString& key) {
        if (key == kFullScreenDisplay)
            list();
    });
    connect(qApp, &QGuiApplication::screenAdded, display, list);
    connect(qApp, &QGuiApplication::screenRemoved, display, list);

    form->addRow(
        settings::boundCheckBox(m_defaults, QString::fromLatin1(window_keys::kWakeDisplayOnArrival),
            false, QStringLiteral("Wake the display"), QStringLiteral("wakeDisplayCheck"), group));
    return group;
}

QWidget* GeneralSettingsView::makeStartGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Start-up"), this);
    auto* layout = new QVBoxLayout(group);
    auto* showTray = settings::boundCheckBox(m_defaults, QLatin1String(window_keys::kShowTrayIcon),
        true, QStringLiteral("Show the tray icon"), QStringLiteral("showTrayIconCheck"), group);
    layout->addWidget(showTray);
    auto* hideTaskbarEntry
        = settings::boundCheckBox(m_defaults, QLatin1String(window_keys::kHideTaskbarEntry), false,
            QStringLiteral("Hide the task bar entry (tray only)"),
            QStringLiteral("hideTaskbarEntryCheck"), group);
    // Only the user's own change is applied: onboarding applies its own.
    connect(hideTaskbarEntry, &QCheckBox::toggled, this,
        [this](bool hide) { m_windows.applyActivationPolicy(hide); });
    layout->addWidget(hideTaskbarEntry);
    auto* noTray = new QLabel(QStringLiteral("This desktop shows no tray icons, so Vesker keeps "
                                             "its task bar entry and its window."),
        group);
    noTray->setObjectName(QStringLiteral("noTrayNote"));
    noTray->setWordWrap(true);
    setTextStyle(*noTray, TextStyle::caption);
    setSecondary(*noTray);
    layout->addWidget(noTray);

    // Hiding the task bar entry with no tray icon to go back to would leave no way in.
    auto* tray = new TrayAvailability(group);
    auto follow = [tray, showTray, hideTaskbarEntry, noTray] {
        const bool available = tray->available();
        showTray->setVisible(available);
        hideTaskbarEntry->setVisible(available);
        hideTaskbarEntry->setEnabled(showTray->isChecked());
        noTray->setVisible(!available);
    };
    follow();
    connect(showTray, &QCheckBox::toggled, hideTaskbarEntry, [hideTaskbarEntry](bool on) {
        if (!on)
            hideTaskbarEntry->setChecked(false);
    });
    connect(tray, &TrayAvailability::availableChanged, group, follow);
    connect(showTray, &QCheckBox::toggled, group, follow);
    connect(hideTaskbarEntry, &QCheckBox::toggled, group, follow);

    // Not a stored setting: the autostart entry itself is the state.
    auto* login = new QCheckBox(QStringLiteral("Open at login"), group);
    login->setObjectName(QStringLiteral("launchAtLoginCheck"));
    login->setAccessibleName(login->text());
    login->setChecked(platform::LaunchAtLogin::isEnabled());
    connect(login, &QCheckBox::toggled, this, [this](bool on) { m_windows.setLaunchAtLogin(on); });
    layout->addWidget(login);
    return group;
}

QWidget* GeneralSettingsView::makeInboxGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Inbox and sending"), this);
    auto* form = new QFormLayout(group);
    picker(form,
        settings::boundPicker(m_defaults, QStringLiteral("viewMode"), settings::viewModeChoices(),
            QStringLiteral("large"), QStringLiteral("viewModePicker"), group),
        QStringLiteral("Cards"));
    form->addRow(settings::boundCheckBox(m_defaults, QLatin1String(card_keys::kSimpleMode), false,
        QStringLiteral("Simple mode"), QStringLiteral("simpleModeCheck"), group));
    form->addRow(settings::boundCheckBox(m_defaults, QStringLiteral("confirmDelete"), true,
        QStringLiteral("Ask before deleting an item"), QStringLiteral("confirmDeleteCheck"),
        group));
    picker(form,
        settings::boundPicker(m_defaults, QStringLiteral("photoSendSize"),
            settings::photoSizeChoices(), QStringLiteral("large"),
            QStringLiteral("photoSendSizePicker"), group),
        QStringLiteral("Sent photos"));
    form->addRow(settings::boundCheckBox(m_defaults, QStringLiteral("includePhotoLocation"), false,
        QStringLiteral("Send where a photo was taken with it"),
        QStringLiteral("includePhotoLocationCheck"), group));
    return group;
}

} // namespace vesker
