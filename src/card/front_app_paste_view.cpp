#include "card/front_app_paste_view.h"

#include "platform/key_synth.h"
#include "platform/permissions.h"

#include <QApplication>
#include <QClipboard>
#include <QKeySequence>
#include <QTimer>
#include <QWidget>

namespace vesker {

namespace {

// Long enough for the window manager to hand the focus back before the keys arrive.
constexpr int kPasteDelayMs = 350;

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
        window->window()->hide();
    QTimer::singleShot(kPasteDelayMs, qApp, [] { platform::KeySynth::pasteIntoPreviousWindow(); });
    return true;
}

QString pasteByHandText()
{
    return QStringLiteral("Copied — press %1 in the other app")
        .arg(QKeySequence(Qt::CTRL | Qt::Key_V).toString(QKeySequence::NativeText));
}

} // namespace vesker
