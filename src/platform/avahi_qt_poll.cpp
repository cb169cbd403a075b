#include "platform/avahi_qt_poll.h"

#include <QSocketNotifier>
#include <QTimer>

#include <sys/time.h>

#include <algorithm>
#include <limits>

using vesker::platform::AvahiQtPoll;

// Avahi declares these two types and leaves their contents to whoever provides the loop.
struct AvahiWatch {
    AvahiWatchCallback callback = nullptr;
    void* userdata = nullptr;
    int fd = -1;
    AvahiWatchEvent wanted {};
    // What is being dispatched right now, for watch_get_events; 0 outside a callback.
    int happening = 0;
    // Set while a callback runs, so that a watch freed from inside it is not touched after.
    bool* alive = nullptr;
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
};

struct AvahiTimeout {
    AvahiTimeoutCallback callback = nullptr;
    void* userdata = nullptr;
    QTimer* timer = nullptr;
};

namespace {

AvahiQtPoll* pollOf(const AvahiPoll* api)
{
    return static_cast<AvahiQtPoll*>(api->userdata);
}

// Avahi may free a watch or a timeout from inside its own callback, that is from inside the
// notifier's or timer's signal: silence the object at once and let the event loop delete it.
void retire(QObject* object)
{
    if (!object)
        return;
    object->blockSignals(true);
    if (auto* notifier = qobject_cast<QSocketNotifier*>(object))
        notifier->setEnabled(false);
    else if (auto* timer = qobject_cast<QTimer*>(object))
        timer->stop();
    object->deleteLater();
}

void dispatch(AvahiWatch* w, AvahiWatchEvent event)
{
    bool alive = true;
    w->alive = &alive;
    w->happening = event;
    w->callback(w, w->fd, event, w->userdata);
    if (alive) {
        w->happening = 0;
        w->alive = nullptr;
    }
}

void applyEvents(AvahiWatch* w)
{
    w->read->setEnabled(w->wanted & AVAHI_WATCH_IN);
    w->write->setEnabled(w->wanted & AVAHI_WATCH_OUT);
}

AvahiWatch* watchNew(const AvahiPoll* api, int fd, AvahiWatchEvent event,
    AvahiWatchCallback callback, void* userdata)
{
    AvahiQtPoll* poll = pollOf(api);
    auto* w = new AvahiWatch;
    w->callback = callback;
    w->userdata = userdata;
    w->fd = fd;
    w->wanted = event;
    w->read = new QSocketNotifier(fd, QSocketNotifier::Read, poll);
    w->write = new QSocketNotifier(fd, QSocketNotifier::Write, poll);
    // A hang-up or an error wakes the read side in Qt's loop; the reader then finds the end.
    QObject::connect(
        w->read, &QSocketNotifier::activated, poll, [w] { dispatch(w, AVAHI_WATCH_IN); });
    QObject::connect(
        w->write, &QSocketNotifier::activated, poll, [w] { dispatch(w, AVAHI_WATCH_OUT); });
    applyEvents(w);
    return w;
}

void watchUpdate(AvahiWatch* w, AvahiWatchEvent event)
{
    w->wanted = event;
    applyEvents(w);
}

AvahiWatchEvent watchGetEvents(AvahiWatch* w)
{
    return static_cast<AvahiWatchEvent>(w->happening);
}

void watchFree(AvahiWatch* w)
{
    if (w->alive)
        *w->alive = false;
    retire(w->read);
    retire(w->write);
    delete w;
}

// Avahi's times are absolute wall-clock times (gettimeofday); Qt wants a delay.
int millisecondsUntil(const struct timeval* tv)
{
    struct timeval now { };
    gettimeofday(&now, nullptr);
    const long long usec = (static_cast<long long>(tv->tv_sec) - now.tv_sec) * 1000000LL
        + (static_cast<long long>(tv->tv_usec) - now.tv_usec);
    if (usec <= 0)
        return 0;
    // Round up: waking before the deadline would only make Avahi ask again.
    const long long ms = (usec + 999) / 1000;
    return static_cast<int>(std::min<long long>(ms, std::numeric_limits<int>::max()));
}

void timeoutUpdate(AvahiTimeout* t, const struct timeval* tv)
{
    if (!tv) {
        t->timer->stop();
        return;
    }
    t->timer->start(millisecondsUntil(tv));
}

AvahiTimeout* timeoutNew(
    const AvahiPoll* api, const struct timeval* tv, AvahiTimeoutCallback callback, void* userdata)
{
    AvahiQtPoll* poll = pollOf(api);
    auto* t = new AvahiTimeout;
    t->callback = callback;
    t->userdata = userdata;
    t->timer = new QTimer(poll);
    t->timer->setSingleShot(true);
    t->timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(t->timer, &QTimer::timeout, poll, [t] {
        // The callback may free t.
        t->callback(t, t->userdata);
    });
    timeoutUpdate(t, tv);
    return t;
}

void timeoutFree(AvahiTimeout* t)
{
    retire(t->timer);
    delete t;
}

} // namespace

namespace vesker::platform {

AvahiQtPoll::AvahiQtPoll(QObject* parent)
    : QObject(parent)
{
    m_api.userdata = this;
    m_api.watch_new = watchNew;
    m_api.watch_update = watchUpdate;
    m_api.watch_get_events = watchGetEvents;
    m_api.watch_free = watchFree;
    m_api.timeout_new = timeoutNew;
    m_api.timeout_update = timeoutUpdate;
    m_api.timeout_free = timeoutFree;
}

AvahiQtPoll::~AvahiQtPoll() = default;

} // namespace vesker::platform
