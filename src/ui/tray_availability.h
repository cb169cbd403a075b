#pragma once

#include <QObject>
#include <QTimer>

#include <optional>

namespace vesker {

// Whether the desktop shows tray icons now. A panel's tray can come and go (a panel restarted,
// an extension switched off) and Qt tells nobody, so it is asked again every few seconds.
class TrayAvailability : public QObject {
    Q_OBJECT
public:
    explicit TrayAvailability(QObject* parent = nullptr);

    bool available() const { return m_available; }
    // Asks the desktop now, for a decision made once.
    static bool availableNow();

    // Tests and pictures choose a desktop with or without a tray, whatever this one has; none
    // asks the desktop again. Every instance follows at its next look.
    static void pretend(std::optional<bool> available);

Q_SIGNALS:
    void availableChanged(bool available);

private:
    void check();

    bool m_available = false;
    QTimer m_timer;
};

} // namespace vesker
