#include "send/usage_stats.h"

#include "platform/defaults.h"

namespace vesker {

UsageStats::UsageStats(platform::Defaults& group, QObject* parent)
    : QObject(parent)
    , m_group(group)
{ }

QString UsageStats::kindKey(const QString& kind)
{
    return QLatin1String(kSentKey) + QLatin1Char('.') + kind;
}

qint64 UsageStats::sentCount() const
{
    return m_group.integer(QLatin1String(kSentKey), 0);
}

qint64 UsageStats::sentCount(const QString& kind) const
{
    return m_group.integer(kindKey(kind), 0);
}

void UsageStats::recordSent(const QString& kind)
{
    m_group.set(QLatin1String(kSentKey), sentCount() + 1);
    if (!kind.isEmpty())
        m_group.set(kindKey(kind), sentCount(kind) + 1);
    Q_EMIT sentCountChanged();
}

} // namespace vesker
