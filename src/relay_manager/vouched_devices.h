#pragma once

#include <QSet>
#include <QString>

#include <mutex>

namespace vesker {

// The device ids (as sent in "X-Device") of the user's own devices, which the access policy
// always lets in. Device sync replaces the set from any thread while the main thread reads it,
// so every access goes through vouchedDevicesLock(); the functions below take it themselves and
// do nothing else while holding it.

// The one process-wide lock; it guards the vouched set and nothing else.
std::mutex& vouchedDevicesLock();

// Replaces the whole set at once, so a reader never sees half of an update.
void replaceVouchedDeviceIDs(QSet<QString> ids);
void clearVouchedDeviceIDs();
// False for an empty id.
bool isVouchedDevice(const QString& deviceID);
// A copy of the set, for views and tests.
QSet<QString> vouchedDeviceIDs();

} // namespace vesker
