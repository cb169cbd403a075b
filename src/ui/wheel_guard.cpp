#include "ui/wheel_guard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>
#include <QWidget>

namespace vesker {

namespace {

bool changesByWheel(const QObject* object)
{
    return qobject_cast<const QComboBox*>(object) || qobject_cast<const QAbstractSpinBox*>(object)
        || (qobject_cast<const QAbstractSlider*>(object)
            && !qobject_cast<const QScrollBar*>(object));
}

class WheelGuard : public QObject {
public:
    explicit WheelGuard(QWidget& window)
        : QObject(&window)
        , m_window(window)
    {
        // Controls are made and polished long after the window, tab by tab.
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        // The pages are made before they are put into the window; their controls are reached
        // as the window shows, the later ones as they are polished.
        if (type == QEvent::Show && watched == &m_window) {
            for (QWidget* child : m_window.findChildren<QWidget*>())
                takeNoWheelFocus(*child);
            return false;
        }
        if ((type != QEvent::Wheel && type != QEvent::Polish) || !changesByWheel(watched))
            return false;
        auto* control = static_cast<QWidget*>(watched);
        if (!m_window.isAncestorOf(control))
            return false;
        if (type == QEvent::Polish) {
            takeNoWheelFocus(*control);
            return false;
        }
        const QWidget* focus = QApplication::focusWidget();
        if (focus && (focus == control || control->isAncestorOf(focus)))
            return false;
        // Not taken: the application hands an ignored wheel on to the parents, up to the page's
        // scroll area.
        event->ignore();
        return true;
    }

private:
    static void takeNoWheelFocus(QWidget& control)
    {
        if (changesByWheel(&control) && (control.focusPolicy() & Qt::WheelFocus & ~Qt::StrongFocus))
            control.setFocusPolicy(Qt::StrongFocus);
    }

    QWidget& m_window;
};

} // namespace

void wheelChangesOnlyFocusedControls(QWidget& window)
{
    new WheelGuard(window);
}

} // namespace vesker
