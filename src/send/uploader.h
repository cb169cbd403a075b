#pragma once

#include "send/upload_types.h"

#include <QObject>

#include <memory>

namespace vesker {

class UsageStats;

// One upload or one wait for approval under way. It reports once, through `finished`, on a
// later turn of the event loop; deleting it first cancels the request and reports nothing.
class UploadJob : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool isFinished() const { return m_finished; }
    const UploadResult& result() const { return m_result; }

Q_SIGNALS:
    void finished(const vesker::UploadResult& result);

protected:
    void finish(UploadResult result);

private:
    bool m_finished = false;
    UploadResult m_result;
};

// Sends items to other screens over their HTTP upload routes, one request at a time as the
// caller asks. Requests never follow redirects (a screen answers directly or not at all) and go
// past any proxy to local addresses.
class Uploader : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString deviceID; // sent as X-Device and polled for
        QString deviceName; // sent as X-Device-Name
        UsageStats* stats = nullptr; // advanced for every stored item
        int timeoutMs = 30'000; // without a byte moving either way
        // The most a whole exchange may take, on top of the time its body needs at
        // Uploader::kSlowestSendRate: a screen that answers a byte at a time ends it too.
        int answerTimeoutMs = 10'000;
        int pollIntervalMs = 2'000;
        int maxPolls = 90;
    };

    // Bytes a second that a body is given to go out at, for the most an exchange may take.
    static constexpr qint64 kSlowestSendRate = 32 * 1024;
    // The most of a screen's answer body that is read (its head has a limit of its own). Every
    // answer a screen gives fits in a few lines; a longer one is cut off there.
    static constexpr qint64 kMaxReplyBytes = 64 * 1024;

    explicit Uploader(Options options, QObject* parent = nullptr);
    ~Uploader() override;

    std::unique_ptr<UploadJob> send(const UploadRequest& request, const UploadTarget& target);
    // Polls the screen until it approves this computer or drops its held items (success),
    // declines it (denied) or the polls run out (approvalTimeout). A relay screen holds no
    // uploads, so its wait ends at once.
    std::unique_ptr<UploadJob> waitForApproval(const UploadTarget& target);
    // One such poll, at once: stored when approved or nothing is held any more,
    // waitingForApproval while the screen still holds the uploads (or did not answer), else the
    // failure the wait would end with.
    std::unique_ptr<UploadJob> askApproval(const UploadTarget& target);

    const Options& options() const { return m_options; }

private:
    Options m_options;
};

} // namespace vesker
