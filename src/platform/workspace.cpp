#include "platform/workspace.h"

#include "platform/log.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSocketNotifier>

#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdlib>

namespace vesker::platform {

namespace {

// Asked on the main thread at each arrival: a display that does not answer within this time
// counts as having nothing to say.
constexpr int kReplyDeadlineMs = 250;
// In 32-bit units, as the protocol counts property lengths.
constexpr uint32_t kMaxClients = 4096;
constexpr uint32_t kMaxClassUnits = 64;

bool isWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

QString executableOfProcess(qint64 pid)
{
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    const QString exe = QFile::symLinkTarget(proc + QStringLiteral("exe"));
    if (!exe.isEmpty())
        return QFileInfo(exe).fileName();
    QFile comm(proc + QStringLiteral("comm"));
    if (comm.open(QIODevice::ReadOnly))
        return QString::fromUtf8(comm.read(64)).trimmed();
    return {};
}

} // namespace

struct X11Workspace::Connection {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_atom_t activeWindow = XCB_NONE;
    xcb_atom_t clientList = XCB_NONE;
    xcb_atom_t wmPid = XCB_NONE;
    std::unique_ptr<QSocketNotifier> notifier;

    ~Connection()
    {
        notifier.reset();
        if (c)
            xcb_disconnect(c);
    }

    bool ok() const { return c && !xcb_connection_has_error(c); }

    bool isActivation(const xcb_generic_event_t* event) const
    {
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        return change->window == root && change->atom == activeWindow;
    }

    // The reply to `sequence`, or nothing when it is an error, the connection broke or the
    // server did not answer before `deadline`. The caller frees it.
    template <typename Reply> Reply* reply(unsigned int sequence, const QDeadlineTimer& deadline)
    {
        xcb_flush(c);
        for (;;) {
            void* answer = nullptr;
            xcb_generic_error_t* error = nullptr;
            if (xcb_poll_for_reply(c, sequence, &answer, &error)) {
                std::free(error);
                return static_cast<Reply*>(answer);
            }
            if (xcb_connection_has_error(c))
                return nullptr;
            const qint64 left = deadline.remainingTime();
            if (left <= 0) {
                xcb_discard_reply(c, sequence);
                return nullptr;
            }
            pollfd fd {xcb_get_file_descriptor(c), POLLIN, 0};
            ::poll(&fd, 1, int(left));
        }
    }

    xcb_atom_t atom(const char* name, const QDeadlineTimer& deadline)
    {
        const auto cookie = xcb_intern_atom(c, 0, uint16_t(qstrlen(name)), name);
        auto* answer = reply<xcb_intern_atom_reply_t>(cookie.sequence, deadline);
        const xcb_atom_t result = answer ? answer->atom : XCB_NONE;
        std::free(answer);
        return result;
    }

    xcb_get_property_cookie_t property(
        xcb_window_t window, xcb_atom_t name, xcb_atom_t type, uint32_t units)
    {
        return xcb_get_property(c, 0, window, name, type, 0, units);
    }
};

struct X11Workspace::WindowIdentity {
    QString instance;
    QString wmClass;
    qint64 pid = 0;
};

X11Workspace::X11Workspace(QObject* parent)
    : Workspace(parent)
    , m_x(std::make_unique<Connection>())
{
    if (isWaylandSession()) {
        m_frontmostKnowable = false;
        qCInfo(lcApp) << "[workspace] a Wayland session does not say which application is in "
                         "front: rules for the front application never match";
    }
    int screenNumber = 0;
    xcb_connection_t* c
        = qEnvironmentVariableIsEmpty("DISPLAY") ? nullptr : xcb_connect(nullptr, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        if (m_frontmostKnowable) {
            qCInfo(lcApp) << "[workspace] no X display: no application counts as running or in "
                             "front, so focus rules never match";
        }
        m_frontmostKnowable = false;
        return;
    }
    m_x->c = c;
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    m_x->root = screens.rem > 0 ? screens.data->root : XCB_NONE;

    const QDeadlineTimer deadline(kReplyDeadlineMs);
    m_x->activeWindow = m_x->atom("_NET_ACTIVE_WINDOW", deadline);
    m_x->clientList = m_x->atom("_NET_CLIENT_LIST", deadline);
    m_x->wmPid = m_x->atom("_NET_WM_PID", deadline);

    // The window manager announces each activation by changing the root window's property.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, m_x->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    m_x->notifier
        = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    connect(m_x->notifier.get(), &QSocketNotifier::activated, this, &X11Workspace::readEvents);
}

X11Workspace::~X11Workspace() = default;

bool X11Workspace::isConnected() const
{
    return m_x->ok();
}

void X11Workspace::readEvents()
{
    if (!m_x->ok()) {
        if (m_x->notifier)
            m_x->notifier->setEnabled(false);
        return;
    }
    bool activated = m_activeChanged;
    m_activeChanged = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_x->c)) {
        activated = m_x->isActivation(event) || activated;
        std::free(event);
    }
    if (activated)
        Q_EMIT frontmostChanged(frontmostBundleId());
}

void X11Workspace::takeQueuedEvents()
{
    // Waiting for a reply reads whatever events came before it; the socket notifier will not
    // fire for those, so they are looked at here and answered from the event loop.
    bool activated = false;
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(m_x->c)) {
        activated = m_x->isActivation(event) || activated;
        std::free(event);
    }
    if (activated && !m_activeChanged) {
        m_activeChanged = true;
        QMetaObject::invokeMethod(this, &X11Workspace::readEvents, Qt::QueuedConnection);
    }
}

QList<X11Workspace::WindowIdentity> X11Workspace::identify(const QList<quint32>& windows)
{
    QList<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
    for (const quint32 window : windows) {
        cookies.append({m_x->property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, kMaxClassUnits),
            m_x->property(window, m_x->wmPid, XCB_ATOM_CARDINAL, 1)});
    }
    const QDeadlineTimer deadline(kReplyDeadlineMs);
    QList<WindowIdentity> result;
    for (const auto& [classCookie, pidCookie] : cookies) {
        WindowIdentity identity;
        if (auto* answer = m_x->reply<xcb_get_property_reply_t>(classCookie.sequence, deadline)) {
            const auto* bytes = static_cast<const char*>(xcb_get_property_value(answer));
            // Two strings, each ended by a NUL: the instance name, then the class.
            const QList<QByteArray> parts
                = QByteArray(bytes, xcb_get_property_value_length(answer)).split('\0');
            identity.instance = QString::fromUtf8(parts.value(0));
            identity.wmClass = QString::fromUtf8(parts.value(1));
            std::free(answer);
        }
        if (auto* answer = m_x->reply<xcb_get_property_reply_t>(pidCookie.sequence, deadline)) {
            if (answer->format == 32 && xcb_get_property_value_length(answer) >= 4)
                identity.pid = *static_cast<const uint32_t*>(xcb_get_property_value(answer));
            std::free(answer);
        }
        if (!identity.instance.isEmpty() || !identity.wmClass.isEmpty())
            result.append(identity);
    }
    takeQueuedEvents();
    return result;
}

RunningApplication X11Workspace::applicationOf(const WindowIdentity& window)
{
    const QString executable = window.pid > 0 ? executableOfProcess(window.pid) : QString();
    if (const auto app = m_index.match(window.instance, window.wmClass, executable))
        return {.bundleId = app->id, .name = app->name, .pid = window.pid};
    const QString wmClass = window.wmClass.isEmpty() ? window.instance : window.wmClass;
    return {.bundleId = wmClass, .name = wmClass, .pid = window.pid};
}

QList<RunningApplication> X11Workspace::runningApplications()
{
    if (!m_x->ok() || m_x->clientList == XCB_NONE)
        return {};
    const auto cookie = m_x->property(m_x->root, m_x->clientList, XCB_ATOM_WINDOW, kMaxClients);
    QList<quint32> windows;
    if (auto* answer
        = m_x->reply<xcb_get_property_reply_t>(cookie.sequence, QDeadlineTimer(kReplyDeadlineMs))) {
        if (answer->format == 32) {
            const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(answer));
            const int count = xcb_get_property_value_length(answer) / 4;
            windows = QList<quint32>(ids, ids + count);
        }
        std::free(answer);
    }
    QList<RunningApplication> apps;
    QSet<QString> seen;
    for (const WindowIdentity& window : identify(windows)) {
        RunningApplication app = applicationOf(window);
        if (!seen.contains(app.bundleId)) {
            seen.insert(app.bundleId);
            apps.append(std::move(app));
        }
    }
    return apps;
}

QString X11Workspace::frontmostBundleId()
{
    if (!m_frontmostKnowable || !m_x->ok() || m_x->activeWindow == XCB_NONE)
        return {};
    const auto cookie = m_x->property(m_x->root, m_x->activeWindow, XCB_ATOM_WINDOW, 1);
    xcb_window_t active = XCB_NONE;
    if (auto* answer
        = m_x->reply<xcb_get_property_reply_t>(cookie.sequence, QDeadlineTimer(kReplyDeadlineMs))) {
        if (answer->format == 32 && xcb_get_property_value_length(answer) >= 4)
            active = *static_cast<const xcb_window_t*>(xcb_get_property_value(answer));
        std::free(answer);
    }
    if (active == XCB_NONE)
        return {};
    const QList<WindowIdentity> identity = identify({active});
    return identity.isEmpty() ? QString() : applicationOf(identity.first()).bundleId;
}

QString X11Workspace::iconName(const QString& bundleId)
{
    const auto app = m_index.find(bundleId);
    return app ? app->iconName : QString();
}

Workspace& Workspace::system()
{
    // Lives as long as the process: the focus guard listens to it until the end.
    static X11Workspace* const instance = new X11Workspace;
    return *instance;
}

} // namespace vesker::platform
