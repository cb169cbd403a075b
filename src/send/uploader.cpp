#include "send/uploader.h"

#include "http/http_exchange.h"
#include "send/usage_stats.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>
#include <limits>

namespace vesker {

namespace {

// A reply's text shown to the user is the receiver's to choose, but not its length.
constexpr qsizetype kMaxReplyText = 200;
constexpr qint64 kMaxReplyBytes = Uploader::kMaxReplyBytes;

// Header values the receiver percent-decodes: encoding every one keeps a "%", a line end or a
// non-ASCII letter intact.
QByteArray encoded(const QString& value)
{
    return QUrl::toPercentEncoding(value);
}

// Ids the receiver reads as they come (X-Device, X-Item-Id, X-Group) go as they are, so that its
// grants, blocks, status and records name the same device, item and group as the sender did: a
// phone's id passed on by a shared screen must stay that phone's. An id that is not plain header
// text (a control character could end the header line; spaces at its ends are trimmed on the
// way; other letters are read differently by other receivers) goes encoded instead: a name the
// other side does not share, but never a broken request.
QByteArray idHeader(const QString& value)
{
    const bool plain = value == value.trimmed()
        && std::all_of(
            value.cbegin(), value.cend(), [](QChar c) { return c >= u' ' && c.unicode() < 0x7F; });
    return plain ? value.toLatin1() : encoded(value);
}

// A content type goes as it was given unless it could break its header line.
QByteArray headerText(const QString& value)
{
    const bool plain = std::all_of(
        value.cbegin(), value.cend(), [](QChar c) { return c >= u' ' && c.unicode() < 0x7F; });
    return plain ? value.toLatin1() : QByteArray("application/octet-stream");
}

// The most an exchange with a body of `bodyBytes` may take, in milliseconds.
int exchangeLimitMs(const Uploader::Options& options, qint64 bodyBytes)
{
    const qint64 limit = options.answerTimeoutMs + bodyBytes * 1000 / Uploader::kSlowestSendRate;
    return int(std::min<qint64>(limit, std::numeric_limits<int>::max()));
}

// One HTTP exchange: the request goes out at once; `done` gets the status and body, or the
// transport failure. Timing out means no byte moved either way for the whole time-out; apart
// from that, the whole exchange ends within its limit, and no more of the answer than its head
// and kMaxReplyBytes is ever held, whatever the screen declares or keeps sending.
using Done = std::function<void(int status, const QByteArray& body, std::optional<UploadError>)>;

std::unique_ptr<HTTPExchange> exchange(const Uploader& uploader, const QUrl& url,
    const HTTPExchange::Headers& headers, const QByteArray& body, Done done)
{
    const HTTPExchangeLimits limits {.maxBodyBytes = kMaxReplyBytes,
        .idleTimeoutMs = uploader.options().timeoutMs,
        .deadlineMs = exchangeLimitMs(uploader.options(), body.size())};
    return std::make_unique<HTTPExchange>(
        url, headers, body, limits, [done = std::move(done)](const HTTPExchangeResult& answer) {
            using Failure = HTTPExchangeResult::Failure;
            switch (answer.failure) {
            case Failure::none:
                return done(answer.status, answer.body, std::nullopt);
            case Failure::idle:
                return done(0, {}, UploadError(UploadError::Kind::timeout));
            case Failure::bodyTooLong:
                // A refusal is a refusal however long it goes on; a success that never ends is
                // none.
                if (answer.status < 200 || answer.status >= 300)
                    return done(answer.status, {}, std::nullopt);
                break;
            case Failure::badAddress:
                return done(0, {}, UploadError(UploadError::Kind::badURL));
            default:
                break;
            }
            done(0, {}, UploadError(UploadError::Kind::connection, answer.errorText));
        });
}

class SendJob : public UploadJob {
public:
    SendJob(Uploader& uploader, const UploadRequest& request, const UploadTarget& target)
    {
        if (target.kind == UploadTarget::Kind::relay) {
            // Sealing for the relay comes with pairing; until then no relay screen has
            // approved this computer.
            finishLater({UploadError(UploadError::Kind::notConnected)});
            return;
        }
        const std::optional<QUrl> url = target.urlFor(request.path);
        if (!url) {
            finishLater({UploadError(UploadError::Kind::badURL)});
            return;
        }
        const Uploader::Options& options = uploader.options();
        HTTPExchange::Headers head {{"Content-Type", headerText(request.contentType)},
            {"X-Note", encoded(request.note)}, {"X-Sender", encoded(request.sender)},
            {"X-Code", encoded(request.code)}, {"X-Device", idHeader(options.deviceID)},
            {"X-Device-Name", encoded(options.deviceName)},
            {"X-Item-Id", idHeader(request.itemID)}};
        if (request.group) {
            head.append({"X-Group", idHeader(request.group->id)});
            head.append({"X-Group-Index", QByteArray::number(request.group->index)});
            head.append({"X-Group-Count", QByteArray::number(request.group->count)});
        }
        if (request.fileName)
            head.append({"X-Filename", encoded(*request.fileName)});
        if (request.location) {
            head.append({"X-Location",
                QByteArray::number(request.location->lat, 'g', 12) + ','
                    + QByteArray::number(request.location->lon, 'g', 12)});
        }
        // Even an empty body goes as a POST.
        const QByteArray body = request.body.isNull() ? QByteArray("") : request.body;
        const bool pdf = request.kind == QLatin1String("pdf");
        m_exchange = exchange(uploader, *url, head, body,
            [this, pdf, kind = request.kind, stats = QPointer<UsageStats>(options.stats)](
                int status, const QByteArray& body, std::optional<UploadError> failure) {
                if (failure)
                    return finish({failure});
                switch (status) {
                case 200:
                    if (stats)
                        stats->recordSent(kind);
                    return finish({});
                case 202:
                    return finish({.outcome = UploadOutcome::waitingForApproval});
                case 401:
                    return finish({UploadError(UploadError::Kind::needsCode)});
                case 403:
                    return finish({UploadError(UploadError::Kind::denied)});
                case 404:
                    if (pdf)
                        return finish({UploadError(UploadError::Kind::tooOldForPDF)});
                    break;
                }
                QString text = QString::fromUtf8(body.left(kMaxReplyText * 4)).simplified();
                text.truncate(kMaxReplyText);
                if (text.isEmpty())
                    text = QStringLiteral("HTTP ") + QString::number(status);
                finish({UploadError(UploadError::Kind::badResponse, text)});
            });
    }

private:
    void finishLater(UploadResult result)
    {
        QTimer::singleShot(0, this, [this, result] { finish(result); });
    }

    std::unique_ptr<HTTPExchange> m_exchange;
};

class ApprovalWait : public UploadJob {
public:
    // `once`: a single poll, at once, whose answer is the outcome; a screen that still holds
    // the uploads (or gave no answer) is reported as waitingForApproval.
    ApprovalWait(Uploader& uploader, const UploadTarget& target, bool once)
        : m_uploader(uploader)
        , m_target(target)
        , m_once(once)
    {
        if (target.kind == UploadTarget::Kind::relay) {
            QTimer::singleShot(0, this, [this] { finish({}); });
            return;
        }
        m_url = target.urlFor(QStringLiteral("/api/status"));
        if (!m_url) {
            QTimer::singleShot(
                0, this, [this] { finish({UploadError(UploadError::Kind::badURL)}); });
            return;
        }
        // Asked by the id as the uploads sent it, which is what the screen knows.
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("device"),
            QString::fromLatin1(
                encoded(QString::fromLatin1(idHeader(uploader.options().deviceID)))));
        m_url->setQuery(query);
        scheduleNext();
    }

private:
    void scheduleNext()
    {
        if (m_once && m_polls > 0)
            return finish({.outcome = UploadOutcome::waitingForApproval});
        if (m_once) {
            ++m_polls;
            QTimer::singleShot(0, this, [this] { poll(); });
            return;
        }
        if (m_polls >= m_uploader.options().maxPolls)
            return finish({UploadError(UploadError::Kind::approvalTimeout)});
        ++m_polls;
        QTimer::singleShot(m_uploader.options().pollIntervalMs, this, [this] { poll(); });
    }

    void poll()
    {
        // One status request at a time; a failed one simply counts as a poll.
        m_exchange = exchange(m_uploader, *m_url, {}, QByteArray(),
            [this](int status, const QByteArray& body, std::optional<UploadError> failure) {
                const QJsonObject answer = !failure && status == 200
                    ? QJsonDocument::fromJson(body).object()
                    : QJsonObject();
                m_exchange.reset();
                if (answer.value(QLatin1String("denied")).toBool())
                    return finish({UploadError(UploadError::Kind::denied)});
                // Dropped unanswered: the screen stopped hearing from us for a while.
                if (answer.value(QLatin1String("expired")).toBool())
                    return finish({UploadError(UploadError::Kind::approvalTimeout)});
                // A screen shared through another computer says when what it was allowed to
                // pass on reached no screen.
                if (const QString error = answer.value(QLatin1String("error")).toString();
                    !error.isEmpty()) {
                    return finish({answer.value(QLatin1String("needsCode")).toBool()
                            ? UploadError(UploadError::Kind::needsCode)
                            : UploadError(UploadError::Kind::badResponse, error.left(200))});
                }
                const QJsonValue pending = answer.value(QLatin1String("pending"));
                if (answer.value(QLatin1String("approved")).toBool()
                    || (pending.isDouble() && pending.toDouble() <= 0))
                    return finish({});
                scheduleNext();
            });
    }

    Uploader& m_uploader;
    UploadTarget m_target;
    std::optional<QUrl> m_url;
    std::unique_ptr<HTTPExchange> m_exchange;
    bool m_once = false;
    int m_polls = 0;
};

} // namespace

void UploadJob::finish(UploadResult result)
{
    if (m_finished)
        return;
    m_finished = true;
    m_result = std::move(result);
    Q_EMIT finished(m_result);
}

Uploader::Uploader(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{ }

Uploader::~Uploader() = default;

std::unique_ptr<UploadJob> Uploader::send(const UploadRequest& request, const UploadTarget& target)
{
    return std::make_unique<SendJob>(*this, request, target);
}

std::unique_ptr<UploadJob> Uploader::waitForApproval(const UploadTarget& target)
{
    return std::make_unique<ApprovalWait>(*this, target, false);
}

std::unique_ptr<UploadJob> Uploader::askApproval(const UploadTarget& target)
{
    return std::make_unique<ApprovalWait>(*this, target, true);
}

} // namespace vesker
