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

// Why a remote screen cannot be kept as given, in the words the Remote tab shows; none when it
// can. Its port for phones, when it names one, must be no other screen's of this computer:
// `mainPort`, one of `hostedPorts`, or another shared screen's of `existing`.
std::optional<QString> remoteScreenProblem(const RemoteScreen& candidate,
    const QList<RemoteScreen>& existing, quint16 mainPort, const QList<quint16>& hostedPorts,
    const std::function<bool(quint16)>& portFree);

// Why this screen's own port cannot move to `port`, in the words the Hosted and Remote tabs use:
// one of the `hosted` screens, or a shared one of the `remotes`, has it. None when neither does.
std::optional<QString> mainPortProblem(
    int port, const QList<HostedScreen>& hosted, const QList<RemoteScreen>& remotes);

// What the Hosted and Remote tabs say of a listener of theirs that should be on `port` and is
// not: "Not listening", with the reason when there is one (`problem`). A port that is `mainPort`
// was taken first by this screen, and is named so.
QString notListeningText(const QString& problem, quint16 port, quint16 mainPort);

// A slug made from a screen's name: lower-case letters, digits and hyphens.
QString slugFor(const QString& name);

} // namespace vesker
