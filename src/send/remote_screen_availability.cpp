#include "send/remote_screen_availability.h"

#include "screens/remote_screens_manager.h"

namespace vesker {

namespace {

QString failureText(ReachFailure failure)
{
    switch (failure) {
    case ReachFailure::badAddress:
        return QStringLiteral("Its address is not one this computer can send to; correct it in "
                              "Settings \u25B8 Remote.");
    case ReachFailure::notFound:
        return QStringLiteral("Its address was not found on the network.");
    case ReachFailure::refused:
        return QStringLiteral("Nothing answers on its port: Vesker may not be running there.");
    case ReachFailure::noAnswer:
        return QStringLiteral("It did not answer within %1 seconds.")
            .arg(RemoteScreensManager::kCheckTimeoutMs / 1000);
    case ReachFailure::failed:
        break;
    }
    return QStringLiteral("It could not be reached.");
}

} // namespace

QString RemoteScreenAvailability::reason(const QUuid& screen) const
{
    if (canTick(screen))
        return {};
    const QString every = QStringLiteral(" It can be ticked once it answers; it is checked every "
                                         "%1 seconds.")
                              .arg(RemoteScreensManager::kCheckIntervalMs / 1000);
    const auto failure = m_unreachable.constFind(screen);
    if (failure == m_unreachable.cend())
        return QStringLiteral("Checking whether this screen answers\u2026") + every;
    return QStringLiteral("Did not answer the last check. ") + failureText(*failure) + every;
}

} // namespace vesker
