#pragma once

#include "screens/hosted_screen.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace vesker {

// Why a hosted screen cannot be added as given, in the words the Hosted tab shows; none when it
// can. `portFree` asks the computer whether nothing else listens on a port.
std::optional<QString> hostedScreenProblem(const HostedScreen& candidate,
    const QList<HostedScreen>& existing, quint16 mainPort,
    const std::function<bool(quint16)>& portFree);

// A slug made from a screen's name: lower-case letters, digits and hyphens.
QString slugFor(const QString& name);

} // namespace vesker
