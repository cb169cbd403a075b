#pragma once

#include "platform/avahi_session.h"

namespace vesker::platform {

// DnsSdHostName's work on the DNS-SD thread: asks the daemon for the name it publishes for
// this host each time the daemon runs, and hears when that ends.
class AvahiHostNameWatch : public AvahiSession {
    Q_OBJECT
public:
    using AvahiSession::AvahiSession;

Q_SIGNALS:
    // Empty while the daemon publishes no name for this host.
    void hostNameChanged(const QString& name);

protected:
    void clientStateChanged(AvahiClientState state) override;
    void clientFailed(const QString& reason) override;

private:
    void setName(const QString& name);

    QString m_name;
};

} // namespace vesker::platform
