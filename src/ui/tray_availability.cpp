#include "ui/tray_availability.h"

#include <QSystemTrayIcon>

namespace vesker {

namespace {

constexpr int kCheckIntervalMs = 3000;
std::optional<bool> g_pretended;

bool trayShown()
{
    return g_pretended.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

} // namespace

TrayAvailability::TrayAvailability(QObject* parent)
    : QObject(parent)
    , m_available(trayShown())
{
    m_timer.setInterval(kCheckIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TrayAvailability::check);
    m_timer.start();
}

bool TrayAvailability::availableNow()
{
    return trayShown();
}

void TrayAvailability::pretend(std::optional<bool> available)
{
    g_pretended = available;
}

void TrayAvailability::check()
{
    const bool now = trayShown();
    if (now == m_available)
        return;
    m_available = now;
    Q_EMIT availableChanged(now);
}

} // namespace vesker
