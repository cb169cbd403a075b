#include "relay_manager/sibling_sync.h"

#include "platform/log.h"

#include <QLoggingCategory>

namespace vesker {

SiblingSync::SiblingSync(QObject* parent)
    : QObject(parent)
{ }

void SiblingSync::start()
{
    if (m_started)
        return;
    m_started = true;
    // available() stays false.
    m_status = QStringLiteral("Device sync is not available.");
    qCInfo(lcSync).noquote() << "[sync] not available: no shared store to sync through";
    Q_EMIT statusChanged();
}

} // namespace vesker
