#pragma once

#include "http/http_server.h"
#include "screens/hosted_screen.h"

#include <functional>
#include <memory>

namespace vesker {

class ItemStore;

// What one hosted screen answers: the local HTTP interface over that screen's own store, name
// and PIN. The receive side builds it; the hosted screens only own and call it. Main thread.
class HostedScreenRoutes {
public:
    virtual ~HostedScreenRoutes() = default;
    // `basePath` prefixes every address of the pages served: empty on the screen's own port,
    // "/s/<slug>" when reached under the main server.
    virtual void route(const HTTPRequest& request, const QString& basePath, HTTPReplyFunction reply)
        = 0;
    // As Routes::refusalBeforeBody, for the screen's own port.
    virtual std::optional<HTTPResponse> refusalBeforeBody(const HTTPRequest& head) = 0;
};

using HostedRoutesFactory
    = std::function<std::unique_ptr<HostedScreenRoutes>(const HostedScreen&, ItemStore&)>;

} // namespace vesker
