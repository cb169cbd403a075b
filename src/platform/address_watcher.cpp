#include "platform/address_watcher.h"

#include "platform/log.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vesker::platform {

namespace {

// Enough for one turn of the event loop under a flood; the notifier fires again for the rest.
constexpr int kMaxReadsPerTurn = 64;

} // namespace

AddressWatcher::AddressWatcher(QObject* parent)
    : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &AddressWatcher::changed);

    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_fd < 0) {
        qCWarning(lcServer).noquote()
            << "[server] not following address changes:" << std::strerror(errno);
        return;
    }
    sockaddr_nl local {};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        qCWarning(lcServer).noquote()
            << "[server] not following address changes:" << std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &AddressWatcher::drain);
}

AddressWatcher::~AddressWatcher()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void AddressWatcher::drain()
{
    // The messages' content does not matter: whatever changed, the addresses are read afresh.
    alignas(nlmsghdr) char buffer[8192];
    bool heard = false;
    for (int reads = 0; reads < kMaxReadsPerTurn; ++reads) {
        sockaddr_nl from {};
        socklen_t fromSize = sizeof from;
        const ssize_t got = ::recvfrom(m_fd, buffer, sizeof buffer, MSG_DONTWAIT,
            reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got >= 0) {
            // Only the kernel speaks for the network; a process's message is no news.
            if (from.nl_pid == 0)
                heard = true;
            continue;
        }
        if (errno == EINTR)
            continue;
        // An overflowed queue lost announcements: something changed, but no telling what.
        if (errno == ENOBUFS) {
            heard = true;
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            qCWarning(lcServer).noquote()
                << "[server] stopped following address changes:" << std::strerror(errno);
            m_notifier->setEnabled(false);
        }
        break;
    }
    // Not restarted by later messages: a link that never settles still refreshes in time.
    if (heard && !m_settle.isActive())
        m_settle.start();
}

} // namespace vesker::platform
