#include "focus_guard/focus_guard.h"
#include "focus_guard/focus_guard_settings_view.h"

#include "platform/defaults.h"
#include "platform/workspace.h"
#include "support/fake_workspace.h"
#include "support/manual_clock.h"
#include "support/temp_env.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;
using Trigger = FocusGuard::Trigger;

namespace {

const test::ManualClock kSettingsClock;

QString settingsFile(const char* name)
{
    return test::testHome() + u"/settings-"_s + QLatin1String(name) + u".json"_s;
}

// An applications folder of the test's own, first in $XDG_DATA_DIRS.
void writeDesktopFile(const QString& id, const QByteArray& entry)
{
    const QString data = test::testHome() + u"/data"_s;
    QDir().mkpath(data + u"/applications"_s);
    qputenv("XDG_DATA_DIRS", data.toLocal8Bit());
    QFile file(data + u"/applications/"_s + id + u".desktop"_s);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\n" + entry);
}

QStringList ruleNames(const FocusGuardSettingsView& view)
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList names;
    for (const QLabel* label : view.findChildren<QLabel*>(u"focusRuleName"_s))
        names.append(label->text());
    return names;
}

} // namespace

TEST(FocusGuard, FirstMatchingReasonHoldsTheArrivalBack)
{
    struct Row {
        const char* name;
        bool doNotDisturb;
        QList<FocusGuard::Rule> rules;
        QStringList running;
        QString front;
        std::optional<QString> reason;
    };
    const FocusGuard::Rule slides {u"org.example.Slides"_s, u"Slides"_s, Trigger::running};
    const FocusGuard::Rule call {u"org.example.Call"_s, u"Call"_s, Trigger::frontmost};
    const QList<Row> rows {
        {"nothing matches", false, {slides, call}, {u"org.gnome.Nautilus"_s}, {}, std::nullopt},
        {"Do Not Disturb comes first", true, {slides}, {slides.bundleID}, {},
            u"Do Not Disturb is on"_s},
        {"running", false, {call, slides}, {slides.bundleID}, {}, u"Slides is open"_s},
        {"running but not in front", false, {call}, {call.bundleID}, slides.bundleID, std::nullopt},
        {"in front", false, {call}, {call.bundleID}, call.bundleID, u"Call is in front"_s},
        {"the earlier rule speaks", false, {call, slides}, {slides.bundleID}, call.bundleID,
            u"Call is in front"_s},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(settingsFile("table"));
        platform::Defaults defaults(settingsFile("table"), kSettingsClock);
        test::FakeWorkspace workspace;
        for (const QString& id : row.running)
            workspace.running.append({.bundleId = id, .name = id});
        FocusGuard guard(defaults, workspace);
        guard.setDoNotDisturb(row.doNotDisturb);
        for (const auto& rule : row.rules)
            guard.addRule(rule.bundleID, rule.name, rule.trigger);
        // The front application is followed as the desktop announces it.
        workspace.activate(row.front);
        QCoreApplication::processEvents();

        EXPECT_EQ(guard.holdArrival(), row.reason);
        EXPECT_EQ(guard.heldBack(), row.reason ? 1 : 0);
    }
}

TEST(FocusGuard, RulesAndDoNotDisturbOutliveARestartButTheCountDoesNot)
{
    const QString file = settingsFile("restart");
    test::FakeWorkspace workspace;
    {
        platform::Defaults defaults(file, kSettingsClock);
        FocusGuard guard(defaults, workspace);
        guard.addRule(u"org.example.Slides"_s, u"Slides"_s, Trigger::running);
        guard.addRule(u"org.example.Call"_s, u"Call"_s, Trigger::running);
        guard.addRule(u"org.example.Slides"_s, u"Other"_s, Trigger::frontmost); // already listed
        guard.setTrigger(Trigger::frontmost, u"org.example.Call"_s);
        guard.removeRule(u"org.example.Missing"_s);
        guard.setDoNotDisturb(true);
        guard.setHeldBack(3);
    }
    platform::Defaults defaults(file, kSettingsClock);
    FocusGuard guard(defaults, workspace);
    const QList<FocusGuard::Rule> expected {
        {u"org.example.Slides"_s, u"Slides"_s, Trigger::running},
        {u"org.example.Call"_s, u"Call"_s, Trigger::frontmost},
    };
    EXPECT_EQ(guard.rules(), expected);
    EXPECT_TRUE(guard.doNotDisturb());
    EXPECT_EQ(guard.heldBack(), 0);

    // One element with an unknown trigger drops the list for this run, and the stored data stays
    // until the next change.
    const QByteArray damaged
        = R"([{"bundleID":"a","name":"A","trigger":"running"},{"bundleID":"b","name":"B","trigger":"sometimes"}])";
    defaults.setBytes(u"focusGuardRules"_s, damaged);
    FocusGuard fresh(defaults, workspace);
    EXPECT_TRUE(fresh.rules().isEmpty());
    EXPECT_EQ(defaults.bytes(u"focusGuardRules"_s), damaged);
}

// Under the X display of scripts/with-test-services: another application's window, named by its
// .desktop file, is seen running and in front, and holds an arrival back.
TEST(FocusGuard, AnotherApplicationOnTheDisplayHoldsTheWindowBack)
{
    if (qEnvironmentVariable("VESKER_TEST_SERVICES") != "1"_L1)
        GTEST_SKIP() << "needs the X display and window manager of scripts/with-test-services";
    // The display of the test services is X11, whatever session the tests were started from.
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("XDG_SESSION_TYPE");

    // A class of this run's own, so that probes of other test runs on the display are other
    // applications.
    const QString wmClass = u"VeskerFocusProbe%1"_s.arg(QCoreApplication::applicationPid());
    const QString iconFile = test::testHome() + u"/probe.png"_s;
    QImage(16, 16, QImage::Format_RGB32).save(iconFile);
    writeDesktopFile(u"org.example.FocusProbe"_s,
        "Name=Focus Probe\nExec=focus-probe-not-installed %U\nIcon=" + iconFile.toUtf8()
            + "\nStartupWMClass=" + wmClass.toUtf8() + "\n");

    platform::X11Workspace workspace;
    ASSERT_TRUE(workspace.isConnected());
    platform::Defaults defaults(settingsFile("x11"), kSettingsClock);
    FocusGuard guard(defaults, workspace);
    FocusGuardSettingsView view(guard);
    auto* menu = view.findChild<QMenu*>(u"runningAppMenu"_s);

    QProcess probe;
    probe.start(QStringLiteral(VESKER_FOCUS_PROBE), {wmClass});
    ASSERT_TRUE(probe.waitForStarted());
    const auto stopProbe = qScopeGuard([&] {
        probe.kill();
        probe.waitForFinished();
    });

    const QString id = u"org.example.FocusProbe"_s;
    ASSERT_TRUE(QTest::qWaitFor([&] { return guard.frontmostBundleID() == id; }, 10000))
        << "front: " << guard.frontmostBundleID().toStdString();
    // Picked from the running applications as the user sees them: name and icon of its file.
    Q_EMIT menu->aboutToShow();
    const QList<QAction*> entries = menu->actions();
    const auto entry = std::find_if(entries.begin(), entries.end(),
        [](const QAction* action) { return action->text() == u"Focus Probe"_s; });
    ASSERT_NE(entry, entries.end());
    EXPECT_FALSE((*entry)->icon().isNull());
    (*entry)->trigger();

    const auto running = workspace.runningApplications();
    const auto probeApp = std::find_if(
        running.begin(), running.end(), [&](const auto& app) { return app.bundleId == id; });
    ASSERT_NE(probeApp, running.end());
    EXPECT_EQ(probeApp->pid, probe.processId());

    EXPECT_EQ(guard.holdArrival(), u"Focus Probe is in front"_s);
    EXPECT_EQ(guard.heldBack(), 1);

    // Once it is gone, it neither runs nor stays in front.
    guard.setTrigger(Trigger::running, id);
    probe.kill();
    probe.waitForFinished();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !guard.holdReason(); }, 10000));
    EXPECT_EQ(guard.heldBack(), 1);
}

// The section as the user works it: applications chosen from the installed ones start as
// "only when it's in front", and the list and its hints follow every change.
TEST(FocusGuard, SettingsSectionAddsChangesAndRemovesRules)
{
    for (const char* name : {"Zeta", "Alpha", "Mid"})
        writeDesktopFile(
            u"org.example."_s + QLatin1String(name), "Name=" + QByteArray(name) + "\n");
    platform::Defaults defaults(settingsFile("view"), kSettingsClock);
    test::FakeWorkspace workspace; // nothing else runs
    FocusGuard guard(defaults, workspace);
    FocusGuardSettingsView view(guard);
    auto* hint = view.findChild<QLabel*>(u"focusRulesEmptyHint"_s);
    auto* held = view.findChild<QLabel*>(u"heldBackLabel"_s);
    EXPECT_FALSE(view.findChild<QPushButton*>(u"addRunningAppButton"_s)->isEnabled());
    EXPECT_TRUE(hint->isVisibleTo(&view));
    EXPECT_FALSE(held->isVisibleTo(&view));

    view.chooseApplication();
    auto* list = view.findChild<QListWidget*>(u"applicationList"_s);
    ASSERT_NE(list, nullptr);
    for (QListWidgetItem* item : list->findItems(u"a"_s, Qt::MatchContains)) // not "Mid"
        item->setSelected(true);
    view.findChild<QPushButton*>(u"addApplicationsButton"_s)->click();
    EXPECT_EQ(ruleNames(view), QStringList({u"Alpha"_s, u"Zeta"_s}));
    EXPECT_FALSE(hint->isVisibleTo(&view));

    EXPECT_EQ(guard.rules().first().trigger, Trigger::frontmost);
    auto* picker = view.findChild<QComboBox*>(u"focusRuleTrigger"_s);
    picker->setCurrentIndex(0);
    Q_EMIT picker->activated(0);
    EXPECT_EQ(guard.rules().first().trigger, Trigger::running);

    guard.setHeldBack(2);
    EXPECT_TRUE(held->isVisibleTo(&view));

    for (int i = 0; i < 2; ++i) {
        view.findChild<QToolButton*>(u"focusRuleRemove"_s)->click();
        ruleNames(view);
    }
    EXPECT_TRUE(ruleNames(view).isEmpty());
    EXPECT_TRUE(hint->isVisibleTo(&view));
}
