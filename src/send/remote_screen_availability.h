#pragma once

#include "screens/reach_failure.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QUuid>

namespace vesker {

// Whether the Send sheet lets a remote screen be ticked, from what the last reachability check
// found: only a screen that answered can be, and one that cannot says why in its tooltip.
class RemoteScreenAvailability {
public:
    RemoteScreenAvailability(QSet<QUuid> reachable, QHash<QUuid, ReachFailure> unreachable)
        : m_reachable(std::move(reachable))
        , m_unreachable(std::move(unreachable))
    { }

    bool canTick(const QUuid& screen) const { return m_reachable.contains(screen); }
    // Why it cannot be ticked; empty when it can.
    QString reason(const QUuid& screen) const;

private:
    QSet<QUuid> m_reachable;
    QHash<QUuid, ReachFailure> m_unreachable;
};

} // namespace vesker
