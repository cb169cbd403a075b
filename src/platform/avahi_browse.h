#pragma once

#include "platform/avahi_session.h"
#include "platform/dns_sd_browser.h"

#include <avahi-client/lookup.h>

#include <map>
#include <memory>
#include <optional>
#include <tuple>

namespace vesker::platform {

// DnsSdBrowser's work on the DNS-SD thread: one service browser and a resolver for each
// instance it reports, all owned by the client and gone with it.
class AvahiBrowse : public AvahiSession {
    Q_OBJECT
public:
    explicit AvahiBrowse(QString type);

Q_SIGNALS:
    void browsing();
    void waiting(const QString& reason);
    void failed(const QString& reason);
    void found(const vesker::platform::DnsSdFound& service);
    void removed(const QString& name);

protected:
    void clientStateChanged(AvahiClientState state) override;
    void clientFailed(const QString& reason) override;

private:
    // Avahi reports an instance per interface and protocol.
    using Key = std::tuple<QString, AvahiIfIndex, AvahiProtocol>;
    struct Instance {
        AvahiBrowse* owner = nullptr;
        Key key;
        AvahiServiceResolver* resolver = nullptr;
        // Set once resolved.
        std::optional<DnsSdFound> found;
    };

    void startBrowsing();
    // Forgets every instance and reports each name gone.
    void forgetAll(bool freeBrowser);
    void addInstance(const Key& key);
    void removeInstance(const Key& key);
    void resolved(Instance& instance, DnsSdFound found);
    // Reports what is now known of `name`: the best of its resolved instances, or its removal.
    void publishName(const QString& name);
    static void onBrowse(AvahiServiceBrowser* browser, AvahiIfIndex interface,
        AvahiProtocol protocol, AvahiBrowserEvent event, const char* name, const char* type,
        const char* domain, AvahiLookupResultFlags flags, void* userdata);
    static void onResolve(AvahiServiceResolver* resolver, AvahiIfIndex interface,
        AvahiProtocol protocol, AvahiResolverEvent event, const char* name, const char* type,
        const char* domain, const char* hostName, const AvahiAddress* address, uint16_t port,
        AvahiStringList* txt, AvahiLookupResultFlags flags, void* userdata);

    const QByteArray m_type;
    AvahiServiceBrowser* m_browser = nullptr;
    std::map<Key, std::unique_ptr<Instance>> m_instances;
    // What was last reported for each name, so that repeats are not reported again.
    QMap<QString, DnsSdFound> m_reported;
};

} // namespace vesker::platform
