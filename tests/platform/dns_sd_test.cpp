#include "http/http_server.h"
#include "platform/dns_sd.h"
#include "support/temp_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vesker;
using platform::DnsSdHostName;
using platform::DnsSdPublisher;
using platform::DnsSdService;
using ::testing::ContainsRegex;
using ::testing::ExitedWithCode;
using namespace Qt::Literals::StringLiterals;

// Tests publish only through the loopback-only avahi-daemon that scripts/with-test-services
// starts, never through the machine's own, which would announce test services on every network
// it is on. Under the test services a missing service is a fault of the run, not a reason to
// skip.
#define VESKER_REQUIRE_TEST_SERVICES()                                                             \
    if (qEnvironmentVariable("VESKER_TEST_SERVICES") != QLatin1String("1"))                        \
    GTEST_SKIP() << "needs the loopback-only avahi-daemon of scripts/with-test-services"

namespace {

// What a browsing peer learns of one service: where it listens and its TXT record.
struct FoundService {
    quint16 port = 0;
    QMap<QString, QString> txt;
};

// avahi-browse writes a byte outside printable ASCII as \DDD, in decimal, and puts a backslash
// before its separators.
QString unescape(const QByteArray& text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
        } else if (i + 3 < text.size() && isdigit(text[i + 1])) {
            bytes += char(text.mid(i + 1, 3).toInt());
            i += 3;
        } else {
            bytes += text.mid(++i, 1);
        }
    }
    return QString::fromUtf8(bytes);
}

// Browses and resolves one service type with avahi-browse, as a phone or another screen on the
// network would, and keeps the services that are there right now, by name.
class AvahiFinder {
public:
    explicit AvahiFinder(const QString& type)
    {
        m_browse.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_browse.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        QObject::connect(&m_browse, &QProcess::readyReadStandardOutput, [this] { read(); });
        m_browse.start(QStringLiteral("avahi-browse"),
            {QStringLiteral("--resolve"), QStringLiteral("--parsable"), type});
    }
    ~AvahiFinder()
    {
        m_browse.kill();
        m_browse.waitForFinished();
    }

    // A default FoundService when it does not come.
    FoundService waitFor(const QString& name)
    {
        return QTest::qWaitFor([&] { return m_found.contains(name); }, 10000) ? m_found.value(name)
                                                                              : FoundService {};
    }
    bool waitUntilGone(const QString& name)
    {
        return QTest::qWaitFor([&] { return !m_found.contains(name); }, 10000);
    }

private:
    // "=;lo;IPv4;name;type;domain;host;address;port;"key=value" ..." for each resolved service,
    // "-;lo;IPv4;name;..." when it goes.
    void read()
    {
        static const QRegularExpression entry(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
        while (m_browse.canReadLine()) {
            const QList<QByteArray> fields = m_browse.readLine().trimmed().split(';');
            const QString name = unescape(fields.value(3));
            if (fields[0] == "-") {
                m_found.remove(name);
            } else if (fields[0] == "=" && fields.size() >= 10) {
                FoundService& found = m_found[name] = {quint16(fields[8].toUInt()), {}};
                const QString txt = QString::fromLatin1(fields.mid(9).join(';'));
                for (const QRegularExpressionMatch& match : entry.globalMatch(txt)) {
                    const QString text = unescape(match.captured(1).toLatin1());
                    found.txt.insert(text.section(u'=', 0, 0), text.section(u'=', 1));
                }
            }
        }
    }

    QProcess m_browse;
    QMap<QString, FoundService> m_found;
};

const QString kType = QStringLiteral("_vesker._tcp");

// Tests of every process share one daemon: names carry the process and a random number.
QString uniqueName(const QString& what)
{
    return what
        + u" %1-%2"_s.arg(QCoreApplication::applicationPid())
              .arg(QRandomGenerator::global()->bounded(100000));
}

// A port this test holds, so that what it publishes points at no one else's server.
quint16 heldPort(QTcpServer& server)
{
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

QString waitForRegistration(DnsSdPublisher& publisher)
{
    QSignalSpy registered(&publisher, &DnsSdPublisher::registered);
    return registered.wait(10000) ? registered.constLast().at(0).toString() : QString();
}

// A death test's child cannot use EXPECT: it ends at the first thing that went wrong, with 1
// and a line on stderr. The D-Bus library reads the system bus address once per process, so
// every test that sets one runs in a child.
[[noreturn]] void endChild(int status)
{
    QDir(test::testHome()).removeRecursively();
    _exit(status);
}

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        endChild(1);
    }
}

[[noreturn]] void publishWithSystemBus(const QByteArray& busAddress)
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", busAddress);
    DnsSdPublisher publisher({uniqueName(u"Vesker nobody"_s), kType, 9, {{"name", "x"}}});
    QSignalSpy failed(&publisher, &DnsSdPublisher::failed);
    QTest::qWait(2000); // long enough for the retry 1 s later, which must not report again
    check(failed.count() == 1 && publisher.registeredName().isEmpty(), "one failure, no name");
    endChild(0);
}

// A system bus that takes the connection and never answers, as a daemon stuck in a call does:
// publishing, withdrawing and asking for the host name must not hold up this thread while the
// bus keeps the DNS-SD thread waiting.
[[noreturn]] void publishOnAHungBus()
{
    const QByteArray path = QFile::encodeName(test::testHome()) + "/hung-bus";
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::copy_n(path.constData(), path.size(), address.sun_path);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    check(
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 16) == 0,
        "listening");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + path);

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longestWait = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestWait = std::max(longestWait, clock.elapsed() - last);
        last = clock.elapsed();
    });
    ticker.start(20);
    {
        DnsSdHostName hostName;
        auto first = std::make_unique<DnsSdPublisher>(
            DnsSdService {u"Vesker hung"_s, kType, 9, {{"name", "x"}}});
        QTest::qWait(500);
        first.reset();
        DnsSdPublisher second({u"Vesker hung 2"_s, kType, 9, {{"name", "x"}}});
        QTest::qWait(500);
        check(hostName.hostName().isEmpty() && second.registeredName().isEmpty(), "nothing known");
    }
    // The bus call takes 25 s before it gives up; a blocked thread would show that here.
    check(longestWait < 5000, "the event loop kept running");
    endChild(0);
}

// Starts a program of the test's own; it ends with the test process whatever happens.
std::unique_ptr<QProcess> startService(const QString& program, const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process->start(program, arguments);
    process->waitForStarted(5000);
    return process;
}

// On a system bus of its own: publishes before avahi-daemon runs, then starts the daemon, stops
// it and starts it again, the way the test services start theirs.
[[noreturn]] void publishAcrossDaemonRestarts(const QString& servicesDir)
{
    const QString socket = test::testHome() + u"/system_bus_socket"_s;
    const QString bus = u"unix:path="_s + socket;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.toUtf8());
    const auto dbus = startService(u"dbus-daemon"_s,
        {u"--nofork"_s, u"--address="_s + bus,
            u"--config-file=%1/system-bus.conf"_s.arg(servicesDir)});
    check(QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 5000), "bus up");
    QStringList avahi
        = geteuid() == 0 ? QStringList() : QStringList {u"--user"_s, u"--map-root-user"_s};
    avahi << u"--net"_s << u"--mount"_s << servicesDir + u"/avahi-in-namespace"_s
          << servicesDir + u"/avahi-daemon.conf"_s;

    const QString name = uniqueName(u"Vesker late"_s);
    QTcpServer server;
    const quint16 port = heldPort(server);
    DnsSdPublisher publisher({name, kType, port, {{"name", name}}});
    QSignalSpy failed(&publisher, &DnsSdPublisher::failed);
    QSignalSpy registered(&publisher, &DnsSdPublisher::registered);
    check(failed.wait(5000) && failed.at(0).at(0) == u"avahi-daemon is not running"_s,
        "waits for the daemon");

    auto daemon = startService(u"unshare"_s, avahi);
    check(registered.wait(20000), "published when the daemon came");
    check(AvahiFinder(kType).waitFor(name).port == port, "found on its port");
    daemon->terminate();
    check(QTest::qWaitFor(
              [&] { return failed.count() == 2 && publisher.registeredName().isEmpty(); }, 10000),
        "noticed that the daemon went");
    daemon->waitForFinished(5000);
    daemon = startService(u"unshare"_s, avahi);
    check(registered.wait(30000) && publisher.registeredName() == name,
        "published again when the daemon came back");
    endChild(0);
}

} // namespace

TEST(DnsSd, AServerIsFoundWithItsNamePathAndScreenWhileItRuns)
{
    VESKER_REQUIRE_TEST_SERVICES();
    AvahiFinder finder(kType);
    const QString plain = uniqueName(u"Vesker test"_s);
    // Past the 63 bytes of a DNS label, which end inside a two-byte character: cut before that
    // character, not refused.
    QString longName = uniqueName(QStringLiteral(u"Küche – Anna’s screen"));
    if (longName.toUtf8().size() % 2 != 0)
        longName += u'x';
    longName += QString(40, QChar(0x00E9));
    const QString screen = u"6F1C2B0A-3D4E-4F50-8A9B-0C1D2E3F4A5B"_s;
    const struct {
        QString name;
        QString screen;
        QString published;
        QMap<QString, QString> txt;
    } rows[] = {
        {plain, screen, plain, {{"name", plain}, {"path", "/upload"}, {"screen", screen}}},
        // No screen id: no screen key at all.
        {longName, QString(), QString::fromUtf8(longName.toUtf8().left(62)),
            {{"name", longName}, {"path", "/upload"}}},
    };
    HTTPServerConfig config;
    config.address = QHostAddress::LocalHost;
    config.advertise = true;
    for (const auto& row : rows) {
        SCOPED_TRACE(qPrintable(row.name));
        config.serviceName = row.name;
        config.screenID = row.screen;
        auto server = std::make_unique<HTTPServer>(config);
        QSignalSpy advertised(server.get(), &HTTPServer::advertised);
        ASSERT_FALSE(server->start({}).has_value());
        ASSERT_TRUE(advertised.wait(10000)) << "no registration within 10 s";
        EXPECT_EQ(server->advertisedName(), row.published);
        const FoundService found = finder.waitFor(row.published);
        EXPECT_EQ(found.port, server->serverPort());
        EXPECT_EQ(found.txt, row.txt);
        server.reset();
        EXPECT_TRUE(finder.waitUntilGone(row.published)) << "still announced after the server went";
    }
}

TEST(DnsSd, SecondPublisherOfATakenNameLearnsItsNewName)
{
    VESKER_REQUIRE_TEST_SERVICES();
    AvahiFinder finder(kType);
    const QString name = uniqueName(u"Vesker twin"_s);
    QTcpServer servers[2];
    DnsSdPublisher first({name, kType, heldPort(servers[0]), {{"name", name}}});
    ASSERT_EQ(waitForRegistration(first), name);
    DnsSdPublisher second({name, kType, heldPort(servers[1]), {{"name", name}}});
    const QString secondName = waitForRegistration(second);
    EXPECT_TRUE(secondName.startsWith(name + u' ')) << qPrintable(secondName);
    EXPECT_EQ(second.registeredName(), secondName);

    // Each name reaches its own server.
    EXPECT_EQ(finder.waitFor(name).port, servers[0].serverPort());
    EXPECT_EQ(finder.waitFor(secondName).port, servers[1].serverPort());
}

TEST(DnsSd, TheHostNameIsTheOneTheDaemonPublishes)
{
    VESKER_REQUIRE_TEST_SERVICES();
    DnsSdHostName hostName;
    QSignalSpy changed(&hostName, &DnsSdHostName::hostNameChanged);
    ASSERT_TRUE(changed.wait(10000));
    // The daemon of the test services runs alone on its own network, so no other host has
    // taken the name.
    EXPECT_EQ(hostName.hostName(),
        QSysInfo::machineHostName().section(u'.', 0, 0) + QStringLiteral(".local"));
}

TEST(DnsSd, PublishingLivesThroughAMissingHungOrRestartedDaemon)
{
    VESKER_REQUIRE_TEST_SERVICES();
    const QString servicesDir = qEnvironmentVariable("VESKER_TEST_SERVICES_DIR");
    ASSERT_FALSE(servicesDir.isEmpty()) << "the test services did not say where they live";
    const QByteArray noBus = "unix:path=" + QFile::encodeName(test::testHome()) + "/no-bus-here";
    const auto reported = [](const std::string& reason) {
        return AllOf(ContainsRegex("\\[bonjour\\] not discoverable: " + reason),
            Not(ContainsRegex("not discoverable.*not discoverable")));
    };
    // Nothing here may talk D-Bus before a child runs: the library keeps the first address.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        publishWithSystemBus(noBus), ExitedWithCode(0), reported("cannot reach avahi-daemon"));
    // A bus that answers but has no daemon on it: the publisher waits there for one.
    EXPECT_EXIT(publishWithSystemBus(qgetenv("DBUS_SESSION_BUS_ADDRESS")), ExitedWithCode(0),
        reported("avahi-daemon is not running"));
    EXPECT_EXIT(publishOnAHungBus(), ExitedWithCode(0), "");
    EXPECT_EXIT(publishAcrossDaemonRestarts(servicesDir), ExitedWithCode(0), "");
}
