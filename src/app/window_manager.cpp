#include "app/window_manager.h"

#include "platform/log.h"

namespace vesker {

WindowManager& WindowManager::shared()
{
    static WindowManager manager;
    return manager;
}

void WindowManager::handleArrival()
{
    qCInfo(lcArrival).noquote() << "[arrival] no window to bring forward";
}

void WindowManager::show()
{
    qCInfo(lcArrival).noquote() << "[arrival] no window to show";
}

} // namespace vesker
