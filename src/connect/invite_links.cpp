#include "connect/invite_links.h"

#include "platform/service_hosts.h"

namespace vesker {

namespace {

const QString kAppPrefix = QStringLiteral("vesker://invite/");

QString stripped(QString word)
{
    static const QString kAround = QStringLiteral("\"'<>().,“”‘’«»");
    qsizetype start = 0;
    qsizetype end = word.size();
    while (start < end && kAround.contains(word.at(start)))
        ++start;
    while (end > start && kAround.contains(word.at(end - 1)))
        --end;
    return word.mid(start, end - start);
}

std::optional<QUrl> inviteUrl(const QString& word)
{
    if (!word.contains(QLatin1String("/i/")) && !word.startsWith(kAppPrefix))
        return std::nullopt;
    const QUrl url(word, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    if (word.startsWith(kAppPrefix))
        return word.size() > kAppPrefix.size() ? std::optional(url) : std::nullopt;
    // Only the invite service hands out web invites: "/i/" on any other site is that site's
    // page, and a name before an "@" is no host at all. A plain "http" link could be changed on
    // its way; a bare "/i/" has no code.
    if (url.scheme() == QLatin1String("https") && url.userInfo().isEmpty()
        && url.host() == QLatin1String(kInviteServiceHost) && url.port(443) == 443
        && url.path().startsWith(QLatin1String("/i/")) && url.path().size() > 3)
        return url;
    return std::nullopt;
}

} // namespace

bool InviteLinks::isInviteLink(const QString& text)
{
    return inviteUrl(text).has_value();
}

std::optional<QUrl> InviteLinks::extract(const QString& text)
{
    // Only a word around a marker can be a link: splitting a long text into all its words would
    // cost a card a second.
    std::optional<QUrl> first;
    qsizetype firstAt = text.size();
    for (const QString& marker : {QStringLiteral("/i/"), kAppPrefix}) {
        for (qsizetype at = text.indexOf(marker); at >= 0 && at < firstAt;) {
            qsizetype start = at;
            while (start > 0 && !text.at(start - 1).isSpace())
                --start;
            qsizetype end = at + marker.size();
            while (end < text.size() && !text.at(end).isSpace())
                ++end;
            if (auto url = inviteUrl(stripped(text.mid(start, end - start)))) {
                if (start < firstAt) {
                    first = std::move(url);
                    firstAt = start;
                }
                break;
            }
            at = text.indexOf(marker, end);
        }
    }
    return first;
}

} // namespace vesker
