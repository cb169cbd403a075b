#pragma once

#include "http/http_server.h"

#include <QUrl>

#include <functional>

namespace vesker {

struct RelayRequest;
struct RemoteHoldAnswer;
struct UploadResult;

// A phone's upload, sent through this computer on to a remote screen with the uploader, under
// the phone's own device id and name; `reply` hears what the remote screen answered, or why it
// could not be reached. Main thread.
void forwardToRemoteScreen(const QUrl& base, const RelayRequest& request, HTTPReplyFunction reply);

// Asks the remote screen at `base` once how it stands with the uploads of the request's device
// that it holds for its own user's answer. Main thread.
void askRemoteScreenAboutHeld(const QUrl& base, const RelayRequest& request,
    std::function<void(const RemoteHoldAnswer&)> answer);

// What the phone is told of the remote screen's answer; `codeSent`: the phone gave an access code.
HTTPResponse relayedReply(const UploadResult& result, bool codeSent);

} // namespace vesker
