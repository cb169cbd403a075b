#include "platform/notification_center.h"

namespace vesker::platform {

NotificationCenter& NotificationCenter::shared()
{
    static NotificationCenter center;
    return center;
}

void NotificationCenter::post(const QString& name, const QVariant& object)
{
    Q_EMIT posted(name, object);
}

} // namespace vesker::platform
