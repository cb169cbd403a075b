#include "card/front_app_paste_view.h"

#include "platform/key_synth.h"
#include "platform/permissions.h"
#include "ui/tray_availability.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QKeySequence>
#include <QTimer>
#include <QWidget>

namespace vesker {

namespace {

// Long enough for the window manager to hand the focus back before the keys arrive.
constexpr int kPasteDelayMs = 350;

// Puts a window back where it was once it is shown again: a window manager places a window that
// was hidden as if it were new.
class KeepPlace : public QObject {
public:
    static constexpr auto kName = "keepPlace";

    explicit KeepPlace(QWidget& window)
        : QObject(&window)
        , m_at(window.pos())
    {
        setObjectName(QString::fromLatin1(kName));
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::WindowStateChange) {
            auto* window = static_cast<QWidget*>(watched);
            if (window->isVisible() && !window->isMinimized()) {
                window->move(m_at);
                // Some window managers place the window after it is mapped: once more then.
                QTimer::singleShot(0, window, [window, at = m_at] { window->move(at); });
                deleteLater();
            }
        }
        return false;
    }

private:
    QPoint m_at;
};

// Out of the way of the window the keys go to. With a tray the window hides and comes back from
// there; without one a hidden window would have no way back, so it keeps its task bar entry.
void stepAside(QWidget& window)
{
    for (QObject* earlier : window.findChildren<QObject*>(
             QString::fromLatin1(KeepPlace::kName), Qt::FindDirectChildrenOnly))
        delete earlier;
    new KeepPlace(window);
    if (TrayAvailability::availableNow())
        window.hide();
    else
        window.showMinimized();
}

} // namespace

bool pasteIntoFrontApp(const QString& value, QWidget* window, Permissions& permissions)
{
    QGuiApplication::clipboard()->setText(value);
    if (!platform::KeySynth::available()) {
        // Other parts of the program show the permission's state; let them catch up.
        permissions.refresh();
        openPrivacySettings(QStringLiteral("Privacy_Accessibility"));
        return false;
    }
    if (window)
        stepAside(*window->window());
    QTimer::singleShot(kPasteDelayMs, qApp, [] { platform::KeySynth::pasteIntoPreviousWindow(); });
    return true;
}

QString pasteByHandText()
{
    return QStringLiteral("Copied — press %1 in the other app")
        .arg(QKeySequence(Qt::CTRL | Qt::Key_V).toString(QKeySequence::NativeText));
}

} // namespace vesker
