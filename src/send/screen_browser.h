#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace vesker {

namespace platform {
class Defaults;
class DnsSdBrowser;
struct DnsSdFound;
} // namespace platform

// One other screen found on the local network.
struct DiscoveredScreen {
    // Where its server listens: a numeric address (IPv4 when it has one) and the port.
    struct Endpoint {
        QString host;
        quint16 port = 0;
        bool operator==(const Endpoint&) const = default;
    };

    // Its service name exactly as discovered: the key that selections, groups and nicknames use.
    QString name;
    Endpoint endpoint;
    // The "screen" entry of its TXT record; empty when it has none.
    QString screenID;

    bool operator==(const DiscoveredScreen&) const = default;
};

// Discovery of the other screens that run this program, for the view that lists them (it owns
// the browser). Lists them sorted by name regardless of case, leaving out this screen's own
// service and the remote screens it advertises for others ("Kitchen via <own name>"), and says
// in `statusText` how the looking goes. Lives on the main thread.
class ScreenBrowser : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<DiscoveredScreen> macs READ macs NOTIFY macsChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
public:
    static QString serviceType() { return QStringLiteral("_vesker._tcp"); }
    static QString lookingText();
    // The status while it cannot look: `why`, and the way to a screen that needs no looking.
    static QString unavailableText(const QString& why);

    explicit ScreenBrowser(QObject* parent = nullptr);
    ~ScreenBrowser() override;

    QList<DiscoveredScreen> macs() const { return m_macs; }
    QString statusText() const { return m_statusText; }
    // False while it cannot look (no daemon, or looking failed), until browsing starts again:
    // nothing is on its way.
    bool looking() const { return m_looking; }

    // The name this screen's own server is advertised under (what its publisher registered);
    // left out of the list, with the remote screens advertised through it.
    void setOwnName(const QString& name);
    // The "screen" entry of this screen's own advertisement: whatever carries it is left out,
    // whatever its name, also while it is still reported after this screen stopped advertising
    // under it or took another name.
    void setOwnScreenID(const QString& id);
    // Follows both in the standard settings as the server keeps them: the name it registered
    // ("advertisedName"), or `screenName` while it advertises and has not said yet, none while
    // it does not advertise (another computer may have this screen's name); and the id.
    void followOwnAdvertisement(platform::Defaults& defaults, std::function<QString()> screenName);

    // The view sets it before starting; network changes restart browsing only while it is set.
    bool running() const { return m_running; }
    void setRunning(bool running) { m_running = running; }

    // Starts (or restarts) browsing. Failures are retried by the browser on its own.
    void start();
    // Restarts browsing each time the network becomes usable again.
    void startPathMonitor();

Q_SIGNALS:
    void macsChanged();
    void statusTextChanged();

private:
    void setStatusText(const QString& text);
    void onFound(const platform::DnsSdFound& service);
    void onRemoved(const QString& name);
    void rebuild();
    bool isOwn(const DiscoveredScreen& screen) const;

    std::unique_ptr<platform::DnsSdBrowser> m_browser;
    // Everything found, own entries included: the own name may be learnt later.
    QMap<QString, DiscoveredScreen> m_found;
    QList<DiscoveredScreen> m_macs;
    QString m_statusText;
    QString m_ownName;
    QString m_ownScreenID;
    bool m_running = false;
    bool m_monitoring = false;
    bool m_looking = true;
};

} // namespace vesker
