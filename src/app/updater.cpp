#include "app/updater.h"

namespace vesker {

Updater& Updater::shared()
{
    static Updater* updater = new Updater;
    return *updater;
}

void Updater::start()
{
    if (m_started)
        return;
    m_started = true;
    Q_EMIT started();
}

void Updater::checkNow()
{ }

} // namespace vesker
