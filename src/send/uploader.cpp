#include "send/uploader.h"

#include "platform/local_proxy.h"
#include "send/usage_stats.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
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

// The most an exchange with a body of `bodyBytes` may take, in milliseconds.
int exchangeLimitMs(const Uploader::Options& options, qint64 bodyBytes)
{
    const qint64 limit = options.answerTimeoutMs + bodyBytes * 1000 / Uploader::kSlowestSendRate;
    return int(std::min<qint64>(limit, std::numeric_limits<int>::max()));
}

// One HTTP exchange: the request goes out at once; `done` gets the status and body, or the
// transport failure. Timing out means no byte moved either way for the whole time-out; apart
// from that, the whole exchange ends within its limit, and no more of the answer than
// kMaxReplyBytes is ever held, whatever the screen declares or keeps sending.
class Exchange : public QObject {
public:
    using Done
        = std::function<void(int status, const QByteArray& body, std::optional<UploadError>)>;

    Exchange(Uploader& uploader, const QUrl& url, QNetworkRequest request,
        const std::optional<QByteArray>& body, Done done, QObject* parent)
        : QObject(parent)
        , m_done(std::move(done))
    {
        request.setUrl(url);
        request.setAttribute(
            QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        QNetworkAccessManager& network = uploader.network();
        network.setProxy(platform::proxyFor(url.host()));
        m_reply = body ? network.post(request, *body) : network.get(request);
        // Past this the network stack stops reading from the screen until the answer is taken,
        // which happens only when the answer is whole: a screen that keeps talking fills it and
        // is cut off below, rather than filling memory.
        m_reply->setReadBufferSize(kMaxReplyBytes);

        m_idle.setSingleShot(true);
        m_idle.setInterval(uploader.options().timeoutMs);
        connect(&m_idle, &QTimer::timeout, this, [this] {
            m_timedOut = true;
            m_reply->abort();
        });
        const auto moved = [this](qint64 done, qint64) {
            if (done > 0)
                m_idle.start();
        };
        connect(m_reply, &QNetworkReply::uploadProgress, this, moved);
        // The limit set above may reach the part that reads the socket before that part exists,
        // and then be lost: it is told again once the request is out and when the answer starts.
        connect(m_reply, &QNetworkReply::uploadProgress, this, [this](qint64 sent, qint64 total) {
            if (sent == total)
                m_reply->setReadBufferSize(kMaxReplyBytes);
        });
        connect(m_reply, &QNetworkReply::downloadProgress, this, moved);
        // An answer that says or shows it is longer than any a screen gives is cut off at once.
        connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
            if (m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxReplyBytes)
                return cut(Cut::tooLong);
            m_reply->setReadBufferSize(kMaxReplyBytes);
        });
        connect(m_reply, &QNetworkReply::readyRead, this, [this] {
            if (m_reply->bytesAvailable() >= kMaxReplyBytes)
                cut(Cut::tooLong);
        });
        m_limit.setSingleShot(true);
        m_limit.setInterval(exchangeLimitMs(uploader.options(), body ? body->size() : 0));
        connect(&m_limit, &QTimer::timeout, this, [this] { cut(Cut::tooSlow); });
        connect(m_reply, &QNetworkReply::finished, this, &Exchange::onFinished);
        m_idle.start();
        m_limit.start();
    }

    ~Exchange() override
    {
        if (m_reply) {
            m_reply->disconnect(this);
            m_reply->abort();
            m_reply->deleteLater();
        }
    }

private:
    enum class Cut { none, tooLong, tooSlow };

    void cut(Cut why)
    {
        if (m_cut != Cut::none || !m_reply)
            return;
        m_cut = why;
        // Not from within the reply's own signal: the end it reports may delete this exchange.
        QMetaObject::invokeMethod(m_reply, &QNetworkReply::abort, Qt::QueuedConnection);
    }

    void onFinished()
    {
        m_idle.stop();
        m_limit.stop();
        // Whoever is told may delete this exchange along with its job.
        const Done done = m_done;
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->deleteLater();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (m_cut == Cut::tooSlow)
            return done(0, {},
                UploadError(
                    UploadError::Kind::connection, QStringLiteral("No whole answer in time")));
        if (m_timedOut || reply->error() == QNetworkReply::TimeoutError)
            return done(0, {}, UploadError(UploadError::Kind::timeout));
        if (!status.isValid())
            return done(0, {}, UploadError(UploadError::Kind::connection, reply->errorString()));
        // A refusal is a refusal however long it goes on; a success that never ends is none.
        if (m_cut == Cut::tooLong && status.toInt() >= 200 && status.toInt() < 300)
            return done(0, {},
                UploadError(UploadError::Kind::connection, QStringLiteral("Answer too long")));
        done(status.toInt(), m_cut == Cut::none ? reply->read(kMaxReplyBytes) : QByteArray(),
            std::nullopt);
    }

    Done m_done;
    QPointer<QNetworkReply> m_reply;
    QTimer m_idle;
    QTimer m_limit;
    Cut m_cut = Cut::none;
    bool m_timedOut = false;
};

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
        QNetworkRequest head;
        head.setHeader(QNetworkRequest::ContentTypeHeader, request.contentType);
        head.setRawHeader("X-Note", encoded(request.note));
        head.setRawHeader("X-Sender", encoded(request.sender));
        head.setRawHeader("X-Code", encoded(request.code));
        head.setRawHeader("X-Device", idHeader(options.deviceID));
        head.setRawHeader("X-Device-Name", encoded(options.deviceName));
        head.setRawHeader("X-Item-Id", idHeader(request.itemID));
        if (request.group) {
            head.setRawHeader("X-Group", idHeader(request.group->id));
            head.setRawHeader("X-Group-Index", QByteArray::number(request.group->index));
            head.setRawHeader("X-Group-Count", QByteArray::number(request.group->count));
        }
        if (request.fileName)
            head.setRawHeader("X-Filename", encoded(*request.fileName));
        if (request.location) {
            head.setRawHeader("X-Location",
                QByteArray::number(request.location->lat, 'g', 12) + ','
                    + QByteArray::number(request.location->lon, 'g', 12));
        }
        const bool pdf = request.kind == QLatin1String("pdf");
        new Exchange(
            uploader, *url, head, request.body,
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
            },
            this);
    }

private:
    void finishLater(UploadResult result)
    {
        QTimer::singleShot(0, this, [this, result] { finish(result); });
    }
};

class ApprovalWait : public UploadJob {
public:
    ApprovalWait(Uploader& uploader, const UploadTarget& target)
        : m_uploader(uploader)
        , m_target(target)
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
        if (m_polls >= m_uploader.options().maxPolls)
            return finish({UploadError(UploadError::Kind::approvalTimeout)});
        ++m_polls;
        QTimer::singleShot(m_uploader.options().pollIntervalMs, this, [this] { poll(); });
    }

    void poll()
    {
        // One status request at a time; a failed one simply counts as a poll.
        m_exchange.reset(new Exchange(
            m_uploader, *m_url, QNetworkRequest(), std::nullopt,
            [this](int status, const QByteArray& body, std::optional<UploadError> failure) {
                const QJsonObject answer = !failure && status == 200
                    ? QJsonDocument::fromJson(body).object()
                    : QJsonObject();
                m_exchange.release()->deleteLater();
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
            },
            nullptr));
    }

    Uploader& m_uploader;
    UploadTarget m_target;
    std::optional<QUrl> m_url;
    std::unique_ptr<Exchange> m_exchange;
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
    , m_network(std::make_unique<QNetworkAccessManager>())
{
    m_network->setAutoDeleteReplies(false);
}

Uploader::~Uploader() = default;

std::unique_ptr<UploadJob> Uploader::send(const UploadRequest& request, const UploadTarget& target)
{
    return std::make_unique<SendJob>(*this, request, target);
}

std::unique_ptr<UploadJob> Uploader::waitForApproval(const UploadTarget& target)
{
    return std::make_unique<ApprovalWait>(*this, target);
}

} // namespace vesker
