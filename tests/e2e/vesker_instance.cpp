#include "vesker_instance.h"

#include "http_client.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vesker::e2e {

namespace {

constexpr int kStartBoundMs = 15000;
constexpr int kStopBoundMs = 5000;

// A port nothing listens on now, on any address, since the program listens on all of them.
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

} // namespace

VeskerInstance::VeskerInstance(const QJsonObject& settings)
    : m_home(QDir::tempPath() + QStringLiteral("/vesker-e2e-XXXXXX"))
    , m_port(freePort())
{
    // A quiet store: no welcome or what's-new cards, and no recognition work competing with
    // the requests a test sends.
    QJsonObject all {
        {QStringLiteral("serverPort"), m_port},
        {QStringLiteral("advertiseOnNetwork"), false},
        {QStringLiteral("recognizeOnArrival"), false},
        {QStringLiteral("didSeedWelcome"), true},
        {QStringLiteral("lastSeenVersion"), QStringLiteral(VESKER_VERSION)},
    };
    for (auto it = settings.begin(); it != settings.end(); ++it)
        all.insert(it.key(), it.value());
    const QString home = m_home.path();
    for (const char* folder : {"/.config/Vesker", "/.local/share", "/.cache", "/runtime"})
        QDir().mkpath(home + QLatin1String(folder));
    QFile::setPermissions(
        home + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(storeDir());
    QFile file(home + QStringLiteral("/.config/Vesker/defaults.json"));
    if (file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(all).toJson());
}

VeskerInstance::~VeskerInstance()
{
    stop();
    if (m_namespaceHolder) {
        // The holder waits on its standard input; closing it ends the namespace and its tmpfs.
        m_namespaceHolder->closeWriteChannel();
        if (!m_namespaceHolder->waitForFinished(kStopBoundMs))
            m_namespaceHolder->kill();
        m_namespaceHolder->waitForFinished(kStopBoundMs);
    }
}

QString VeskerInstance::storeDir() const
{
    return m_home.path() + QStringLiteral("/Pictures/Vesker");
}

QString VeskerInstance::storePath(const QString& relative) const
{
    QString path = storeDir();
    if (m_namespaceHolder)
        path = QStringLiteral("/proc/%1/root").arg(m_namespaceHolder->processId()) + path;
    return relative.isEmpty() ? path : path + u'/' + relative;
}

bool VeskerInstance::mountStoreOnTmpfs(int mebibytes)
{
    // A shell that mounts the tmpfs in a namespace of its own and then holds the namespace
    // until its standard input closes; the program is started inside it with nsenter, so a
    // restart finds the same tmpfs.
    m_namespaceHolder = std::make_unique<QProcess>();
    m_namespaceHolder->start(QStringLiteral("unshare"),
        {QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private"),
            QStringLiteral("sh"), QStringLiteral("-c"),
            QStringLiteral("mount -t tmpfs -o size=\"$1\"m tmpfs \"$0\" && echo mounted && read _"),
            storeDir(), QString::number(mebibytes)});
    const QDeadlineTimer deadline(kStopBoundMs);
    while (!m_namespaceHolder->canReadLine() && !deadline.hasExpired()
        && m_namespaceHolder->state() != QProcess::NotRunning)
        m_namespaceHolder->waitForReadyRead(100);
    if (m_namespaceHolder->readLine().trimmed() != "mounted") {
        m_namespaceHolder->kill();
        m_namespaceHolder->waitForFinished(kStopBoundMs);
        m_namespaceHolder.reset();
        return false;
    }
    return true;
}

bool VeskerInstance::start()
{
    const QString home = m_home.path();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("XDG_PICTURES_DIR"));

    m_program = std::make_unique<QProcess>();
    m_program->setProcessEnvironment(env);
    m_program->setProcessChannelMode(QProcess::MergedChannels);
    m_program->setStandardOutputFile(home + QStringLiteral("/vesker.log"), QIODevice::Append);
    // A test process killed by its timeout must not leave the program running.
    m_program->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    const QString binary = QStringLiteral(VESKER_BINARY);
    if (m_namespaceHolder) {
        // nsenter executes the program in place, so the process id stays the program's.
        m_program->start(QStringLiteral("nsenter"),
            {QStringLiteral("-t"), QString::number(m_namespaceHolder->processId()),
                QStringLiteral("-m"), QStringLiteral("--"), binary});
    } else {
        m_program->start(binary, {});
    }
    if (!m_program->waitForStarted(kStopBoundMs))
        return false;
    const QDeadlineTimer deadline(kStartBoundMs);
    while (!deadline.hasExpired() && running()) {
        if (httpRequest(m_port, "GET", "/api/info", {}, {}, 1000).status == 200)
            return true;
        QThread::msleep(50);
    }
    return false;
}

void VeskerInstance::stop()
{
    if (!running())
        return;
    m_program->terminate();
    if (!m_program->waitForFinished(kStopBoundMs))
        kill();
}

void VeskerInstance::kill()
{
    if (!running())
        return;
    ::kill(pid_t(m_program->processId()), SIGKILL);
    m_program->waitForFinished(kStopBoundMs);
}

bool VeskerInstance::restart()
{
    stop();
    return start();
}

bool VeskerInstance::running()
{
    // Without an event loop QProcess learns of the child's end only when asked to wait.
    return m_program && m_program->state() != QProcess::NotRunning
        && !m_program->waitForFinished(0);
}

QByteArray VeskerInstance::log() const
{
    QFile file(m_home.path() + QStringLiteral("/vesker.log"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().right(4000) : QByteArray();
}

} // namespace vesker::e2e
