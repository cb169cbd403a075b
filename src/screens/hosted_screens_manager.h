#pragma once

#include "screens/hosted_screen.h"
#include "screens/hosted_screen_routes.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <memory>
#include <optional>
#include <vector>

namespace vesker {

class HTTPServer;
class ItemStore;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// The hosted screens stored under "hostedScreens", the item store of each, kept tidy by the
// same cleanup rule as the application's own, and the server each enabled one listens with on
// its own port. What a screen answers comes from the routes factory the receive side hands in;
// until it does, no screen listens.
class HostedScreensManager : public QObject {
    Q_OBJECT
public:
    // `productFolder` holds the "Hosted" folder with one store per screen.
    HostedScreensManager(platform::Defaults& defaults, const platform::Clock& clock,
        QString productFolder, QObject* parent = nullptr);
    ~HostedScreensManager() override;

    const QList<HostedScreen>& screens() const { return m_screens; }

    // The screen's store, made on first use under "Hosted/<slug>". None for a slug that is not
    // a plain folder name, which must never reach outside the product folder.
    ItemStore* store(const HostedScreen& screen);

    // The enabled screen whose slug is the second segment of a "/s/<slug>/..." path.
    std::optional<HostedScreen> sharedScreen(const QString& path) const;

    // Answers a request of the main server whose path names an enabled screen under "/s/" with
    // that screen's routes (the rest of the path; an empty rest is its browser screen) and
    // takes `reply`; false, leaving `reply` alone, for any other path.
    bool handleSharedPath(const HTTPRequest& request, HTTPReplyFunction& reply);
    // As HostedScreenRoutes::refusalBeforeBody for a head of the main server under "/s/<slug>",
    // so that a screen's PIN is asked for there before the body comes as on its own port.
    std::optional<HTTPResponse> sharedRefusalBeforeBody(const HTTPRequest& head);

    // Builds each screen's answers; the screens start listening.
    void setRoutesFactory(HostedRoutesFactory factory);
    // Where the screens listen: every address unless a test narrows it.
    void setListenAddress(const QHostAddress& address) { m_listenAddress = address; }

    // Stops every screen's listener and starts the enabled ones again, so that they advertise
    // the current name and advertising setting.
    void restartAll();
    // The server of an enabled screen; null when it is not listening.
    HTTPServer* server(const QUuid& id) const;
    // Why an enabled screen's listener could not start or stopped; empty while it listens.
    QString problem(const QUuid& id) const { return m_problems.value(id); }

Q_SIGNALS:
    // The list of hosted screens changed.
    void screensChanged();
    // An item of a hosted screen that came over the relay was acknowledged (see
    // ItemStore::relayAcknowledged).
    void relayAcknowledged(const QString& messageID, const QString& action);
    // A screen's listener started, stopped or could not listen.
    void listenersChanged();

private:
    struct Running;
    // True when the list differs from the one held before.
    bool load();
    HTTPHandler handlerFor(const QUuid& id);
    HTTPHeadCheck headCheckFor(const QUuid& id);
    HostedScreenRoutes* routes(const QUuid& id) const;
    // The routes of the enabled screen a "/s/<slug>/..." path names, with `request` made
    // relative to them (the rest of the path) and the base they are reached under.
    HostedScreenRoutes* sharedRoutes(HTTPRequest& request, QString& base) const;

    platform::Defaults& m_defaults;
    const platform::Clock& m_clock;
    QString m_productFolder;
    QList<HostedScreen> m_screens;
    QHash<QUuid, ItemStore*> m_stores;
    QHash<QUuid, QString> m_problems;
    HostedRoutesFactory m_factory;
    QHostAddress m_listenAddress = QHostAddress::Any;
    std::vector<std::unique_ptr<Running>> m_running;
};

} // namespace vesker
