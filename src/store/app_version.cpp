#include "store/app_version.h"

#include <QCoreApplication>

namespace vesker {

QString AppVersion::current()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("1.0") : version;
}

} // namespace vesker
