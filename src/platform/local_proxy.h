#pragma once

#include <QNetworkProxy>
#include <QString>

namespace vesker::platform {

// A screen on this network must not be reached through a proxy that cannot see it; an address
// on the internet keeps the user's proxy.
QNetworkProxy proxyFor(const QString& host);

} // namespace vesker::platform
