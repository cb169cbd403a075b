#pragma once

#include "http/http_server.h"
#include "receive/route_snapshot.h"

#include <memory>
#include <optional>

namespace vesker {

class BrowserScreen;
class ServerController;
class UploadHandler;

// The local HTTP interface's route table: which handler answers which request. Paths and
// methods are compared exactly; anything unknown is 404. Main thread only.
class Routes {
public:
    Routes(ServerController& controller, UploadHandler& uploads, BrowserScreen& browserScreen);

    // What the read-only routes answer now, for the server's thread to answer from.
    std::shared_ptr<const RouteSnapshot> snapshot() const;

    // Answers through `reply`, at once or (an upload) once the item is on disk.
    void route(const HTTPRequest& request, HTTPReplyFunction reply);
    // The reply that refuses a request from its head alone, before its body is sent; none when
    // the body is wanted (see HTTPHeadCheck).
    std::optional<HTTPResponse> refusalBeforeBody(const HTTPRequest& head);

private:
    QByteArray info() const;

    ServerController& m_controller;
    UploadHandler& m_uploads;
    BrowserScreen& m_browserScreen;
};

} // namespace vesker
