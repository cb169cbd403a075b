#include "send/device_id.h"

#include "platform/defaults.h"

#include <QUuid>

namespace vesker {

QString thisDeviceID(platform::Defaults& group)
{
    const QString key = QStringLiteral("deviceID");
    QString id = group.string(key).trimmed();
    if (id.isEmpty()) {
        id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        group.set(key, id);
    }
    return id;
}

} // namespace vesker
