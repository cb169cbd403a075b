#include "platform/time_text.h"

namespace vesker::platform {

QString shortTimeText(const QDateTime& at, const QLocale& locale)
{
    // The C locale's short format carries seconds, which nobody reading a time of day needs.
    const QString format = locale.language() == QLocale::C
        ? QStringLiteral("HH:mm")
        : locale.timeFormat(QLocale::ShortFormat);
    return locale.toString(at.toLocalTime().time(), format);
}

} // namespace vesker::platform
