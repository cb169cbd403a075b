#pragma once

#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace vesker::test {

// A dbus-daemon for one test: parallel tests each register the same well-known services, so they
// cannot share the session bus of the run. Its configuration lets nothing be started on demand,
// so no real daemon of this machine can answer in a fake's place.
class PrivateBus {
public:
    PrivateBus()
    {
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        if (config.open(QIODevice::WriteOnly))
            config.write(
                "<busconfig><type>session</type><listen>unix:dir=" + QFile::encodeName(m_dir.path())
                + "</listen><policy context=\"default\"><allow send_destination=\"*\"/>"
                  "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>");
        config.close();
        m_daemon.start(
            "dbus-daemon", {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
        if (QTest::qWaitFor([&] { return m_daemon.canReadLine(); }, 5000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : std::as_const(m_connections))
            QDBusConnection::disconnectFromBus(name);
        m_daemon.terminate();
        m_daemon.waitForFinished(3000);
    }

    QDBusConnection connect(const QString& name)
    {
        m_connections.append(name + QString::number(quintptr(this), 16));
        return QDBusConnection::connectToBus(m_address, m_connections.last());
    }

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

} // namespace vesker::test
