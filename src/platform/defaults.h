#pragma once

#include "platform/atomic_file.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QObject>
#include <QStringList>

namespace vesker::platform {

class Clock;

// Typed user settings of one domain, kept as one JSON object in one file and written whole,
// atomically, on every change. Values keep their JSON type, so a setting of the wrong type can be
// told apart from a missing one and read as its default. Main thread only.
class Defaults : public QObject {
    Q_OBJECT
public:
    // Loads `filePath` if it exists. A file that does not decode is kept aside on the first write
    // rather than overwritten, under a name that carries `clock`'s time.
    Defaults(QString filePath, const Clock& clock, QObject* parent = nullptr);

    // $XDG_CONFIG_HOME/Vesker: where both domains live.
    static QString configFolder();
    // The standard domain, "defaults.json", on the system clock: for the composition root alone.
    static Defaults& standard();
    // The app-group suite shared with the program's other parts; for the composition root alone.
    static Defaults& group();

    QString filePath() const { return m_file.path(); }

    bool contains(const QString& key) const { return m_values.contains(key); }
    QJsonValue value(const QString& key) const { return m_values.value(key); }

    // Each getter returns `fallback` when the key is missing or holds another type.
    bool boolValue(const QString& key, bool fallback) const;
    qint64 integer(const QString& key, qint64 fallback) const;
    double doubleValue(const QString& key, double fallback) const;
    QString string(const QString& key, const QString& fallback = {}) const;
    QByteArray bytes(const QString& key) const;
    // A list or map holding anything but strings reads as empty.
    QStringList stringList(const QString& key) const;
    QMap<QString, QString> stringMap(const QString& key) const;

    void set(const QString& key, const QJsonValue& value);
    void setBytes(const QString& key, const QByteArray& value);
    void setStringList(const QString& key, const QStringList& value);
    void setStringMap(const QString& key, const QMap<QString, QString>& value);
    void remove(const QString& key);

    // Later writes pass through `device` (see WriteDevice).
    void setWriteDevice(WriteDevice device) { m_file.setWriteDevice(std::move(device)); }

Q_SIGNALS:
    void changed(const QString& key);

private:
    void save();

    AtomicFile m_file;
    QJsonObject m_values;
    const Clock& m_clock;
};

} // namespace vesker::platform
