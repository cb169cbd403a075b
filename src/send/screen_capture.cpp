#include "send/screen_capture.h"

#include "platform/private_temp.h"
#include "send/capture_overlay_view.h"

#include <QBuffer>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace vesker {

namespace {

// Long enough for the covers, already unmapped, to be gone from the screen before it is grabbed.
constexpr int kSettleMs = 120;

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

bool isWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"))
        || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

} // namespace

QString captureFailureText(CaptureFailure failure)
{
    switch (failure) {
    case CaptureFailure::denied:
        return QStringLiteral("Allow screenshots for this app in your desktop's settings.\n\n"
                              "If it is already allowed there, the desktop is holding a stale "
                              "entry: remove the app's screenshot permission, then try again.");
    case CaptureFailure::cancelled:
        return {};
    case CaptureFailure::noDisplay:
    case CaptureFailure::failed:
        break;
    }
    return QStringLiteral("That area could not be captured.");
}

ScreenCapture::ScreenCapture(QObject* parent)
    : QObject(parent)
{ }

ScreenCapture::~ScreenCapture()
{
    delete m_overlay;
}

QString ScreenCapture::fileName(const QDateTime& now)
{
    // File names cannot all hold ":"; the date keeps its hyphens.
    return QStringLiteral("Screen ") + now.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss"))
        + QStringLiteral("Z.png");
}

std::optional<QString> ScreenCapture::writePNG(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImage pixels = image;
    // One pixel one point: a 2× screen gives a picture twice the size the user dragged.
    pixels.setDevicePixelRatio(1);
    if (pixels.isNull() || !QImageWriter(&buffer, "png").write(pixels) || bytes.isEmpty())
        return std::nullopt;
    return platform::writePrivateTempFile(fileName(QDateTime::currentDateTimeUtc()), bytes);
}

void ScreenCapture::captureArea(Done done)
{
    if (m_done) {
        done({std::nullopt, CaptureFailure::cancelled});
        return;
    }
    m_done = std::move(done);
    if (isWayland()) {
        captureThroughPortal();
        return;
    }
    if (QGuiApplication::screens().isEmpty()) {
        finish({std::nullopt, CaptureFailure::cancelled});
        return;
    }
    m_overlay = new CaptureOverlay(this);
    connect(m_overlay, &CaptureOverlay::ended, this,
        [this](const std::optional<CaptureOverlay::Selection>& selection) {
            m_overlay->deleteLater();
            if (!selection) {
                finish({std::nullopt, CaptureFailure::cancelled});
                return;
            }
            QTimer::singleShot(
                kSettleMs, this, [this, screen = selection->screen, area = selection->area] {
                    selectionEnded(screen, area);
                });
        });
    m_overlay->show();
}

void ScreenCapture::selectionEnded(QScreen* screen, const QRect& area)
{
    if (!screen) {
        finish({std::nullopt, CaptureFailure::noDisplay});
        return;
    }
    const QPixmap grabbed = CaptureOverlay::grabScreen(screen);
    if (grabbed.isNull()) {
        finish({std::nullopt, CaptureFailure::noDisplay});
        return;
    }
    const qreal ratio = grabbed.devicePixelRatio();
    const QRect pixels(
        (QRectF(area).topLeft() * ratio).toPoint(), (QSizeF(area.size()) * ratio).toSize());
    // An area dragged past the screen's edge keeps its size; what lies beyond comes out black.
    const std::optional<QString> path = writePNG(grabbed.toImage().copy(pixels));
    finish({path, CaptureFailure::failed});
}

void ScreenCapture::captureThroughPortal()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Without the portal the call below fails, which ends the capture as failed.
    if (!bus.isConnected()) {
        finish({std::nullopt, CaptureFailure::failed});
        return;
    }
    // The portal answers on a request object whose path it derives from our bus name and this
    // token; listening before asking means the answer cannot come first.
    const QString token = QStringLiteral("vesker%1").arg(QRandomGenerator::global()->generate());
    QString sender = bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    m_portalRequest = kPortalPath + QStringLiteral("/request/") + sender + u'/' + token;
    bus.connect(kPortalService, m_portalRequest, QStringLiteral("org.freedesktop.portal.Request"),
        QStringLiteral("Response"), this, SLOT(portalResponse(uint, QVariantMap)));

    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
        QStringLiteral("org.freedesktop.portal.Screenshot"), QStringLiteral("Screenshot"));
    call << QString()
         << QVariantMap {{QStringLiteral("handle_token"), token},
                {QStringLiteral("interactive"), true}, {QStringLiteral("modal"), true}};
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError() && m_done)
            portalResponse(2, {});
    });
}

void ScreenCapture::portalResponse(uint response, const QVariantMap& results)
{
    QDBusConnection::sessionBus().disconnect(kPortalService, m_portalRequest,
        QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"), this,
        SLOT(portalResponse(uint, QVariantMap)));
    if (!m_done)
        return;
    // 1: the user cancelled in the portal's own chooser; anything else but 0 is a refusal.
    if (response == 1) {
        finish({std::nullopt, CaptureFailure::cancelled});
        return;
    }
    const QUrl uri(results.value(QStringLiteral("uri")).toString());
    if (response != 0 || !uri.isLocalFile()) {
        finish({std::nullopt, CaptureFailure::failed});
        return;
    }
    finish({writePNG(QImage(uri.toLocalFile())), CaptureFailure::failed});
}

void ScreenCapture::finish(const CaptureResult& result)
{
    Done done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(result);
}

} // namespace vesker
