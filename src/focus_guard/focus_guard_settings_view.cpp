#include "focus_guard/focus_guard_settings_view.h"

#include "focus_guard/application_chooser_sheet.h"
#include "focus_guard/focus_guard.h"
#include "platform/workspace.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace vesker {

namespace {

constexpr int kIconSize = 18;
constexpr int kPickerWidth = 190;

using Trigger = FocusGuard::Trigger;
const QList<std::pair<Trigger, QString>> kTriggerLabels {
    {Trigger::running, QStringLiteral("while it's open")},
    {Trigger::frontmost, QStringLiteral("only when it's in front")},
};

QLabel* captionLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    setTextStyle(*label, TextStyle::caption);
    setSecondary(*label);
    return label;
}

// Menu titles read "&" as a mnemonic; names from outside show it as typed.
QString menuText(const QString& text)
{
    return QString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

FocusGuardSettingsView::FocusGuardSettingsView(FocusGuard& guard, QWidget* parent)
    : QWidget(parent)
    , m_guard(guard)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* group = new QGroupBox(QStringLiteral("Don't interrupt"), this);
    outer->addWidget(group);
    auto* layout = new QVBoxLayout(group);

    auto* dnd = new QCheckBox(QStringLiteral("Do Not Disturb"), group);
    dnd->setObjectName(QStringLiteral("doNotDisturbCheck"));
    dnd->setAccessibleName(dnd->text());
    dnd->setToolTip(QStringLiteral(
        "Photos still arrive and stay in the Inbox — the window just won't come forward."));
    dnd->setChecked(m_guard.doNotDisturb());
    connect(dnd, &QCheckBox::toggled, &m_guard, &FocusGuard::setDoNotDisturb);
    connect(&m_guard, &FocusGuard::doNotDisturbChanged, dnd, [dnd](bool on) {
        const QSignalBlocker quiet(dnd);
        dnd->setChecked(on);
    });
    layout->addWidget(dnd);

    m_heldBack = new QLabel(group);
    m_heldBack->setObjectName(QStringLiteral("heldBackLabel"));
    setTextStyle(*m_heldBack, TextStyle::callout);
    setSecondary(*m_heldBack);
    auto* heldBackIcon = new QLabel(group);
    heldBackIcon->setPixmap(
        symbolIcon(QStringLiteral("bell.slash"), palette(), QPalette::PlaceholderText)
            .pixmap(QSize(14, 14), devicePixelRatioF()));
    auto* heldBackRow = new QWidget(group);
    auto* heldBackLayout = new QHBoxLayout(heldBackRow);
    heldBackLayout->setContentsMargins(0, 0, 0, 0);
    heldBackLayout->addWidget(heldBackIcon);
    heldBackLayout->addWidget(m_heldBack, 1);
    layout->addWidget(heldBackRow);
    connect(&m_guard, &FocusGuard::heldBackChanged, this, [this, heldBackRow] {
        showHeldBack();
        heldBackRow->setVisible(m_guard.heldBack() > 0);
    });
    showHeldBack();
    heldBackRow->setVisible(m_guard.heldBack() > 0);

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    column->setContentsMargins(0, 2, 0, 0);
    layout->addLayout(column);
    auto* title = new QLabel(QStringLiteral("Stay out of the way when these are up"), group);
    setTextStyle(*title, TextStyle::callout);
    column->addWidget(title);
    m_emptyHint = captionLabel(QStringLiteral("Nothing listed. Add Zoom, Teams, Keynote — anything "
                                              "you'd hate a photo to jump in front of."),
        group);
    m_emptyHint->setObjectName(QStringLiteral("focusRulesEmptyHint"));
    column->addWidget(m_emptyHint);
    m_rules = new QVBoxLayout;
    m_rules->setSpacing(8);
    column->addLayout(m_rules);

    auto* addRow = new QHBoxLayout;
    m_addRunning = new QPushButton(QStringLiteral("Add a running app…"), group);
    m_addRunning->setObjectName(QStringLiteral("addRunningAppButton"));
    m_addRunning->setAccessibleName(m_addRunning->text());
    m_addRunning->setFixedWidth(kPickerWidth);
    m_runningMenu = new QMenu(m_addRunning);
    m_runningMenu->setObjectName(QStringLiteral("runningAppMenu"));
    m_addRunning->setMenu(m_runningMenu);
    // Applications come and go while the window is open: the menu is read again as it opens.
    connect(m_runningMenu, &QMenu::aboutToShow, this, &FocusGuardSettingsView::listRunningApps);
    addRow->addWidget(m_addRunning);
    auto* choose = new QPushButton(QStringLiteral("Choose…"), group);
    choose->setObjectName(QStringLiteral("chooseAppButton"));
    choose->setAccessibleName(choose->text());
    choose->setToolTip(QStringLiteral("Pick an app that isn't running right now"));
    connect(choose, &QPushButton::clicked, this, &FocusGuardSettingsView::chooseApplication);
    addRow->addWidget(choose);
    addRow->addStretch();
    column->addLayout(addRow);

    layout->addWidget(captionLabel(QStringLiteral("Anything that arrives while you're busy still "
                                                  "lands in the Inbox and is counted — only the "
                                                  "window coming forward is held back."),
        group));

    // Queued: the row whose button removed a rule is still in its click handler.
    connect(&m_guard, &FocusGuard::rulesChanged, this, &FocusGuardSettingsView::rebuildRules,
        Qt::QueuedConnection);
    rebuildRules();
    listRunningApps();
    // Someone who started an application comes back here to add it.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive && isVisible())
            listRunningApps();
    });
}

void FocusGuardSettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    listRunningApps();
}

void FocusGuardSettingsView::showHeldBack()
{
    m_heldBack->setText(QLocale().toString(m_guard.heldBack())
        + QStringLiteral(" arrived without interrupting you"));
}

void FocusGuardSettingsView::rebuildRules()
{
    while (QLayoutItem* item = m_rules->takeAt(0)) {
        if (QWidget* row = item->widget()) {
            row->hide();
            row->deleteLater();
        }
        delete item;
    }
    for (int i = 0; i < m_guard.rules().size(); ++i)
        m_rules->addWidget(makeRuleRow(i));
    m_emptyHint->setVisible(m_guard.rules().isEmpty());
}

QWidget* FocusGuardSettingsView::makeRuleRow(int index)
{
    const FocusGuard::Rule rule = m_guard.rules().at(index);
    auto* row = new QWidget(this);
    row->setObjectName(QStringLiteral("focusRule"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    auto* icon = new QLabel(row);
    icon->setFixedWidth(kIconSize);
    QIcon image = m_guard.icon(rule.bundleID);
    // The placeholder keeps the names lined up under the rows that have an icon.
    if (image.isNull())
        image = symbolIcon(QStringLiteral("app.dashed"), palette(), QPalette::PlaceholderText);
    icon->setPixmap(image.pixmap(QSize(kIconSize, kIconSize), devicePixelRatioF()));
    layout->addWidget(icon);

    auto* name = plainLabel(rule.name, row);
    name->setObjectName(QStringLiteral("focusRuleName"));
    layout->addWidget(name, 1);

    auto* trigger = new QComboBox(row);
    trigger->setObjectName(QStringLiteral("focusRuleTrigger"));
    trigger->setAccessibleName(QStringLiteral("When ") + rule.name + QStringLiteral(" holds"));
    trigger->setFixedWidth(kPickerWidth);
    for (const auto& [value, label] : kTriggerLabels) {
        trigger->addItem(label, FocusGuard::toString(value));
        if (value == rule.trigger)
            trigger->setCurrentIndex(trigger->count() - 1);
    }
    const QString id = rule.bundleID;
    connect(trigger, &QComboBox::activated, this,
        [this, id](int chosen) { m_guard.setTrigger(kTriggerLabels.at(chosen).first, id); });
    layout->addWidget(trigger);

    auto* remove = new QToolButton(row);
    remove->setObjectName(QStringLiteral("focusRuleRemove"));
    remove->setAutoRaise(true);
    remove->setIcon(symbolIcon(QStringLiteral("minus.circle"), palette()));
    const QString help
        = QStringLiteral("Stop treating ") + rule.name + QStringLiteral(" as a reason to wait");
    // Marked up so that the escaped name shows as typed.
    remove->setToolTip(QStringLiteral("<p>%1</p>").arg(help.toHtmlEscaped()));
    remove->setAccessibleName(help);
    connect(remove, &QToolButton::clicked, this, [this, id] { m_guard.removeRule(id); });
    layout->addWidget(remove);
    return row;
}

void FocusGuardSettingsView::listRunningApps()
{
    m_runningMenu->clear();
    for (const platform::RunningApplication& app : m_guard.runningAppCandidates()) {
        const QString label = app.name.isEmpty() ? QStringLiteral("App") : app.name;
        QAction* entry = m_runningMenu->addAction(m_guard.icon(app.bundleId), menuText(label));
        entry->setData(app.pid);
        // What was read when the menu was made: an application that quits meanwhile still adds.
        const QString id = app.bundleId;
        const QString name = app.name.isEmpty() ? app.bundleId : app.name;
        connect(entry, &QAction::triggered, this,
            [this, id, name] { m_guard.addRule(id, name, Trigger::frontmost); });
    }
    m_addRunning->setEnabled(!m_runningMenu->isEmpty());
}

void FocusGuardSettingsView::chooseApplication()
{
    auto* sheet = new ApplicationChooserSheet(this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &ApplicationChooserSheet::chosen, this, [this](const QStringList& files) {
        for (const QString& file : files)
            m_guard.addApplication(file, Trigger::frontmost);
    });
    sheet->open();
}

} // namespace vesker
