#pragma once

#include "screens/hosted_screen.h"

#include <QHash>
#include <QList>
#include <QObject>

#include <memory>
#include <optional>

namespace vesker {

class ItemStore;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// The hosted screens stored under "hostedScreens" and the item store of each, kept tidy by the
// same cleanup rule as the application's own.
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

    // Stops and starts the screens' listeners so that they advertise the current name.
    void restartAll();

Q_SIGNALS:
    // The list of hosted screens changed.
    void screensChanged();
    // An item of a hosted screen that came over the relay was acknowledged (see
    // ItemStore::relayAcknowledged).
    void relayAcknowledged(const QString& messageID, const QString& action);

private:
    void load();

    platform::Defaults& m_defaults;
    const platform::Clock& m_clock;
    QString m_productFolder;
    QList<HostedScreen> m_screens;
    QHash<QUuid, ItemStore*> m_stores;
};

} // namespace vesker
