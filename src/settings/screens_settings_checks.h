#pragma once

#include "screens/hosted_screen.h"
#include "screens/remote_screen.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace vesker {

// Why a hosted screen cannot be added, or changed, as given, in the words the Hosted tab shows;
// none when it can. A candidate whose id is among `existing` is a change of that screen, which
// keeps its own slug and port. `remotes` are the screens reached by address, whose relays for
// phones listen on ports of their own. `portFree` asks the computer whether nothing else
// listens on a port.
std::optional<QString> hostedScreenProblem(const HostedScreen& candidate,
    const QList<HostedScreen>& existing, quint16 mainPort, const QList<RemoteScreen>& remotes,
    const std::function<bool(quint16)>& portFree);

// A slug made from a screen's name: lower-case letters, digits and hyphens.
QString slugFor(const QString& name);

} // namespace vesker
