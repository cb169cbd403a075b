#pragma once

#include "http/http_request.h"

#include <QByteArray>

#include <memory>
#include <mutex>
#include <optional>

namespace vesker {

// The replies of the read-only routes, made whole on the main thread so that the server's own
// thread can answer them without waiting for it. Never changed once made: a change on the main
// thread drops it, and the next request that needs the main thread makes a new one.
struct RouteSnapshot {
    QByteArray info; // GET /api/info
    QByteArray uploadPage; // GET / and /index.html
    // GET /screen: the page, or none while browser screens are off.
    std::optional<QByteArray> screenPage;

    // The reply to `request` from this snapshot alone; none when the request needs the main
    // thread. Any thread.
    std::optional<HTTPResponse> answer(const HTTPRequest& request) const;
};

// The snapshot the main thread last published; any thread.
class RouteSnapshots {
public:
    std::shared_ptr<const RouteSnapshot> current() const
    {
        std::lock_guard lock(m_mutex);
        return m_current;
    }
    // None: what the routes show has changed, and the next request goes to the main thread.
    void publish(std::shared_ptr<const RouteSnapshot> snapshot)
    {
        std::lock_guard lock(m_mutex);
        m_current = std::move(snapshot);
    }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const RouteSnapshot> m_current;
};

} // namespace vesker
