#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <memory>

namespace vesker::platform {

class AvahiHostNameWatch;
class AvahiPublication;

// One DNS-SD service instance to publish ("_vesker._tcp" for every screen of the program).
struct DnsSdService {
    QString name;
    QString type;
    quint16 port = 0;
    // TXT record entries in order.
    QList<QPair<QString, QString>> txt;
};

// Publishes one service on the local network while it lives, through the Avahi daemon.
// Best effort: with no daemon (or no system bus) it reports `failed` once, with the reason, and
// keeps quiet; when the daemon comes back it publishes again. A name taken by another host is
// replaced by the daemon's alternative ("Name #2"), and `registered` reports the name actually
// in use. The talking to the daemon happens on the DNS-SD thread, so neither making nor
// destroying a publisher waits for the daemon; the signals arrive on the thread that made the
// publisher, which needs a running event loop. Destroying it withdraws the service soon after.
class DnsSdPublisher : public QObject {
    Q_OBJECT
public:
    explicit DnsSdPublisher(DnsSdService service, QObject* parent = nullptr);
    ~DnsSdPublisher() override;

    const DnsSdService& service() const { return m_service; }
    // Empty until the daemon confirmed the registration, and again once it is lost.
    QString registeredName() const { return m_registeredName; }

Q_SIGNALS:
    void registered(const QString& name);
    void failed(const QString& reason);

private:
    const DnsSdService m_service;
    AvahiPublication* m_work;
    QString m_registeredName;
};

// The name under which avahi-daemon publishes this host on the local network ("studio.local"),
// known some time after construction and followed as the daemon comes, goes or renames the
// host. The asking happens on the DNS-SD thread; `hostNameChanged` arrives on the thread that
// made this object.
class DnsSdHostName : public QObject {
    Q_OBJECT
public:
    explicit DnsSdHostName(QObject* parent = nullptr);
    ~DnsSdHostName() override;

    // Empty until the daemon has said, and while no daemon publishes a name for this host.
    QString hostName() const { return m_hostName; }

Q_SIGNALS:
    void hostNameChanged(const QString& name);

private:
    AvahiHostNameWatch* m_work;
    QString m_hostName;
};

} // namespace vesker::platform
