#include "relay_manager/vouched_devices.h"

#include <utility>

namespace vesker {

namespace {

QSet<QString>& vouchedSet()
{
    static QSet<QString> ids;
    return ids;
}

} // namespace

std::mutex& vouchedDevicesLock()
{
    static std::mutex lock;
    return lock;
}

void replaceVouchedDeviceIDs(QSet<QString> ids)
{
    {
        const std::lock_guard guard(vouchedDevicesLock());
        vouchedSet().swap(ids);
    }
    // `ids` now holds the old set, freed here, outside the lock.
}

void clearVouchedDeviceIDs()
{
    replaceVouchedDeviceIDs({});
}

bool isVouchedDevice(const QString& deviceID)
{
    if (deviceID.isEmpty())
        return false;
    const std::lock_guard guard(vouchedDevicesLock());
    return vouchedSet().contains(deviceID);
}

QSet<QString> vouchedDeviceIDs()
{
    // The set is never changed in place, only swapped, so a shared copy stays valid.
    const std::lock_guard guard(vouchedDevicesLock());
    return vouchedSet();
}

} // namespace vesker
