#include "screens/remote_screen.h"

namespace vesker {

std::optional<QUrl> RemoteScreen::baseURL() const
{
    QString text = url.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (!text.contains(QLatin1String("://")))
        text.prepend(QLatin1String("http://"));
    QUrl formed(text, QUrl::StrictMode);
    if (!formed.isValid() || formed.host().isEmpty())
        return std::nullopt;
    // Set on the parsed address, so that it lands after the host whatever path or query follows.
    if (formed.port() == -1 && !text.endsWith(u'/'))
        formed.setPort(kDefaultPort);
    return formed;
}

QJsonObject RemoteScreen::toJson() const
{
    return {{QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("name"), name}, {QStringLiteral("url"), url},
        {QStringLiteral("shareOnLAN"), shareOnLAN}, {QStringLiteral("relayPort"), relayPort}};
}

} // namespace vesker
