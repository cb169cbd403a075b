#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

namespace vesker {

struct ScreenItem;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// "browser-log.txt" in the store's folder: who looked at the browser screen and what they did,
// one tab-separated line per event (UTC time, address, action, and for an action on an item the
// id's first 8 characters and "from " the sender). A polling page writes one "view" line per
// address per ten minutes. Lines are only ever appended. Main thread only.
class ViewerLog {
public:
    static constexpr qint64 kViewInterval = 600;

    ViewerLog(QString path, platform::Defaults& defaults, const platform::Clock& clock);

    // Nothing while the "viewerLog" setting is off (then no "view" time is kept either).
    void record(const QString& action, const QString& address, const ScreenItem* item = nullptr);

    QString path() const { return m_path; }

private:
    void append(const QByteArray& line);

    QString m_path;
    platform::Defaults& m_defaults;
    const platform::Clock& m_clock;
    QHash<QString, QDateTime> m_lastView;
};

} // namespace vesker
