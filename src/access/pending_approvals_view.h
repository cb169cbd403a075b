#pragma once

#include "access/approval_banner.h"

#include <QHash>
#include <QImage>
#include <QUuid>

class QLabel;

namespace vesker {

class AccessManager;

// One card per device waiting to send to this computer, in the order each first sent: what it
// sends, how long to allow it, Deny and Block. Takes no room while nobody waits.
class PendingApprovalsView : public ApprovalBanner {
    Q_OBJECT
public:
    static constexpr int kPreviewSize = 56;

    explicit PendingApprovalsView(AccessManager& access, QWidget* parent = nullptr);

protected:
    QStringList waitingKeys() override;
    QList<ApprovalCardContent> cards(qsizetype from, qsizetype count) override;

private:
    // Decodes the held photo on a worker; a null image marks data that is no picture.
    void decodePreview(const QUuid& uploadID, const QByteArray& data);

    AccessManager& m_access;
    QHash<QUuid, QImage> m_previews;
    QSet<QUuid> m_decoding;
};

} // namespace vesker
