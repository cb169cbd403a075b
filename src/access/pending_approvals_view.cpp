#include "access/pending_approvals_view.h"

#include "access/access_manager.h"
#include "platform/image_decode.h"
#include "platform/quit_drained_pool.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent>

namespace vesker {

namespace {

// One worker is enough for a few previews, and keeps them off the thumbnail and recognition
// pools.
QThreadPool& previewPool()
{
    static QThreadPool* pool = platform::makeQuitDrainedPool("held previews", 1);
    return *pool;
}

// The bytes of a device nobody has allowed yet: decoded as every stored photo is, within the one
// pixel budget and refused from their header past it, so a forged size takes no memory. Twice the
// square's side still fills it from a picture twice as long as it is wide.
QImage decodeScaled(const QByteArray& data, int side)
{
    return platform::decodeImageData(data, 2 * side);
}

QPixmap roundedPreview(const QImage& image, int side, qreal dpr)
{
    const int pixels = qRound(side * dpr);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    const QImage filled
        = image.scaled(pixels, pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, pixels, pixels), 6 * dpr, 6 * dpr);
    painter.setClipPath(clip);
    painter.drawImage(
        QPoint((pixels - filled.width()) / 2, (pixels - filled.height()) / 2), filled);
    painter.end();
    pixmap.setDevicePixelRatio(dpr);
    return pixmap;
}

} // namespace

PendingApprovalsView::PendingApprovalsView(AccessManager& access, QWidget* parent)
    : ApprovalBanner(parent)
    , m_access(access)
{
    setObjectName(QStringLiteral("pendingApprovals"));
    connect(
        &m_access, &AccessManager::pendingChanged, this, &PendingApprovalsView::scheduleRebuild);
    scheduleRebuild();
}

QStringList PendingApprovalsView::waitingKeys()
{
    QStringList keys;
    for (const PendingGroup& group : m_access.pendingGroups())
        keys.append(group.deviceID);
    return keys;
}

QList<ApprovalCardContent> PendingApprovalsView::cards(qsizetype from, qsizetype count)
{
    const QList<PendingGroup> groups = m_access.pendingGroups();
    // Previews of uploads no longer waiting are of no further use.
    QSet<QUuid> waiting;
    for (const PendingGroup& group : groups)
        waiting.insert(group.uploads.first().id);
    m_previews.removeIf([&](auto it) { return !waiting.contains(it.key()); });

    QList<ApprovalCardContent> contents;
    for (const PendingGroup& group : groups.mid(from, count)) {
        auto* preview = new QLabel;
        preview->setObjectName(QStringLiteral("approvalPreview"));
        preview->setFixedSize(kPreviewSize, kPreviewSize);
        preview->setAlignment(Qt::AlignCenter);
        const PendingUpload& first = group.uploads.first();
        const QImage image = m_previews.value(first.id);
        if (first.kind == ItemKind::photo && !image.isNull()) {
            preview->setPixmap(roundedPreview(image, kPreviewSize, devicePixelRatioF()));
        } else {
            const int side = QFontMetrics(vesker::font(TextStyle::title, this->font())).height();
            preview->setPixmap(
                symbolIcon(QStringLiteral("text.quote"), palette(), QPalette::WindowText)
                    .pixmap(QSize(side, side), devicePixelRatioF()));
            preview->setAccessibleName(QStringLiteral("text.quote"));
        }
        if (first.kind == ItemKind::photo && !m_previews.contains(first.id))
            decodePreview(first.id, first.imageData);

        const qsizetype n = group.uploads.size();
        const QString what
            = n == 1 ? QStringLiteral("something") : QStringLiteral("%1 items").arg(n);
        const QString deviceID = group.deviceID;
        const QString name = group.deviceName;
        contents.append({.tint = QColor(255, 204, 0, qRound(255 * 0.15)),
            .leading = preview,
            .headline = name + QStringLiteral(" wants to send ") + what,
            .detail = QStringLiteral("Allow this device?"),
            .allow = [this, deviceID, name](
                         GrantDuration duration) { m_access.approve(deviceID, name, duration); },
            .deny = [this, deviceID] { m_access.deny(deviceID); },
            .block = [this, deviceID, name] { m_access.block(deviceID, name); },
            .key = deviceID});
    }
    return contents;
}

void PendingApprovalsView::decodePreview(const QUuid& uploadID, const QByteArray& data)
{
    if (m_decoding.contains(uploadID))
        return;
    m_decoding.insert(uploadID);
    const int side = qRound(kPreviewSize * devicePixelRatioF());
    QPointer<PendingApprovalsView> self(this);
    (void)QtConcurrent::run(&previewPool(), [self, uploadID, data, side] {
        const QImage image = decodeScaled(data, side);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, uploadID, image] {
            if (!self)
                return;
            self->m_decoding.remove(uploadID);
            self->m_previews.insert(uploadID, image);
            if (!image.isNull())
                self->scheduleRebuild();
        });
    });
}

} // namespace vesker
