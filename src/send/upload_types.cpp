#include "send/upload_types.h"

namespace vesker {

QString UploadError::description() const
{
    switch (m_kind) {
    case Kind::connection:
        return QStringLiteral("Couldn't reach the Mac (") + m_detail + u')';
    case Kind::badResponse:
        return QStringLiteral("Mac replied: ") + m_detail;
    case Kind::timeout:
        return QStringLiteral("Timed out");
    case Kind::badURL:
        return QStringLiteral("That address doesn't look right");
    case Kind::needsCode:
        return QStringLiteral("Access code required");
    case Kind::denied:
        return QStringLiteral("The Mac declined");
    case Kind::approvalTimeout:
        return QStringLiteral("The Mac didn't answer in time");
    case Kind::tooOldForPDF:
        return QStringLiteral("That screen's app is too old to receive PDFs \u2014 update it");
    case Kind::notConnected:
        return QStringLiteral("That screen hasn't approved this device \u2014 reconnect it in "
                              "Settings \u25B8 Internet");
    }
    return {};
}

std::optional<QUrl> UploadTarget::urlFor(const QString& path) const
{
    QUrl url;
    if (kind == Kind::endpoint) {
        url.setScheme(QStringLiteral("http"));
        url.setHost(host);
        url.setPort(port);
        url.setPath(path);
    } else {
        url = baseURL;
        QString basePath = url.path(QUrl::FullyEncoded);
        while (basePath.endsWith(u'/'))
            basePath.chop(1);
        url.setPath(basePath + path, QUrl::TolerantMode);
        url.setQuery(QString());
        url.setFragment(QString());
    }
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;
    return url;
}

} // namespace vesker
