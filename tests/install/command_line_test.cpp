// The installed program's command line, as a shell runs it: --help and --version print and exit,
// an unknown option is refused, and none of them starts anything. The program runs in a home of
// its own that names a port, with no display and offscreen, alone and beside a running copy; a
// preloaded library notes every listen(), bind() and connect() it makes.
#include "app/command_line.h"
#include "installed.h"
#include "support/free_port.h"
#include "support/temp_env.h"

#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLockFile>

#include <unistd.h>

using namespace vesker;
using namespace vesker::install;

namespace {

struct Outcome {
    int exitStatus = -1; // -1: it crashed, or was still running at the bound and was killed
    QByteArray out;
    QByteArray err;
};

// Every entry under `root` with its size and last change: a file written, made or removed
// anywhere beneath it shows.
QStringList tree(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        entries.append(QStringLiteral("%1 %2 %3")
                           .arg(info.filePath())
                           .arg(info.size())
                           .arg(info.lastModified().toMSecsSinceEpoch()));
    }
    entries.sort();
    return entries;
}

// Under AddressSanitizer the program refuses to start unless the sanitizer's runtime is the first
// library it loads, ahead of the preloaded call log. This test runs under the same runtime, so
// the library it has loaded is the one to put first.
QString sanitizerRuntime()
{
#if defined(__SANITIZE_ADDRESS__)
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (maps.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : maps.readAll().split('\n')) {
            const qsizetype path = line.indexOf('/');
            if (path >= 0 && line.contains("/libasan.so"))
                return QString::fromUtf8(line.mid(path));
        }
    }
#endif
    return {};
}

class CommandLineProcess : public Installed {
protected:
    void SetUp() override
    {
        QDir().mkpath(m_home.filePath(".config/Vesker"));
        QDir().mkpath(m_home.filePath("tmp"));
        QFile settings(m_home.filePath(".config/Vesker/defaults.json"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(QJsonDocument(QJsonObject {{"serverPort", m_port}}).toJson());
    }

    Outcome launch(const QStringList& arguments, const QString& platform = "offscreen",
        const QString& outputFile = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", platform);
        env.insert("HOME", m_home.path());
        env.insert("XDG_CONFIG_HOME", m_home.filePath(".config"));
        env.insert("XDG_DATA_HOME", m_home.filePath(".local/share"));
        env.insert("XDG_CACHE_HOME", m_home.filePath(".cache"));
        env.insert("XDG_RUNTIME_DIR", m_home.path());
        env.insert("TMPDIR", m_home.filePath("tmp"));
        const QString runtime = sanitizerRuntime();
        env.insert("LD_PRELOAD",
            runtime.isEmpty() ? QStringLiteral(VESKER_CALL_LOG_LIBRARY)
                              : runtime + ':' + QStringLiteral(VESKER_CALL_LOG_LIBRARY));
        env.insert("VESKER_CALL_LOG", callLog());
        QProcess program;
        program.setProcessEnvironment(env);
        if (!outputFile.isEmpty())
            program.setStandardOutputFile(outputFile);
        program.start(usr("bin/vesker"), arguments);
        if (!program.waitForFinished(15000)) {
            program.kill();
            program.waitForFinished();
            return {};
        }
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            program.readAllStandardOutput(), program.readAllStandardError()};
    }

    QString callLog() const { return m_log.filePath("calls"); }

    // Where a running copy takes later launches' requests.
    QString instanceSocket() const
    {
        return m_home.filePath("vesker-" + QString::number(::getuid()) + ".socket");
    }

    QTemporaryDir m_home {QDir::tempPath() + "/vesker-cli-XXXXXX"};
    QTemporaryDir m_log {QDir::tempPath() + "/vesker-cli-log-XXXXXX"};
    const int m_port = test::freePort();
};

} // namespace

TEST_F(CommandLineProcess, HelpVersionAndUnknownOptionsAnswerWithoutStartingAnything)
{
    const struct {
        QStringList arguments;
        int exitStatus;
        QByteArray out;
        QByteArray err;
    } cases[] = {
        {{"--version"}, 0, "vesker " VESKER_VERSION "\n", ""},
        {{"--help"}, 0, CommandLine::help().toUtf8(), ""},
        {{"--bogus"}, 2, "",
            "vesker: unknown option '--bogus'\nTry 'vesker --help' for more information.\n"},
        {{"vesker://invite/ABCD-EFGH", "--verison"}, 2, "",
            "vesker: unknown option '--verison'\nTry 'vesker --help' for more information.\n"},
    };
    // With no display a QApplication made too early fails; offscreen it would start, listen,
    // make the store or hand the request to the running copy.
    const struct {
        const char* name;
        const char* platform;
        bool runningCopy;
    } settings[] = {
        {"offscreen, beside a running copy", "offscreen", true},
        {"with no display", "xcb", false},
        {"offscreen", "offscreen", false},
    };
    for (const auto& setting : settings) {
        // A copy as a later launch finds it: holding the lock, listening on the socket, never
        // answering.
        QLockFile lock(instanceSocket() + ".lock");
        QLocalServer copy;
        if (setting.runningCopy) {
            ASSERT_TRUE(lock.tryLock(0));
            QLocalServer::removeServer(instanceSocket());
            ASSERT_TRUE(copy.listen(instanceSocket())) << copy.errorString().toStdString();
        }
        const QStringList before = tree(m_home.path());
        for (const auto& c : cases) {
            SCOPED_TRACE(c.arguments.join(' ').toStdString() + ", " + setting.name);
            const Outcome outcome = launch(c.arguments, setting.platform);
            EXPECT_EQ(outcome.exitStatus, c.exitStatus);
            EXPECT_EQ(outcome.out.toStdString(), c.out.toStdString());
            EXPECT_EQ(outcome.err.toStdString(), c.err.toStdString());
            EXPECT_EQ(test::fileBytes(callLog()).toStdString(), "") << "listened or connected";
            EXPECT_FALSE(copy.waitForNewConnection(0)) << "reached the running copy";
            EXPECT_EQ(tree(m_home.path()), before) << "wrote a file";
            QFile::remove(callLog());
        }
    }
}

TEST_F(CommandLineProcess, PrintingIntoAFullDiskIsAFailure)
{
    for (const char* option : {"--help", "--version"}) {
        SCOPED_TRACE(option);
        EXPECT_EQ(launch({option}, "offscreen", "/dev/full").exitStatus, 1);
    }
}
