#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace vesker::platform {

// A time of day as the user reads it, in the computer's own time zone: the locale's short time
// style, without seconds ("14:05", "2:05 PM").
QString shortTimeText(const QDateTime& at, const QLocale& locale = QLocale());

} // namespace vesker::platform
