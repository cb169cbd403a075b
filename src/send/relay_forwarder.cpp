#include "send/relay_forwarder.h"

#include "screens/remote_screens_manager.h"
#include "send/uploader.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vesker {

HTTPResponse relayedReply(const UploadResult& result, bool codeSent)
{
    if (result.ok()) {
        QJsonObject body {{QStringLiteral("ok"), true}};
        if (result.outcome == UploadOutcome::waitingForApproval)
            body.insert(QStringLiteral("pending"), true);
        return {result.outcome == UploadOutcome::waitingForApproval ? 202 : 200,
            QStringLiteral("application/json"), QJsonDocument(body).toJson(QJsonDocument::Compact)};
    }
    const UploadError& error = *result.error;
    switch (error.kind()) {
    case UploadError::Kind::timeout:
        return HTTPResponse::text(
            504, QStringLiteral("The remote screen did not answer: ") + error.description());
    case UploadError::Kind::needsCode:
        // A phone that typed a code must not be told to type one, as if it had not.
        return HTTPResponse::text(401,
            codeSent ? QStringLiteral("The remote screen did not accept this access code")
                     : QStringLiteral("The remote screen asks for an access code"));
    case UploadError::Kind::denied:
        return HTTPResponse::text(403, QStringLiteral("The remote screen declined the request"));
    default:
        // The transport's own words: the uploader's sentence around them speaks of another screen.
        return HTTPResponse::text(502,
            QStringLiteral("The remote screen could not be reached: ")
                + (error.kind() == UploadError::Kind::connection && !error.detail().isEmpty()
                        ? error.detail()
                        : error.description()));
    }
}

void forwardToRemoteScreen(const QUrl& base, const RelayRequest& request, HTTPReplyFunction reply)
{
    // One uploader per phone request: the phone's device id is what the remote screen's access
    // policy asks about.
    auto* uploader = new Uploader(
        Uploader::Options {.deviceID = request.deviceID, .deviceName = request.deviceName});
    UploadRequest upload {.path = request.path,
        .kind = request.path == QLatin1String("/text") ? QStringLiteral("text")
            : request.path == QLatin1String("/file")   ? QStringLiteral("pdf")
                                                       : QStringLiteral("photo"),
        .body = request.body,
        .contentType = request.contentType,
        .note = request.note,
        .sender = request.sender,
        .code = request.code,
        .location = request.location,
        .itemID = request.itemID};
    if (!request.groupID.isEmpty())
        upload.group
            = UploadGroup {request.groupID, int(request.groupIndex), int(request.groupCount)};
    if (!request.fileName.isEmpty())
        upload.fileName = request.fileName;
    UploadJob* job = uploader->send(upload, UploadTarget::url(base)).release();
    job->setParent(uploader);
    QObject::connect(job, &UploadJob::finished, uploader,
        [uploader, codeSent = !request.code.isEmpty(), reply = std::move(reply)](
            const UploadResult& result) {
            reply(relayedReply(result, codeSent));
            uploader->deleteLater();
        });
}

void askRemoteScreenAboutHeld(const QUrl& base, const RelayRequest& request,
    std::function<void(const RemoteHoldAnswer&)> answer)
{
    // Asked under the phone's own device id, as its uploads were sent.
    auto* uploader = new Uploader(
        Uploader::Options {.deviceID = request.deviceID, .deviceName = request.deviceName});
    UploadJob* job = uploader->askApproval(UploadTarget::url(base)).release();
    job->setParent(uploader);
    QObject::connect(job, &UploadJob::finished, uploader,
        [uploader, answer = std::move(answer)](const UploadResult& result) {
            using State = RemoteHoldAnswer::State;
            RemoteHoldAnswer told;
            if (result.ok()) {
                told.state = result.outcome == UploadOutcome::waitingForApproval ? State::waiting
                                                                                 : State::stored;
            } else {
                switch (result.error->kind()) {
                case UploadError::Kind::denied:
                    told.state = State::declined;
                    break;
                case UploadError::Kind::approvalTimeout:
                    told.state = State::expired;
                    break;
                case UploadError::Kind::needsCode:
                    told = {State::failed, QStringLiteral("Access code required"), true};
                    break;
                case UploadError::Kind::badResponse:
                    told = {State::failed, result.error->detail()};
                    break;
                default:
                    // The remote screen is asked again at the phone's next poll.
                    told.state = State::waiting;
                    break;
                }
            }
            answer(told);
            uploader->deleteLater();
        });
}

} // namespace vesker
