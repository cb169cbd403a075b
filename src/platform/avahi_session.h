#pragma once

#include <avahi-client/client.h>

#include <QObject>
#include <QString>

class QThread;
class QTimer;

namespace vesker::platform {

class AvahiQtPoll;

// The process's one thread for DNS-SD: every Avahi client and its poll live there, because
// making a client waits on the system bus, which a hung daemon can stall for 25 s. Started on
// first use; it ends with the application.
QThread* dnsSdThread();

// One Avahi client that follows the daemon: made by start(), on the DNS-SD thread, and made
// again (after 1 s, then ever more slowly up to once a minute) whenever it fails or cannot be
// made. Subclasses publish or read through client() while it runs. Lives on the DNS-SD thread
// from start() on and is deleted there (deleteLater), which frees the client.
class AvahiSession : public QObject {
    Q_OBJECT
public:
    explicit AvahiSession(QObject* parent = nullptr);
    ~AvahiSession() override;

    // Moves the session to the DNS-SD thread and makes the client there.
    void start();

protected:
    AvahiClient* client() const { return m_client; }
    // A state of the client other than a failure. The first come from inside the making of the
    // client. `client()` is set.
    virtual void clientStateChanged(AvahiClientState state) = 0;
    // The client could not be made or has failed; the session tries again later.
    virtual void clientFailed(const QString& reason) = 0;
    // Drops the client and tries again later. Safe from inside Avahi's callbacks.
    void restartLater();
    // Things work again: the next failure is retried after 1 s again.
    void resetBackoff();

private:
    void connectClient();
    void dropClient();
    void scheduleRetry();
    static void onClientState(AvahiClient* client, AvahiClientState state, void* userdata);

    // Freed after the client, which frees its watches into it.
    AvahiQtPoll* m_poll = nullptr;
    AvahiClient* m_client = nullptr;
    QTimer* m_retryTimer = nullptr;
    int m_retryMs;
    bool m_restartPending = false;
    bool m_closing = false;
};

QString avahiError(int error);

} // namespace vesker::platform
