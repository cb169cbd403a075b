#include "update/updater.h"

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/service_hosts.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <memory>

namespace vesker {

namespace {

constexpr int kDailyMs = 24 * 60 * 60 * 1000;
constexpr int kTimeoutMs = 15 * 1000;
// The last answer may be this old before a start checks again.
constexpr double kDueAfterSeconds = 20 * 60 * 60;
// Enough to read a manifest in one go, small enough that a flood stays in the socket.
constexpr qint64 kReadBufferBytes = 64 * 1024;

// Errors below the content range are the transfer's own (refused, timed out, TLS, proxy):
// no server answered, so nothing counts as a check.
bool sendFailed(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

} // namespace

// One check in flight. Checks may overlap; each keeps what it read to itself.
struct Updater::Transfer {
    QByteArray body;
    bool oversized = false;
    QVariant httpStatus; // kept when the read is cut short, before the reply forgets it
};

Updater::Updater(
    platform::Defaults& defaults, const platform::Clock& clock, Options options, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock)
    , m_manifestUrl(options.manifestUrl.value_or(defaultManifestUrl()))
    , m_network(new QNetworkAccessManager(this))
{
    const QString running = options.currentVersion.value_or(QCoreApplication::applicationVersion());
    m_currentVersion = running.isEmpty() ? QStringLiteral("0") : running;
    connect(&m_defaults, &platform::Defaults::changed, this, [this](const QString& key) {
        if (key == QLatin1String(kAutomatic) || key == QLatin1String(kSkippedVersion))
            Q_EMIT changed();
    });
}

Updater::~Updater() = default;

QUrl Updater::defaultManifestUrl()
{
    return QUrl(QString::fromLatin1(kMakerWebService) + QLatin1String(kUpdateManifestPath));
}

bool Updater::automaticChecksEnabled() const
{
    return m_defaults.boolValue(QString::fromLatin1(kAutomatic), true);
}

std::optional<UpdateRelease> Updater::pendingRelease() const
{
    if (m_status.state != UpdateStatus::State::available)
        return std::nullopt;
    const QString key = QString::fromLatin1(kSkippedVersion);
    if (m_defaults.contains(key) && m_defaults.string(key) == m_status.release.version)
        return std::nullopt;
    return m_status.release;
}

void Updater::start()
{
    m_started = true;
    if (!automaticChecksEnabled())
        return;
    delete m_timer;
    m_timer = new QTimer(this);
    m_timer->setInterval(kDailyMs);
    connect(m_timer, &QTimer::timeout, this, [this] { check(false); });
    m_timer->start();

    // A last check dated in the future means the clock went back: waiting for it could take
    // for ever.
    const double last = m_defaults.doubleValue(QString::fromLatin1(kLastCheck), 0);
    const double now = nowSeconds();
    if (now - last > kDueAfterSeconds || last > now)
        QTimer::singleShot(0, this, [this] { check(false); });
}

void Updater::setAutomatic(bool on)
{
    m_defaults.set(QString::fromLatin1(kAutomatic), on);
    if (on) {
        start();
    } else {
        delete m_timer;
    }
}

void Updater::check(bool userInitiated)
{
    run(userInitiated, false);
}

void Updater::checkNow()
{
    run(true, true);
}

void Updater::skipVersion(const UpdateRelease& release)
{
    m_defaults.set(QString::fromLatin1(kSkippedVersion), release.version);
}

void Updater::run(bool userInitiated, bool showResult)
{
    if (userInitiated)
        m_defaults.remove(QString::fromLatin1(kSkippedVersion));
    setStatus({.state = UpdateStatus::State::checking});

    QNetworkRequest request(m_manifestUrl);
    request.setTransferTimeout(kTimeoutMs);
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = m_network->get(request);
    reply->setReadBufferSize(kReadBufferBytes);
    auto transfer = std::make_shared<Transfer>();

    const auto take = [reply, transfer] {
        if (transfer->oversized)
            return;
        transfer->body += reply->read(kMaxManifestBytes + 1 - transfer->body.size());
        if (transfer->body.size() <= kMaxManifestBytes
            && reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()
                <= kMaxManifestBytes)
            return;
        transfer->oversized = true;
        transfer->httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        transfer->body.clear();
        reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, take);
    connect(reply, &QNetworkReply::readyRead, this, take);
    connect(reply, &QNetworkReply::finished, this, [this, reply, transfer, showResult, take] {
        reply->deleteLater();
        if (reply->error() == QNetworkReply::NoError)
            take();
        finish(*reply, *transfer);
        if (showResult)
            Q_EMIT resultToShow();
    });
}

void Updater::finish(QNetworkReply& reply, const Transfer& transfer)
{
    using State = UpdateStatus::State;
    const QVariant code = transfer.oversized
        ? transfer.httpStatus
        : reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if ((!transfer.oversized && sendFailed(reply.error())) || !code.isValid()) {
        setStatus({.state = State::unreachable});
        return;
    }
    // Any answer from the server counts as a check, whatever it said.
    m_defaults.set(QString::fromLatin1(kLastCheck), nowSeconds());
    const QDateTime now = m_clock.now();
    if (code.toInt() == 204) {
        setStatus({.state = State::upToDate, .checkedAt = now});
        return;
    }
    const std::optional<UpdateRelease> release = code.toInt() == 200 && !transfer.oversized
        ? UpdateRelease::fromJson(transfer.body)
        : std::nullopt;
    if (!release || !release->hasSecureUrl()) {
        setStatus({.state = State::unreachable});
        return;
    }
    if (!isVersionNewer(release->version, m_currentVersion)) {
        setStatus({.state = State::upToDate, .checkedAt = now});
        return;
    }
    // A skip holds for the one version the user skipped.
    const QString skipKey = QString::fromLatin1(kSkippedVersion);
    if (m_defaults.string(skipKey) != release->version)
        m_defaults.remove(skipKey);
    setStatus({.state = State::available, .release = *release});
}

void Updater::setStatus(const UpdateStatus& status)
{
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT changed();
}

double Updater::nowSeconds() const
{
    return static_cast<double>(m_clock.now().toMSecsSinceEpoch()) / 1000.0;
}

} // namespace vesker
