#include "server/pending_approvals_view.h"

#include "server/access_manager.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vesker {

namespace {

QString countText(const PendingGroup& group)
{
    const qsizetype n = group.uploads.size();
    return n == 1 ? QStringLiteral("1 item is waiting.")
                  : QStringLiteral("%1 items are waiting.").arg(n);
}

} // namespace

PendingApprovalsView::PendingApprovalsView(AccessManager& access, QWidget* parent)
    : QFrame(parent)
    , m_access(access)
{
    setObjectName(QStringLiteral("approvalPrompt"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::AlternateBase);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // A button removes the prompt it sits in: the rebuild waits until its click has returned.
    connect(&m_access, &AccessManager::pendingChanged, this, &PendingApprovalsView::rebuild,
        Qt::QueuedConnection);
    rebuild();
}

void PendingApprovalsView::rebuild()
{
    if (m_content) {
        m_content->hide();
        m_content->deleteLater();
        m_content = nullptr;
    }
    const QList<PendingGroup> groups = m_access.pendingGroups();
    setVisible(!groups.isEmpty());
    if (groups.isEmpty())
        return;
    const PendingGroup group = groups.first();

    m_content = new QWidget(this);
    auto* row = new QHBoxLayout(m_content);
    row->setContentsMargins(14, 10, 14, 10);
    row->setSpacing(12);

    auto* icon = new QLabel(m_content);
    icon->setPixmap(symbolIcon(QStringLiteral("iphone"), palette(), QPalette::Highlight)
                        .pixmap(QSize(32, 32), devicePixelRatio()));
    row->addWidget(icon, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    auto* title = new QLabel(m_content);
    title->setObjectName(QStringLiteral("approvalTitle"));
    title->setTextFormat(Qt::PlainText);
    title->setWordWrap(true);
    title->setText(QStringLiteral("%1 wants to send to this Mac").arg(group.deviceName));
    setTextStyle(*title, TextStyle::headline);
    auto* detail = new QLabel(countText(group), m_content);
    detail->setTextFormat(Qt::PlainText);
    setSecondary(*detail);
    texts->addWidget(title);
    texts->addWidget(detail);
    row->addLayout(texts, 1);

    const QString deviceID = group.deviceID;
    const QString name = group.deviceName;
    auto addButton = [&](const QString& label, auto action) {
        QString title = label;
        auto* button = new QPushButton(title.replace(u'&', QStringLiteral("&&")), m_content);
        button->setAccessibleName(label);
        connect(button, &QPushButton::clicked, this, action);
        row->addWidget(button, 0, Qt::AlignVCenter);
        return button;
    };
    for (const GrantDuration duration : allGrantDurations()) {
        addButton(toString(duration),
            [this, deviceID, name, duration] { m_access.approve(deviceID, name, duration); });
    }
    row->addSpacing(8);
    addButton(QStringLiteral("Deny"), [this, deviceID] { m_access.deny(deviceID); });
    addButton(QStringLiteral("Block"), [this, deviceID, name] { m_access.block(deviceID, name); });
    layout()->addWidget(m_content);
}

} // namespace vesker
