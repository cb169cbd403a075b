#include "receive/viewer_log.h"

#include "platform/clock.h"
#include "platform/defaults.h"
#include "store/item_store.h"
#include "store/senders.h"

#include <QFile>

namespace vesker {

namespace {

// A field holding a tab or a line break would split one event over several lines or columns.
QString field(QString text)
{
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    }
    return text;
}

} // namespace

ViewerLog::ViewerLog(QString path, platform::Defaults& defaults, const platform::Clock& clock)
    : m_path(std::move(path))
    , m_defaults(defaults)
    , m_clock(clock)
{ }

void ViewerLog::record(const QString& action, const QString& address, const ScreenItem* item)
{
    if (!m_defaults.boolValue(QStringLiteral("viewerLog"), true))
        return;
    const QString who = address.isEmpty() ? QStringLiteral("?") : address;
    const QDateTime now = m_clock.now();
    if (action == QLatin1String("view")) {
        // The page polls every two seconds; one line per viewer per interval is enough.
        // Addresses are a viewer's own, so the table stays as small as the audience.
        const auto last = m_lastView.constFind(who);
        if (last != m_lastView.cend() && last->secsTo(now) < kViewInterval)
            return;
        m_lastView.insert(who, now);
    }
    QStringList fields {now.toUTC().toString(Qt::ISODate), field(who), action};
    if (item) {
        fields << item->id.toString(QUuid::WithoutBraces).toUpper().left(8)
               << field(QStringLiteral("from ") + Senders::displayName(item->sender, m_defaults));
    }
    append((fields.join(u'\t') + u'\n').toUtf8());
}

void ViewerLog::append(const QByteArray& line)
{
    // Append mode never truncates: a file that cannot be opened loses this line, not the earlier
    // ones. Errors never change a reply.
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(line);
}

} // namespace vesker
