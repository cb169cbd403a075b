#pragma once

// A port for a program or server that a test starts later, free on every address now. Ports
// handed out for port 0 and for outgoing connections come from the kernel's ephemeral range, so
// between this probe and the later listen another test running in parallel could be given the
// same one and the listen would fail. Ports are picked below that range, where only a test that
// asks here looks, and at random, so two such tests rarely try the same one.

#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>

namespace vesker::test {

inline quint16 freePort()
{
    quint16 ephemeralStart = 32768;
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (range.open(QIODevice::ReadOnly)) {
        const int first = range.readAll().simplified().split(' ').value(0).toInt();
        if (first > 12000 && first <= 65535)
            ephemeralStart = quint16(first);
    }
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto port = quint16(QRandomGenerator::global()->bounded(10000, int(ephemeralStart)));
        QTcpServer probe;
        if (probe.listen(QHostAddress::Any, port))
            return port;
    }
    QTcpServer probe;
    probe.listen();
    return probe.serverPort();
}

} // namespace vesker::test
