#pragma once

#include <QObject>
#include <QString>

namespace vesker {

namespace platform {
class Defaults;
}

// How many items this computer has sent and had stored, in all and by kind, kept in the
// app-group settings. Main thread only.
class UsageStats : public QObject {
    Q_OBJECT
public:
    static constexpr auto kSentKey = "sentCount";

    explicit UsageStats(platform::Defaults& group, QObject* parent = nullptr);

    qint64 sentCount() const;
    // "photo", "pdf" or "text".
    qint64 sentCount(const QString& kind) const;

    // One item of `kind` was stored by its receiver.
    void recordSent(const QString& kind);

Q_SIGNALS:
    void sentCountChanged();

private:
    static QString kindKey(const QString& kind);

    platform::Defaults& m_group;
};

} // namespace vesker
