#include "shots.h"

#include "focus_guard/focus_guard.h"
#include "focus_guard/focus_guard_settings_view.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/workspace.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>

namespace vesker::shots {

namespace {

// A desktop with a video call in front and a slide show open; the shots have no window manager.
class DemoWorkspace final : public platform::Workspace {
public:
    QList<platform::RunningApplication> runningApplications() override
    {
        return {{u"org.example.Call"_qs, QStringLiteral("Team Call"), 101},
            {u"org.example.Slides"_qs, QStringLiteral("Slides"), 102},
            {u"org.gnome.TextEditor"_qs, QStringLiteral("Text Editor"), 103}};
    }
    QString frontmostBundleId() override { return QStringLiteral("org.example.Call"); }
    QString iconName(const QString& id) override
    {
        // One without an icon shows the placeholder.
        return id == u"org.example.Slides"_qs ? QString() : QStringLiteral(":/icons/iphone.svg");
    }
};

void writeApp(const QString& folder, const QString& id, const QString& name, const char* icon)
{
    QFile file(folder + u'/' + id + QStringLiteral(".desktop"));
    if (file.open(QIODevice::WriteOnly)) {
        file.write("[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nIcon=:/icons/"
            + icon + ".svg\n");
    }
}

} // namespace

void focusGuardShots()
{
    QTemporaryDir dir;
    platform::Defaults defaults(
        dir.filePath(QStringLiteral("defaults.json")), platform::Clock::system());
    DemoWorkspace workspace;
    FocusGuard guard(defaults, workspace);
    guard.addRule(u"org.example.Slides"_qs, QStringLiteral("Slides"), FocusGuard::Trigger::running);
    guard.addRule(
        u"org.example.Call"_qs, QStringLiteral("Team Call"), FocusGuard::Trigger::frontmost);
    guard.setHeldBack(3);

    const QString applications = dir.filePath(QStringLiteral("data/applications"));
    QDir().mkpath(applications);
    writeApp(applications, u"org.example.Call"_qs, QStringLiteral("Team Call"), "person.2");
    writeApp(applications, u"org.example.Slides"_qs, QStringLiteral("Slides"), "photo");
    writeApp(applications, u"org.example.Draw"_qs, QStringLiteral("Drawing Board"), "paperplane");
    writeApp(applications, u"org.example.Mail"_qs, QStringLiteral("Mail & Calendar"), "tray");
    const QByteArray dataDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_DIRS", dir.filePath(QStringLiteral("data")).toLocal8Bit());

    QWidget frame;
    frame.resize(620, 10);
    FocusGuardSettingsView view(guard, &frame);
    view.resize(600, view.sizeHint().height());
    view.move(10, 10);
    frame.resize(620, view.height() + 20);
    save(frame, QStringLiteral("focus_guard_section"));

    auto* menu = view.findChild<QMenu*>(QStringLiteral("runningAppMenu"));
    Q_EMIT menu->aboutToShow();
    menu->adjustSize();
    save(*menu, QStringLiteral("focus_guard_running_menu"));
    menu->hide();

    view.chooseApplication();
    if (auto* chooser = view.findChild<QDialog*>(QStringLiteral("applicationChooser"))) {
        auto* list = chooser->findChild<QListWidget*>(QStringLiteral("applicationList"));
        list->item(0)->setSelected(true);
        list->item(2)->setSelected(true);
        save(*chooser, QStringLiteral("focus_guard_chooser"));
        chooser->reject();
    }
    qputenv("XDG_DATA_DIRS", dataDirs);
}

} // namespace vesker::shots
