#pragma once

// The built program started for real with a home of its own, and a deliberately plain
// HTTP/1.1 client over blocking POSIX sockets, so that a test can also behave as a badly
// written or hostile peer would. Everything talks to 127.0.0.1 only.

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <ostream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

// GoogleTest shows a QString (and so a QStringList or QSet) as its text rather than its bytes.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace vesker::e2e {

// How long the program may take to start or stop, and a request to be answered.
inline constexpr int kBoundMs = 15000;

struct Reply {
    int status = 0; // 0: no reply could be read; `error` says why
    QByteArray body;
    QString error;

    // Of the item an upload stored.
    QString id() const { return QJsonDocument::fromJson(body)["id"].toString(); }
};

// A blocking socket to 127.0.0.1:port whose connect, sends and receives give up after
// `timeoutMs`; -1, with errno set, when it cannot connect.
inline int connectLoopback(quint16 port, int timeoutMs = kBoundMs)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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

// Reads until the peer closes or the timeout passes, and closes `fd`.
inline Reply readReply(int fd)
{
    QByteArray raw;
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0 || (got < 0 && errno == EINTR))
        raw.append(buffer, std::max<ssize_t>(got, 0));
    const QString error = got < 0 ? QString::fromLocal8Bit(strerror(errno))
                                  : QStringLiteral("no reply head in %1 bytes").arg(raw.size());
    ::close(fd);
    const qsizetype headEnd = raw.indexOf("\r\n\r\n");
    if (!raw.startsWith("HTTP/1.") || headEnd < 0)
        return {0, {}, error};
    return {raw.mid(9, 3).toInt(), raw.mid(headEnd + 4), {}};
}

inline Reply exchange(quint16 port, const QByteArray& request)
{
    const int fd = connectLoopback(port);
    if (fd >= 0 && sendAll(fd, request))
        return readReply(fd);
    const Reply failed {0, {}, QString::fromLocal8Bit(strerror(errno))};
    ::close(fd);
    return failed;
}

enum class Kind { photo, pdf, text };

// A real JPEG or PDF padded to `size` bytes (readers stop at its end marker), or a text that
// long, so that file sizes in a test are chosen, not incidental.
inline QByteArray sample(Kind kind, qsizetype size)
{
    static const QByteArray kPhoto = [] {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        image.save(&buffer, "JPG");
        return bytes;
    }();
    if (kind == Kind::photo)
        return kPhoto.leftJustified(size, '\0');
    if (kind == Kind::pdf)
        return "%PDF-1.4\n" + QByteArray(size - 15, '%') + "\n%%EOF";
    return QByteArray(size, 'a');
}

// The program on a free port, with the offscreen platform, no network advertising and a quiet
// store. Settings are written before the first start; a restart keeps home, port and store.
class Vesker {
public:
    explicit Vesker(const QJsonObject& settings = {})
    {
        // A quiet store: no welcome or what's-new cards, and no recognition work competing
        // with the requests a test sends.
        QJsonObject all {{"serverPort", port}, {"advertiseOnNetwork", false},
            {"recognizeOnArrival", false}, {"didSeedWelcome", true},
            {"lastSeenVersion", VESKER_VERSION}};
        for (auto it = settings.begin(); it != settings.end(); ++it)
            all.insert(it.key(), it.value());
        const QString home = m_home.path();
        QDir().mkpath(home + "/.config/Vesker");
        QFile file(home + "/.config/Vesker/defaults.json");
        if (file.open(QIODevice::WriteOnly))
            file.write(QJsonDocument(all).toJson());

        // Folders left to the test process's own environment would be shared by every
        // program it starts.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_PICTURES_DIR"})
            env.remove(name);
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", home + "/.config");
        env.insert("XDG_RUNTIME_DIR", home);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        m_program.setProcessEnvironment(env);
        m_program.setProcessChannelMode(QProcess::ForwardedChannels);
        m_program.setProgram(VESKER_BINARY);
        // A test process killed by its timeout must not leave the program running.
        m_program.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    }

    ~Vesker()
    {
        stop();
        if (m_namespaceHolder) {
            // The namespace, and its tmpfs, end with the last process in it.
            m_namespaceHolder->kill();
            m_namespaceHolder->waitForFinished(kBoundMs);
        }
    }

    // Puts the item store on a tmpfs of its own in a private mount namespace, so that a full
    // disk can be tried without touching the machine's. Needs root; call before start().
    bool mountStoreOnTmpfs(int mebibytes)
    {
        // A shell mounts the tmpfs and holds the namespace while its standard input stays
        // open; the program starts inside it, so a restart finds the same tmpfs.
        const QString storeDir = m_home.path() + "/Pictures/Vesker";
        QDir().mkpath(storeDir);
        m_namespaceHolder = std::make_unique<QProcess>();
        m_namespaceHolder->start("unshare",
            {"--mount", "--propagation", "private", "sh", "-c",
                "mount -t tmpfs -o size=\"$1\"m tmpfs \"$0\" && echo mounted && read _", storeDir,
                QString::number(mebibytes)});
        if (!m_namespaceHolder->waitForReadyRead(kBoundMs)
            || m_namespaceHolder->readAll() != "mounted\n")
            return false;
        // nsenter executes the program in place, so the process id stays the program's.
        m_program.setArguments({"-t", QString::number(m_namespaceHolder->processId()), "-m", "--",
            m_program.program()});
        m_program.setProgram("nsenter");
        return true;
    }

    // Starts the program and waits, within a bound, until it answers GET /api/info.
    bool start()
    {
        m_program.start();
        if (!m_program.waitForStarted(kBoundMs))
            return false;
        // Without an event loop QProcess learns of the program's end only while waiting.
        const QDeadlineTimer deadline(kBoundMs);
        while (!deadline.hasExpired() && !m_program.waitForFinished(50)) {
            if (info().status == 200)
                return true;
        }
        return false;
    }

    // As the session ends it, forced if it lingers.
    void stop()
    {
        m_program.terminate();
        if (!m_program.waitForFinished(kBoundMs))
            kill();
    }

    // As a crash would.
    void kill()
    {
        m_program.kill();
        m_program.waitForFinished(kBoundMs);
    }

    bool restart()
    {
        stop();
        return start();
    }

    Reply info() const
    {
        return exchange(
            port, "GET /api/info HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    }

    // POST /upload, /file or /text with the content type a phone sends for the kind;
    // `headers` are extra lines, each ending in CRLF.
    Reply upload(Kind kind, const QByteArray& body, const QByteArray& headers = {}) const
    {
        static const char* const kRoutes[][2] {{"/upload", "image/jpeg"},
            {"/file", "application/pdf"}, {"/text", "text/plain; charset=utf-8"}};
        const auto& [path, type] = kRoutes[int(kind)];
        return exchange(port,
            QByteArray("POST ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                + "Content-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size())
                + "\r\n" + headers + "\r\n" + body);
    }

    // -1 when the program does not answer.
    int inboxCount() const { return QJsonDocument::fromJson(info().body)["inbox"].toInt(-1); }

    // A path in the item store as this test process reaches it.
    QString store(const QString& relative = {}) const
    {
        const QString root = m_namespaceHolder
            ? QStringLiteral("/proc/%1/root").arg(m_namespaceHolder->processId())
            : QString();
        return root + m_home.path() + "/Pictures/Vesker/" + relative;
    }

    QJsonArray index() const
    {
        QFile file(store("index.json"));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).array()
                                              : QJsonArray();
    }

    QSet<QString> indexIds() const
    {
        QSet<QString> ids;
        for (const QJsonValue& record : index())
            ids.insert(record["id"].toString());
        return ids;
    }

    // Copies of an index the program could not read, kept beside the store.
    QStringList keptAside() const
    {
        return QDir(store()).entryList({"index.json.unreadable-*"}, QDir::Files);
    }

    // A port nothing listens on now, on any address, since the program listens on all.
    const quint16 port = [] {
        QTcpServer probe;
        probe.listen();
        return probe.serverPort();
    }();

private:
    QTemporaryDir m_home {QDir::tempPath() + "/vesker-e2e-XXXXXX"};
    QProcess m_program;
    std::unique_ptr<QProcess> m_namespaceHolder;
};

} // namespace vesker::e2e
