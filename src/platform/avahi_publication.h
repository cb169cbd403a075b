#pragma once

#include "platform/avahi_session.h"
#include "platform/dns_sd.h"

#include <avahi-client/publish.h>

namespace vesker::platform {

// DnsSdPublisher's work on the DNS-SD thread: one service kept published through one client.
// Its signals reach the publisher queued, on the publisher's thread.
class AvahiPublication : public AvahiSession {
    Q_OBJECT
public:
    explicit AvahiPublication(DnsSdService service);

Q_SIGNALS:
    // The name in use now (another host may have had ours); empty when it is not published.
    void nameChanged(const QString& name);
    // Once per outage, with the reason.
    void failed(const QString& reason);

protected:
    void clientStateChanged(AvahiClientState state) override;
    void clientFailed(const QString& reason) override;

private:
    void publish();
    void takeAlternativeName();
    AvahiStringList* txtList() const;
    void setRegisteredName(const QString& name);
    void reportFailure(const QString& reason);
    static void onGroupState(AvahiEntryGroup* group, AvahiEntryGroupState state, void* userdata);

    const DnsSdService m_service;
    AvahiEntryGroup* m_group = nullptr;
    QByteArray m_name;
    int m_renames = 0;
    QString m_registeredName;
    // The reason last reported, empty while nothing is wrong: one report per outage.
    QString m_failure;
};

} // namespace vesker::platform
