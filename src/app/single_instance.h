#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace vesker {

// One copy of the program per user. The first copy holds a lock and listens on a local socket
// in the user's runtime folder; a later launch hands its request (show the window, perhaps an
// opened invite link) to it over that socket and exits, so that it never touches the store or
// the port.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        running, // this is the only copy; requests from later launches arrive as signals
        handedOver, // the running copy took the request; exit 0
        unanswered, // a copy runs but did not answer; do not start a second one
    };

    // Limits on what a connection may send: one line, of at most this many bytes, within
    // kReadTimeoutMs (a later launch writes it as soon as it is connected). At most
    // kMaxConnections wait for their line at once; past that the one that has waited longest
    // is cut, so that silent connections, however many, cannot keep a real launch out.
    static constexpr qsizetype kMaxUrlLength = 2048;
    static constexpr qsizetype kMaxMessage = kMaxUrlLength + 16;
    static constexpr int kReadTimeoutMs = 500;
    static constexpr int kMaxConnections = 32;

    // `socketPath` names the socket; its lock file sits beside it. The default is in the
    // user's runtime folder and carries the user id.
    explicit SingleInstance(QString socketPath = defaultSocketPath(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the running copy, or hands "show" and `inviteUrl` (may be empty) to it. Blocks
    // for less than two seconds when another copy holds the lock.
    Outcome start(const QString& inviteUrl = {});

    static QString defaultSocketPath();
    // The invite link among the program's arguments (its first one), or empty: only text that
    // looks like an invite and is no longer than kMaxUrlLength is passed on.
    static QString inviteArgument(const QStringList& arguments);
    static bool looksLikeInvite(const QString& text);

Q_SIGNALS:
    void showRequested();
    void inviteOpened(const QString& url);

private:
    Outcome handOver(const QString& inviteUrl) const;
    bool listen();
    void accept();
    // True once the connection is dealt with: answered, or cut for what it sent.
    bool read(QLocalSocket* socket, QByteArray& line);
    // Stops waiting for the connection's line; cut() also closes it.
    void release(QLocalSocket* socket);
    void cut(QLocalSocket* socket);

    QString m_socketPath;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
    // Connections waiting for their line, the longest waiting first.
    std::deque<QLocalSocket*> m_waiting;
};

} // namespace vesker
