#include "send/upload_types.h"

#include "http/http_address.h"

namespace vesker {

QString UploadError::description() const
{
    switch (m_kind) {
    case Kind::connection:
        return QStringLiteral("Couldn't reach the screen (") + m_detail + u')';
    case Kind::badResponse:
        return QStringLiteral("The screen replied: ") + m_detail;
    case Kind::timeout:
        return QStringLiteral("Timed out");
    case Kind::badURL:
        return QStringLiteral("That address doesn't look right");
    case Kind::needsCode:
        return QStringLiteral("Access code required");
    case Kind::denied:
        return QStringLiteral("The screen declined");
    case Kind::approvalTimeout:
        return QStringLiteral("The screen didn't answer in time");
    case Kind::tooOldForPDF:
        return QStringLiteral("That screen's app is too old to receive PDFs \u2014 update it");
    case Kind::notConnected:
        // There is no Internet tab to reconnect in: this computer has no relay connection.
        return QStringLiteral("That screen is reached through the relay, and this computer has no "
                              "relay connection");
    }
    return {};
}

std::optional<QUrl> UploadTarget::urlFor(const QString& path) const
{
    if (kind != Kind::endpoint)
        return urlUnderBase(baseURL, path);
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host);
    url.setPort(port);
    return urlUnderBase(url, path);
}

} // namespace vesker
