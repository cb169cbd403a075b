#pragma once

// Blocking POSIX sockets to 127.0.0.1, so that a test sees exactly the bytes on the wire and can
// behave as a badly written or hostile peer would.

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vesker::test {

// Its connect, sends and receives give up after `timeoutMs`; -1, with errno set, when it cannot
// connect. `from`, when given, is the source address: any of 127.0.0.0/8, so that a test can be
// many peers.
inline int connectLoopback(quint16 port, int timeoutMs, int receiveBuffer = 0, in_addr_t from = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in source {AF_INET, 0, {htonl(from)}, {}};
    if (from != 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0) {
        ::close(fd);
        return -1;
    }
    const timeval timeout {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const sockaddr_in address {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    ::close(fd);
    return -1;
}

// False, with errno set, when the peer or the timeout stops it.
inline bool sendAll(int fd, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t sent = ::send(fd, bytes.data(), size_t(bytes.size()), MSG_NOSIGNAL);
        if (sent < 0 && errno != EINTR)
            return false;
        bytes = bytes.sliced(std::max<ssize_t>(sent, 0));
    }
    return true;
}

// Everything the peer sends until it ends its side; `error` is 0 then, or errno when the timeout
// or a reset ended the wait.
inline QByteArray readToEnd(int fd, int& error)
{
    QByteArray received;
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0 || (got < 0 && errno == EINTR))
        received.append(buffer, std::max<ssize_t>(got, 0));
    error = got < 0 ? errno : 0;
    return received;
}

} // namespace vesker::test
