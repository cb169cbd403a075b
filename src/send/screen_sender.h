#pragma once

#include "send/outgoing_item.h"
#include "send/photo_preparation.h"
#include "send/upload_types.h"

#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace vesker {

class Uploader;
class UploadJob;

// One screen chosen in the Send sheet, resolved to where its uploads go. `name` is the key its
// access code is remembered under and the start of its status lines.
struct SendDestination {
    QString name;
    UploadTarget target;
    bool operator==(const SendDestination&) const = default;
};

// What every upload of one send shares, fixed when the send starts.
struct SendBatch {
    QList<OutgoingItem> items;
    QString note; // for items without a note of their own
    QString sender;
    std::optional<QString> groupID; // two or more items
    bool includeLocation = false;
    PhotoSize photoSize = PhotoSize::large;
};

// Sends a batch to one screen, item after item in order: files are read and photos prepared on
// a worker, each upload awaited (and, when the screen holds it, its approval) before the next
// begins. It writes its status lines as it goes. Deleting it cancels whatever is under way.
class ScreenSender : public QObject {
    Q_OBJECT
public:
    enum class State {
        idle,
        running,
        // Stopped at `position()` because the screen wants an access code; resume() carries on.
        needsCode,
        // Every item was stored.
        sent,
        // The screen declined this computer (at once or while it waited).
        declined,
        // Some item did not arrive; the lines say why.
        failed,
    };

    using CodeSource = std::function<QString(const QString& destination)>;

    ScreenSender(SendDestination destination, std::shared_ptr<const SendBatch> batch,
        Uploader& uploader, CodeSource code, QObject* parent = nullptr);
    ~ScreenSender() override;

    const SendDestination& destination() const { return m_destination; }
    State state() const { return m_state; }
    bool isEnded() const;
    const QStringList& lines() const { return m_lines; }
    // Every item was stored as it arrived, none held for the screen's approval first.
    bool deliveredAtOnce() const { return m_state == State::sent && !m_heldForApproval; }
    int sentCount() const { return m_sent; }
    // Whether an upload, a wait or a preparation is under way.
    bool isBusy() const { return m_job || m_preparing; }
    int position() const { return m_position; }

    void start();
    // After a code was given: tries the item that wanted one again, in place of the line that
    // asked for it. A code that is refused again stops it again, and asks again.
    void resume();
    // The user gave no code: this screen gets nothing more.
    void abandon();

Q_SIGNALS:
    void linesChanged();
    void stateChanged();

private:
    struct Prepared {
        QByteArray body;
        QString contentType;
        QString kind;
        QString path;
        std::optional<QString> fileName;
        std::optional<Coordinate> location;
    };

    void sendCurrent();
    void upload(const Prepared& prepared);
    void uploaded(const UploadResult& result);
    void waitedForApproval(const UploadResult& result);
    void failedItem(const UploadError& error);
    void next();
    void end();
    void addLine(const QString& text);
    void setState(State state);
    static std::optional<Prepared> prepareFile(
        const QUrl& url, bool includeLocation, PhotoSize size);

    SendDestination m_destination;
    std::shared_ptr<const SendBatch> m_batch;
    Uploader& m_uploader;
    CodeSource m_code;
    State m_state = State::idle;
    QStringList m_lines;
    int m_position = 0;
    int m_sent = 0;
    bool m_declined = false;
    bool m_heldForApproval = false;
    bool m_preparing = false;
    std::unique_ptr<UploadJob> m_job;
    std::unique_ptr<QFutureWatcher<std::optional<Prepared>>> m_watcher;
};

} // namespace vesker
