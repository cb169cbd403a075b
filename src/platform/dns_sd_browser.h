#pragma once

#include <QMap>
#include <QObject>
#include <QString>

namespace vesker::platform {

class AvahiBrowse;

// One service instance found on the network, resolved: where to reach it and its TXT record.
struct DnsSdFound {
    QString name;
    // The name the host publishes for itself ("studio.local").
    QString hostName;
    // A numeric address of that host, the one to connect to: IPv4 when it has one, an IPv6
    // link-local address with its "%interface" scope.
    QString address;
    quint16 port = 0;
    QMap<QString, QString> txt;

    bool operator==(const DnsSdFound&) const = default;
};

// Browses one service type ("_vesker._tcp") on every interface and resolves what it finds,
// through the Avahi daemon, while it lives. A service seen on several interfaces or over both
// IPv4 and IPv6 is reported once, by name, and removed when the last of them goes. Like the
// publisher it follows the daemon as it comes and goes, and talks to it on the DNS-SD thread;
// the signals arrive on the thread that made the browser.
class DnsSdBrowser : public QObject {
    Q_OBJECT
public:
    explicit DnsSdBrowser(const QString& type, QObject* parent = nullptr);
    ~DnsSdBrowser() override;

Q_SIGNALS:
    // The daemon answers and browsing runs (again).
    void browsing();
    // The daemon is not there: browsing begins when it comes. Every service found is removed.
    void waiting(const QString& reason);
    // Browsing broke and is retried later. Every service found is removed.
    void failed(const QString& reason);
    // A service came, or what its resolution gives changed.
    void found(const vesker::platform::DnsSdFound& service);
    void removed(const QString& name);

private:
    AvahiBrowse* m_work;
};

} // namespace vesker::platform

Q_DECLARE_METATYPE(vesker::platform::DnsSdFound)
