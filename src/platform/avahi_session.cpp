#include "platform/avahi_session.h"

#include "platform/avahi_qt_poll.h"

#include <avahi-common/error.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace vesker::platform {

namespace {

constexpr int kFirstRetryMs = 1000;
constexpr int kLastRetryMs = 60000;
// At exit, a thread stuck on a hung bus is not waited for longer than this.
constexpr int kExitWaitMs = 2000;

QThread* g_thread = nullptr;

void endDnsSdThread()
{
    // Sessions deleted before this point are freed by the thread as it ends, which withdraws
    // what they published.
    g_thread->quit();
    g_thread->wait(kExitWaitMs);
}

} // namespace

QThread* dnsSdThread()
{
    static QThread* thread = [] {
        // Not deleted: it may still be stuck in a bus call when the application ends.
        g_thread = new QThread;
        g_thread->setObjectName(QStringLiteral("Vesker.dnssd"));
        g_thread->start();
        qAddPostRoutine(endDnsSdThread);
        return g_thread;
    }();
    return thread;
}

QString avahiError(int error)
{
    return QString::fromUtf8(avahi_strerror(error));
}

AvahiSession::AvahiSession(QObject* parent)
    : QObject(parent)
    , m_poll(new AvahiQtPoll(this))
    , m_retryTimer(new QTimer(this))
    , m_retryMs(kFirstRetryMs)
{
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer, &QTimer::timeout, this, &AvahiSession::connectClient);
}

AvahiSession::~AvahiSession()
{
    // Frees the client's entry groups too; the daemon withdraws what they published.
    m_closing = true;
    dropClient();
}

void AvahiSession::start()
{
    moveToThread(dnsSdThread());
    QMetaObject::invokeMethod(this, &AvahiSession::connectClient, Qt::QueuedConnection);
}

void AvahiSession::connectClient()
{
    int error = AVAHI_OK;
    // NO_FAIL: with the bus up but no daemon yet, the client waits for the daemon to appear
    // instead of failing.
    AvahiClient* made
        = avahi_client_new(m_poll->api(), AVAHI_CLIENT_NO_FAIL, onClientState, this, &error);
    if (!made) {
        // The client the callback may have seen is freed already.
        m_client = nullptr;
        clientFailed(QStringLiteral("cannot reach avahi-daemon over the system bus (%1)")
                         .arg(avahiError(error)));
        scheduleRetry();
        return;
    }
    m_client = made;
}

void AvahiSession::dropClient()
{
    if (m_client)
        avahi_client_free(m_client);
    m_client = nullptr;
}

void AvahiSession::scheduleRetry()
{
    m_retryTimer->start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, kLastRetryMs);
}

void AvahiSession::resetBackoff()
{
    m_retryMs = kFirstRetryMs;
}

void AvahiSession::restartLater()
{
    // Called from Avahi's callbacks: the client is in use further up the stack, so it is freed
    // from the event loop, not here.
    if (m_restartPending)
        return;
    m_restartPending = true;
    QTimer::singleShot(0, this, [this] {
        m_restartPending = false;
        dropClient();
        scheduleRetry();
    });
}

void AvahiSession::onClientState(AvahiClient* client, AvahiClientState state, void* userdata)
{
    auto* session = static_cast<AvahiSession*>(userdata);
    if (session->m_closing)
        return;
    // The first calls come from inside avahi_client_new, before it has returned the client.
    session->m_client = client;
    if (state == AVAHI_CLIENT_FAILURE) {
        session->clientFailed(QStringLiteral("lost the connection to avahi-daemon (%1)")
                                  .arg(avahiError(avahi_client_errno(client))));
        session->restartLater();
        return;
    }
    session->clientStateChanged(state);
}

} // namespace vesker::platform
