#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <memory>

namespace vesker::platform {

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
// in use. Lives on the thread that creates it, which needs a running event loop.
class DnsSdPublisher : public QObject {
    Q_OBJECT
public:
    explicit DnsSdPublisher(DnsSdService service, QObject* parent = nullptr);
    ~DnsSdPublisher() override;

    const DnsSdService& service() const;
    // Empty until the daemon confirmed the registration.
    QString registeredName() const;

Q_SIGNALS:
    void registered(const QString& name);
    void failed(const QString& reason);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace vesker::platform
