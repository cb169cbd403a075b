#include "platform/quit_signals.h"

#include "platform/log.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace vesker::platform {

namespace {

constexpr std::array kSignals {SIGTERM, SIGINT, SIGHUP};

// Written by the handler, read on the main thread; -1 while no instance is installed.
volatile sig_atomic_t g_writeEnd = -1;
int g_readEnd = -1;

extern "C" void onQuitSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a request to quit; the byte may be dropped.
    [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &number, 1);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent)
    : QObject(parent)
{
    int ends[2];
    if (g_writeEnd >= 0
        || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) {
        qCWarning(lcApp) << "[app] signals to quit are not handled: no pipe for them";
        return;
    }
    g_readEnd = ends[0];
    g_writeEnd = ends[1];
    m_notifier = new QSocketNotifier(g_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readSignals);

    struct sigaction action { };
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

QuitSignals::~QuitSignals()
{
    if (!m_notifier)
        return;
    struct sigaction action { };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    const int writeEnd = g_writeEnd;
    g_writeEnd = -1;
    ::close(writeEnd);
    ::close(std::exchange(g_readEnd, -1));
}

void QuitSignals::readSignals()
{
    unsigned char numbers[16];
    ssize_t got = 0;
    while ((got = ::read(g_readEnd, numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < got; ++i) {
            qCInfo(lcApp).noquote()
                << QStringLiteral("[app] quitting on signal %1").arg(numbers[i]);
            Q_EMIT quitRequested(numbers[i]);
        }
    }
}

} // namespace vesker::platform
