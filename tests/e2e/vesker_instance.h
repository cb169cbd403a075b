#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace vesker::e2e {

// The built program, started for real with a home, settings and item store of its own, on a
// free port of 127.0.0.1, the offscreen platform and no network advertising. Settings are
// written before the first start; a restart keeps the home, the port and the store.
class VeskerInstance {
public:
    explicit VeskerInstance(const QJsonObject& settings = {});
    ~VeskerInstance();
    VeskerInstance(const VeskerInstance&) = delete;
    VeskerInstance& operator=(const VeskerInstance&) = delete;

    // Puts the item store on a tmpfs of its own in a private mount namespace, so that a full
    // disk can be tried without touching the machine's. Needs root; call before start().
    bool mountStoreOnTmpfs(int mebibytes);

    // Starts the program and waits, within a bound, until it answers GET /api/info.
    bool start();
    // Ends the program as the session would (SIGTERM), forcing it if it lingers.
    void stop();
    // SIGKILL, as a crash would.
    void kill();
    bool restart();
    bool running();

    quint16 port() const { return m_port; }
    // A path in the item store as this test process reaches it.
    QString storePath(const QString& relative = {}) const;
    // What the program wrote to stdout and stderr so far, for failure messages.
    QByteArray log() const;

private:
    QString storeDir() const;

    QTemporaryDir m_home;
    quint16 m_port = 0;
    std::unique_ptr<QProcess> m_program;
    std::unique_ptr<QProcess> m_namespaceHolder;
};

} // namespace vesker::e2e
