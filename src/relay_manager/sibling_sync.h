#pragma once

#include <QObject>
#include <QString>

namespace vesker {

// Keeps the user's own devices in step and tells the access policy which device ids are theirs
// (vouched_devices.h). This build has no shared store to sync through, so starting only
// records that sync is unavailable, and the vouched set stays empty.
// Main thread only.
class SiblingSync : public QObject {
    Q_OBJECT
public:
    explicit SiblingSync(QObject* parent = nullptr);

    void start();

    // The name under which this device is published; the server controller keeps it current.
    QString deviceName() const { return m_deviceName; }
    void setDeviceName(const QString& name) { m_deviceName = name; }

    bool isStarted() const { return m_started; }
    bool available() const { return m_available; }
    // A short line for the Internet settings; empty before start().
    QString status() const { return m_status; }

Q_SIGNALS:
    void availableChanged();
    void statusChanged();

private:
    bool m_started = false;
    bool m_available = false;
    QString m_status;
    QString m_deviceName;
};

} // namespace vesker
