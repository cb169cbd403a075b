#include "access/access_types.h"

#include "platform/clock.h"
#include "platform/enum_table.h"
#include "platform/time_text.h"

#include <QRegularExpression>

#include <array>
#include <utility>

namespace vesker {

namespace {

constexpr std::array<std::pair<AccessPolicy, const char*>, 3> kPolicies {{
    {AccessPolicy::anyone, "anyone"},
    {AccessPolicy::ask, "ask"},
    {AccessPolicy::code, "code"},
}};
constexpr std::array<std::pair<AccessPolicy, const char*>, 3> kPolicyLabels {{
    {AccessPolicy::anyone, "Anyone on my network"},
    {AccessPolicy::ask, "Ask me before accepting from a new device"},
    {AccessPolicy::code, "Only with an access code"},
}};
constexpr std::array<std::pair<GrantDuration, const char*>, 4> kDurations {{
    {GrantDuration::once, "Once"},
    {GrantDuration::thirtyMinutes, "30 min"},
    {GrantDuration::oneDay, "1 day"},
    {GrantDuration::forever, "Always"},
}};
constexpr std::array<std::pair<AccessDecision, const char*>, 4> kDecisions {{
    {AccessDecision::allow, "allow"},
    {AccessDecision::refuse, "refuse"},
    {AccessDecision::ask, "ask"},
    {AccessDecision::tooManyTries, "too-many-tries"},
}};

// The locale's long date without its weekday and with the month abbreviated ("Mar 1, 2025"):
// Qt has no abbreviated date style of its own.
QString abbreviatedDateFormat(const QLocale& locale)
{
    static const QRegularExpression weekday(QStringLiteral("\\s*[,،]?\\s*dddd[,.،]?\\s*"));
    QString format = locale.dateFormat(QLocale::LongFormat);
    format.replace(weekday, QStringLiteral(" "));
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return format.trimmed();
}

} // namespace

QString toString(AccessPolicy policy)
{
    return platform::rawOf(kPolicies, policy);
}
std::optional<AccessPolicy> accessPolicyFromString(const QString& raw)
{
    return platform::caseOf(kPolicies, raw);
}
QString label(AccessPolicy policy)
{
    return platform::rawOf(kPolicyLabels, policy);
}
const QList<AccessPolicy>& allAccessPolicies()
{
    static const QList<AccessPolicy> all = platform::casesOf(kPolicies);
    return all;
}

QString toString(GrantDuration duration)
{
    return platform::rawOf(kDurations, duration);
}
std::optional<GrantDuration> grantDurationFromString(const QString& id)
{
    return platform::caseOf(kDurations, id);
}
const QList<GrantDuration>& allGrantDurations()
{
    static const QList<GrantDuration> all = platform::casesOf(kDurations);
    return all;
}

std::optional<qint64> grantSeconds(GrantDuration duration)
{
    switch (duration) {
    case GrantDuration::thirtyMinutes:
        return 1800;
    case GrantDuration::oneDay:
        return 86400;
    case GrantDuration::once:
    case GrantDuration::forever:
        break;
    }
    return std::nullopt;
}

QDateTime expiryDate(qint64 seconds, const platform::Clock& clock)
{
    return clock.now().addSecs(seconds);
}

QString toString(AccessDecision decision)
{
    return platform::rawOf(kDecisions, decision);
}

bool DeviceGrant::isLive(const QDateTime& now) const
{
    return !expiresAt || *expiresAt > now;
}

QString DeviceGrant::expiryText(const QDateTime& now, const QLocale& locale) const
{
    if (!expiresAt)
        return QStringLiteral("Always");
    if (!isLive(now))
        return QStringLiteral("Expired");
    const QDateTime local = expiresAt->toLocalTime();
    return QStringLiteral("Until ") + locale.toString(local.date(), abbreviatedDateFormat(locale))
        + u' ' + platform::shortTimeText(local, locale);
}

std::optional<DeviceGrant> DeviceGrant::fromJson(const QJsonObject& json)
{
    const QJsonValue deviceID = json.value(QLatin1String("deviceID"));
    const QJsonValue name = json.value(QLatin1String("name"));
    const QJsonValue grantedAt = json.value(QLatin1String("grantedAt"));
    if (!deviceID.isString() || !name.isString() || !grantedAt.isString())
        return std::nullopt;
    DeviceGrant grant;
    grant.deviceID = deviceID.toString();
    grant.name = name.toString();
    grant.grantedAt = fromIsoDate(grantedAt.toString());
    if (!grant.grantedAt.isValid())
        return std::nullopt;
    const QJsonValue expiresAt = json.value(QLatin1String("expiresAt"));
    if (!expiresAt.isUndefined() && !expiresAt.isNull()) {
        const QDateTime end = fromIsoDate(expiresAt.toString());
        if (!end.isValid())
            return std::nullopt;
        grant.expiresAt = end;
    }
    return grant;
}

QJsonObject DeviceGrant::toJson() const
{
    QJsonObject json {
        {QStringLiteral("deviceID"), deviceID},
        {QStringLiteral("name"), name},
        {QStringLiteral("grantedAt"), toIsoDate(grantedAt)},
    };
    if (expiresAt)
        json.insert(QStringLiteral("expiresAt"), toIsoDate(*expiresAt));
    return json;
}

qint64 PendingUpload::heldBytes() const
{
    const qint64 characters = deviceID.size() + deviceName.size() + remoteAddress.size()
        + fileExtension.size() + text.size() + note.size() + sender.size() + originalName.size()
        + groupID.size();
    return static_cast<qint64>(sizeof(PendingUpload)) + imageData.size()
        + characters * static_cast<qint64>(sizeof(QChar));
}

QString refusalText(HoldRefusal refusal)
{
    return refusal == HoldRefusal::tooManyDevices
        ? QStringLiteral("Too many waiting")
        : QStringLiteral("Too many uploads waiting for approval");
}

QJsonObject DeviceStatus::toJson() const
{
    QJsonObject json {
        {QStringLiteral("approved"), approved},
        {QStringLiteral("denied"), denied},
        {QStringLiteral("pending"), pending},
    };
    if (expired)
        json.insert(QStringLiteral("expired"), true);
    return json;
}

} // namespace vesker
