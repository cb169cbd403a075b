#pragma once

// The built program started for real with a home of its own, and a plain HTTP/1.1 client over
// blocking POSIX sockets, so that a test can also behave as a badly written or hostile peer
// would. Everything talks to 127.0.0.1 only.

#include "support/free_port.h"
#include "support/loopback_socket.h"
#include "support/temp_env.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QVariantMap>

#include <csignal>
#include <cstring>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace vesker::e2e {

// The records of a store as its next start reads them: the index, then the changes its journal
// holds since the index was last written whole.
inline QJsonArray storedIndex(const QString& indexPath)
{
    QJsonArray records = QJsonDocument::fromJson(test::fileBytes(indexPath)).array();
    const QString journal = QFileInfo(indexPath).path() + "/index.journal";
    for (const QByteArray& line : test::fileBytes(journal).split('\n')) {
        const QJsonObject change = QJsonDocument::fromJson(line).object();
        const bool put = change["put"].isObject();
        const QString id = put ? change["put"]["id"].toString() : change["remove"].toString();
        if (id.isEmpty())
            continue;
        qsizetype at = 0;
        while (at < records.size() && records.at(at)["id"].toString() != id)
            ++at;
        if (!put) {
            for (qsizetype i = records.size() - 1; i >= 0; --i) {
                if (records.at(i)["id"].toString() == id)
                    records.removeAt(i);
            }
        } else if (at < records.size()) {
            records[at] = change["put"];
        } else {
            records.append(change["put"]);
        }
    }
    return records;
}

// A figure of /proc/<pid>/status in KiB ("VmHWM:" is the peak resident size); -1 when absent.
inline qint64 statusKiB(qint64 pid, const QByteArray& field)
{
    const QByteArray status = test::fileBytes(QString("/proc/%1/status").arg(pid));
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// How long the program may take to start or stop, and a request to be answered.
inline constexpr int kBoundMs = 15000;

struct Reply {
    int status = 0; // 0: no reply could be read; `error` says why
    QByteArray body;
    std::string error;
    QByteArray head; // the status line and headers

    // A header's value, its name in any case; empty when absent.
    QByteArray header(const QByteArray& name) const
    {
        for (const QByteArray& line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return line.sliced(colon + 1).trimmed();
        }
        return {};
    }

    // Of the item an upload stored.
    QString id() const { return QJsonDocument::fromJson(body)["id"].toString(); }
};

using test::connectLoopback;
using test::sendAll;

// Reads until the peer closes or the timeout passes, and closes `fd`.
inline Reply readReply(int fd)
{
    int error = 0;
    const QByteArray raw = test::readToEnd(fd, error);
    ::close(fd);
    const qsizetype headEnd = raw.indexOf("\r\n\r\n");
    if (!raw.startsWith("HTTP/1.") || headEnd < 0)
        return {0, {}, error ? strerror(error) : "no reply head"};
    return {raw.mid(9, 3).toInt(), raw.mid(headEnd + 4), {}, raw.first(headEnd)};
}

// `from`, when given, is the source address: any of 127.0.0.0/8, so that a test can be many
// peers.
inline Reply exchange(quint16 port, int timeoutMs, const QByteArray& request, in_addr_t from = 0)
{
    const int fd = connectLoopback(port, timeoutMs, 0, from);
    if (fd < 0)
        return {0, {}, strerror(errno)};
    sendAll(fd, request); // a server that stops reading early may still have answered
    return readReply(fd);
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
    return kind == Kind::photo ? kPhoto.leftJustified(size, '\0')
        : kind == Kind::pdf    ? "%PDF-1.4\n" + QByteArray(size - 15, '%') + "\n%%EOF"
                               : QByteArray(size, 'a');
}

// The program on a free port, with the offscreen platform and no network advertising, update
// check, welcome cards or recognition work competing with the requests. A restart keeps home,
// port and store.
class Vesker {
public:
    explicit Vesker(const QVariantMap& settings = {})
    {
        QVariantMap all {{"serverPort", port}, {"advertiseOnNetwork", false},
            {"recognizeOnArrival", false}, {"didSeedWelcome", true},
            {"lastSeenVersion", VESKER_VERSION}, {"checkForUpdatesAutomatically", false}};
        all.insert(settings);
        const QString home = m_home.path();
        QDir().mkpath(home + "/.config/Vesker");
        QFile file(home + "/.config/Vesker/defaults.json");
        if (file.open(QIODevice::WriteOnly))
            file.write(QJsonDocument::fromVariant(all).toJson());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("XDG_DATA_HOME"); // the test process's own would be shared by every program
        env.remove("XDG_CACHE_HOME");
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
        ::umount2(QFile::encodeName(store()).constData(), MNT_DETACH); // harmless if unmounted
    }

    // Puts the store on a tmpfs in a mount namespace private to this test process and the
    // program, so that a full disk can be tried without touching the machine's. Needs root and
    // no other thread yet; call before start().
    bool mountStoreOnTmpfs(int mebibytes)
    {
        const QByteArray options = "size=" + QByteArray::number(mebibytes) + "m";
        return QDir().mkpath(store()) && ::unshare(CLONE_NEWNS) == 0
            && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
            && ::mount(
                   "tmpfs", QFile::encodeName(store()).constData(), "tmpfs", 0, options.constData())
            == 0;
    }

    // Hands every file of the home to the user `user` (its own group too) and runs the program
    // as that user from its next start, as another person's login would; files written later
    // are the test's until handed over again. Needs root; false when that failed.
    bool runAs(uid_t user)
    {
        bool handed = ::lchown(QFile::encodeName(m_home.path()).constData(), user, user) == 0;
        QDirIterator it(m_home.path(), QDir::AllEntries | QDir::Hidden | QDir::System,
            QDirIterator::Subdirectories);
        while (it.hasNext())
            handed = ::lchown(QFile::encodeName(it.next()).constData(), user, user) == 0 && handed;
        // The death signal is asked for after the change of user, which clears it.
        m_program.setChildProcessModifier([user] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)
                ::_exit(127);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        });
        return handed;
    }

    // Starts the program and returns at once, for a test that watches it come up.
    void launch() { m_program.start(); }

    // Starts the program and waits, within a bound, until it answers GET /api/info.
    bool start()
    {
        m_program.start();
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

    bool restart() { return stop(), start(); }

    // Sends `signal` and waits for the end: the exit code, or -1 when the program was ended by
    // a signal or did not end within the bound (it is then killed).
    int endWith(int signal)
    {
        ::kill(pid_t(pid()), signal);
        if (!m_program.waitForFinished(kBoundMs)) {
            kill();
            return -1;
        }
        return m_program.exitStatus() == QProcess::NormalExit ? m_program.exitCode() : -1;
    }

    // On the X display and window manager of the test services instead of the offscreen
    // platform, for what a user sees of windows; call before start().
    void useDisplay()
    {
        QProcessEnvironment env = m_program.processEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        m_program.setProcessEnvironment(env);
    }

    // Another build of the program (an installed one, say); call before start().
    void useProgram(const QString& path) { m_program.setProgram(path); }

    // The program's log (its standard error) goes to a file instead; call before start().
    void captureLog()
    {
        m_program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        m_program.setStandardErrorFile(m_home.filePath("vesker.log"));
    }
    QByteArray log() const { return test::fileBytes(m_home.filePath("vesker.log")); }

    qint64 pid() const { return m_program.processId(); }

    struct Launch {
        int exitCode = -1; // -1: it did not end within the bound
        QByteArray errors;
    };

    // The program started once more while this one runs, as the user would: same home.
    Launch launchAgain(const QStringList& arguments = {}) const
    {
        QProcess again;
        again.setProcessEnvironment(m_program.processEnvironment());
        again.start(m_program.program(), arguments);
        if (!again.waitForFinished(kBoundMs)) {
            again.kill();
            again.waitForFinished(kBoundMs);
            return {};
        }
        return {again.exitStatus() == QProcess::NormalExit ? again.exitCode() : -1,
            again.readAllStandardError()};
    }

    Reply info(int timeoutMs = kBoundMs) const
    {
        return exchange(port, timeoutMs,
            "GET /api/info HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    }

    // POST /upload, /file or /text as a phone sends the kind; `headers` end each in CRLF.
    Reply upload(Kind kind, const QByteArray& body, const QByteArray& headers = {}) const
    {
        static const char* const kRoutes[][2] {{"/upload", "image/jpeg"},
            {"/file", "application/pdf"}, {"/text", "text/plain; charset=utf-8"}};
        const auto& [path, type] = kRoutes[int(kind)];
        return exchange(port, kBoundMs,
            QByteArray("POST ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                + "Content-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size())
                + "\r\n" + headers + "\r\n" + body);
    }

    // -1 when the program does not answer.
    int inboxCount() const { return QJsonDocument::fromJson(info().body)["inbox"].toInt(-1); }

    // The local socket later launches hand their request over on.
    QString instanceSocket() const
    {
        return m_home.filePath("vesker-" + QString::number(::getuid()) + ".socket");
    }

    QString store(const QString& relative = {}) const
    {
        return m_home.path() + "/Pictures/Vesker/" + relative;
    }

    QJsonArray index() const { return storedIndex(store("index.json")); }

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

    // Free on every address, since the program listens on all. A test that has the program
    // listen elsewhere points this there.
    quint16 port = test::freePort();

private:
    QTemporaryDir m_home {QDir::tempPath() + "/vesker-e2e-XXXXXX"};
    QProcess m_program;
};

} // namespace vesker::e2e
