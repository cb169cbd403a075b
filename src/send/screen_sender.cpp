#include "send/screen_sender.h"

#include "platform/quit_drained_pool.h"
#include "send/uploader.h"

#include <QFile>
#include <QFileInfo>
#include <QThreadPool>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

namespace vesker {

namespace {

// Reading and downscaling photos gets a pool of its own, so that a send to several screens
// at once never starves thumbnails or recognition.
QThreadPool& preparationPool()
{
    static QThreadPool* pool = platform::makeQuitDrainedPool("send preparation", 2);
    return *pool;
}

QString newID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

ScreenSender::ScreenSender(SendDestination destination, std::shared_ptr<const SendBatch> batch,
    Uploader& uploader, CodeSource code, QObject* parent)
    : QObject(parent)
    , m_destination(std::move(destination))
    , m_batch(std::move(batch))
    , m_uploader(uploader)
    , m_code(std::move(code))
{ }

// The members cancel the upload and drop the preparation's result; a preparation already on a
// worker finishes there and is thrown away.
ScreenSender::~ScreenSender() = default;

bool ScreenSender::isEnded() const
{
    return m_state == State::sent || m_state == State::declined || m_state == State::failed;
}

void ScreenSender::start()
{
    if (m_state != State::idle)
        return;
    setState(State::running);
    sendCurrent();
}

void ScreenSender::resume()
{
    if (m_state != State::needsCode)
        return;
    // The question is answered: what this try ends with takes the place of its line.
    m_lines.removeLast();
    Q_EMIT linesChanged();
    setState(State::running);
    sendCurrent();
}

void ScreenSender::abandon()
{
    if (m_state != State::needsCode)
        return;
    setState(State::failed);
}

void ScreenSender::sendCurrent()
{
    if (m_position >= m_batch->items.size()) {
        end();
        return;
    }
    const OutgoingItem& item = m_batch->items.at(m_position);
    if (item.imageURL.isEmpty()) {
        upload({.body = item.text.toUtf8(),
            .contentType = QStringLiteral("text/plain; charset=utf-8"),
            .kind = QStringLiteral("text"),
            .path = QStringLiteral("/text")});
        return;
    }
    m_preparing = true;
    m_watcher = std::make_unique<QFutureWatcher<std::optional<Prepared>>>();
    connect(m_watcher.get(), &QFutureWatcherBase::finished, this, [this] {
        const std::optional<Prepared> prepared = m_watcher->result();
        m_preparing = false;
        m_watcher.reset();
        // A file that cannot be read is passed over without a word: nothing of it was sent.
        if (prepared)
            upload(*prepared);
        else
            next();
    });
    m_watcher->setFuture(QtConcurrent::run(&preparationPool(), &ScreenSender::prepareFile,
        item.imageURL, m_batch->includeLocation, m_batch->photoSize));
}

std::optional<ScreenSender::Prepared> ScreenSender::prepareFile(
    const QUrl& url, bool includeLocation, PhotoSize size)
{
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    const QFileInfo info(file.fileName());
    if (info.suffix().toLower() == QLatin1String("pdf"))
        return Prepared {.body = bytes,
            .contentType = QStringLiteral("application/pdf"),
            .kind = QStringLiteral("pdf"),
            .path = QStringLiteral("/file"),
            .fileName = info.fileName()};
    Prepared photo {.kind = QStringLiteral("photo"), .path = QStringLiteral("/upload")};
    // The position comes from the file as it is: the prepared bytes carry none.
    if (includeLocation) {
        if (const auto place = PhotoLocation::read(bytes))
            photo.location = Coordinate {place->latitude, place->longitude};
    }
    PreparedPhoto prepared = preparePhoto(bytes, size);
    photo.body = std::move(prepared.bytes);
    photo.contentType = prepared.mimeType;
    return photo;
}

void ScreenSender::upload(const Prepared& prepared)
{
    const OutgoingItem& item = m_batch->items.at(m_position);
    UploadRequest request {.path = prepared.path,
        .kind = prepared.kind,
        .body = prepared.body,
        .contentType = prepared.contentType,
        .note = item.note.isEmpty() ? m_batch->note : item.note,
        .sender = m_batch->sender,
        // Read afresh for every item: a code given for this screen applies at once.
        .code = m_code(m_destination.name),
        .fileName = prepared.fileName,
        .location = prepared.location,
        .itemID = newID()};
    if (m_batch->groupID)
        request.group = UploadGroup {*m_batch->groupID, m_position + 1, int(m_batch->items.size())};
    m_job = m_uploader.send(request, m_destination.target);
    connect(m_job.get(), &UploadJob::finished, this, &ScreenSender::uploaded);
}

void ScreenSender::uploaded(const UploadResult& result)
{
    m_job.release()->deleteLater();
    if (result.error) {
        failedItem(*result.error);
        return;
    }
    if (result.outcome == UploadOutcome::stored) {
        ++m_sent;
        next();
        return;
    }
    m_heldForApproval = true;
    addLine(m_destination.name + QStringLiteral(": waiting for approval…"));
    m_job = m_uploader.waitForApproval(m_destination.target);
    connect(m_job.get(), &UploadJob::finished, this, &ScreenSender::waitedForApproval);
}

void ScreenSender::waitedForApproval(const UploadResult& result)
{
    m_job.release()->deleteLater();
    if (result.error) {
        failedItem(*result.error);
        return;
    }
    ++m_sent;
    next();
}

void ScreenSender::failedItem(const UploadError& error)
{
    if (error.kind() == UploadError::Kind::needsCode) {
        addLine(m_destination.name + QStringLiteral(": needs an access code"));
        setState(State::needsCode);
        return;
    }
    if (error.kind() == UploadError::Kind::denied)
        m_declined = true;
    addLine(m_destination.name + QStringLiteral(": ") + error.description());
    next();
}

void ScreenSender::next()
{
    ++m_position;
    sendCurrent();
}

void ScreenSender::end()
{
    const int total = int(m_batch->items.size());
    if (m_sent > 0) {
        // In one pass: a name from the network may hold "%2" itself.
        addLine(QStringLiteral("%1: sent %2 of %3%4")
                    .arg(m_destination.name, QString::number(m_sent), QString::number(total),
                        m_sent == total ? QStringLiteral(" ✓") : QString()));
    } else {
        addLine(m_destination.name + QStringLiteral(": nothing sent"));
    }
    if (m_sent == total)
        setState(State::sent);
    else
        setState(m_declined ? State::declined : State::failed);
}

void ScreenSender::addLine(const QString& text)
{
    m_lines.append(text);
    Q_EMIT linesChanged();
}

void ScreenSender::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

} // namespace vesker
