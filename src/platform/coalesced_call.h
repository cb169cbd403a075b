#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <utility>

namespace vesker::platform {

// Runs its function once on a later turn of the event loop, however often it is asked before
// then. A view that redraws on every change of its sources asks through this, so a burst of
// changes redraws once, and never under a widget whose own signal asked. The call is dropped
// with its context object.
class CoalescedCall {
public:
    CoalescedCall(QObject* context, std::function<void()> function)
        : m_context(context)
        , m_function(std::move(function))
    { }

    void request()
    {
        if (m_queued)
            return;
        m_queued = true;
        QTimer::singleShot(0, m_context, [this] {
            m_queued = false;
            m_function();
        });
    }

private:
    QObject* m_context;
    std::function<void()> m_function;
    bool m_queued = false;
};

} // namespace vesker::platform
