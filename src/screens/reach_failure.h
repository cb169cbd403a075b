#pragma once

namespace vesker {

// Why the last reachability check found a remote screen not answering.
enum class ReachFailure {
    badAddress, // no address can be made of what was typed
    notFound, // its host name is not known on the network
    refused, // the computer is there but nothing listens on that port
    noAnswer, // nothing came back within the check's time
    failed, // any other network failure
};

} // namespace vesker
