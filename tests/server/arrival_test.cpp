#include "connect/mac_invite_handler.h"
#include "controller_fixture.h"
#include "platform/defaults.h"
#include "platform/desktop_notifications.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "server/server_controller.h"
#include "store/item_store.h"
#include "support/manual_clock.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QLocale>
#include <QLoggingCategory>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace vesker;
using namespace vesker::test;

namespace {

// ---- The log lines of some categories, for what can only be seen there ----

QMutex g_logMutex;
QStringList g_logCategories;
QtMessageHandler g_previousHandler = nullptr;

void recordLog(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    {
        QMutexLocker lock(&g_logMutex);
        g_logCategories.append(QString::fromLatin1(context.category ? context.category : ""));
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

class LogRecorder {
public:
    LogRecorder()
    {
        QLoggingCategory::setFilterRules(
            QStringLiteral("vesker.arrival.info=true\nvesker.notifications.debug=true"));
        QMutexLocker lock(&g_logMutex);
        g_logCategories.clear();
        g_previousHandler = qInstallMessageHandler(recordLog);
    }
    ~LogRecorder()
    {
        qInstallMessageHandler(g_previousHandler);
        QLoggingCategory::setFilterRules(QString());
    }
    qsizetype count(const char* category) const
    {
        QMutexLocker lock(&g_logMutex);
        return g_logCategories.count(QLatin1String(category));
    }
};

// ---- A notification server of our own on a bus of our own ----

// A dbus-daemon for one test: parallel tests each register the notification service, so they
// cannot share the session bus of the run. Its configuration lets nothing be started on
// demand, so no real notification daemon of this machine can answer in the fake's place.
class PrivateBus {
public:
    PrivateBus()
    {
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return;
        // Only what a bus needs: a socket, and everyone may send, receive and own names.
        file.write(QByteArrayLiteral("<busconfig>\n"
                                     "  <type>session</type>\n"
                                     "  <listen>unix:path=")
            + QFile::encodeName(m_dir.filePath(QStringLiteral("bus")))
            + QByteArrayLiteral("</listen>\n"
                                "  <policy context=\"default\">\n"
                                "    <allow send_destination=\"*\"/>\n"
                                "    <allow receive_sender=\"*\"/>\n"
                                "    <allow own=\"*\"/>\n"
                                "  </policy>\n"
                                "</busconfig>\n"));
        file.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000))
            return;
        (void)QTest::qWaitFor([&] { return m_daemon.canReadLine(); }, 5000);
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : std::as_const(m_connections))
            QDBusConnection::disconnectFromBus(name);
        m_daemon.terminate();
        m_daemon.waitForFinished(3000);
    }

    bool isValid() const { return !m_address.isEmpty(); }

    QDBusConnection connect(const QString& name)
    {
        const QString unique = name + QString::number(quintptr(this), 16);
        m_connections.append(unique);
        return QDBusConnection::connectToBus(m_address, unique);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

struct Received {
    QString appName;
    uint replacesID = 0;
    QString summary;
    QString body;
    QVariantMap hints;
    int timeout = 0;
};

class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit FakeNotificationServer(QStringList capabilities)
        : m_capabilities(std::move(capabilities))
    { }

    QList<Received> received;
    int capabilityQuestions = 0;

public Q_SLOTS:
    QStringList GetCapabilities()
    {
        ++capabilityQuestions;
        return m_capabilities;
    }
    uint Notify(const QString& appName, uint replacesID, const QString&, const QString& summary,
        const QString& body, const QStringList&, const QVariantMap& hints, int timeout)
    {
        received.append({appName, replacesID, summary, body, hints, timeout});
        return m_nextID++;
    }

private:
    QStringList m_capabilities;
    uint m_nextID = 41;
};

bool registerServer(QDBusConnection& bus, FakeNotificationServer& server)
{
    return bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
               QDBusConnection::ExportAllSlots)
        && bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

#define REQUIRE_PRIVATE_BUS(bus)                                                                   \
    do {                                                                                           \
        if (!(bus).isValid()) {                                                                    \
            if (qEnvironmentVariable("VESKER_TEST_SERVICES") == QLatin1String("1"))                \
                FAIL() << "could not start a private dbus-daemon for the notification server";     \
            GTEST_SKIP() << "no dbus-daemon to run a private session bus on; the test services "   \
                            "(scripts/with-test-services) provide one";                            \
        }                                                                                          \
    } while (false)

} // namespace

TEST(DesktopNotifications, TheServerGetsTitleAndBodyEscapedOnlyWhenItReadsMarkup)
{
    const QString title = QStringLiteral("Photo from Ann <Lab> & Co");
    const QString body = QStringLiteral("5 < 6 & \"seven\" > 'four' <b>bold</b>");
    const QString escaped = QStringLiteral(
        "5 &lt; 6 &amp; &quot;seven&quot; &gt; &apos;four&apos; &lt;b&gt;bold&lt;/b&gt;");

    for (const bool markup : {true, false}) {
        SCOPED_TRACE(markup ? "server with body-markup" : "server without markup");
        PrivateBus bus;
        REQUIRE_PRIVATE_BUS(bus);
        QDBusConnection serverBus = bus.connect(QStringLiteral("server"));
        FakeNotificationServer server(markup
                ? QStringList {QStringLiteral("body"), QStringLiteral("body-markup")}
                : QStringList {QStringLiteral("body"), QStringLiteral("actions")});
        ASSERT_TRUE(registerServer(serverBus, server))
            << serverBus.lastError().message().toStdString();

        platform::DesktopNotifications notifications(bus.connect(QStringLiteral("client")));
        QSignalSpy delivered(&notifications, &platform::DesktopNotifications::delivered);
        // Both are posted before the server has said whether it reads markup.
        notifications.post(QStringLiteral("A1B2"), title, body);
        notifications.post(QStringLiteral("C3D4"), QStringLiteral("Text from Bo"), QString());
        ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() == 2; }, 5000));

        ASSERT_EQ(server.received.size(), 2);
        const Received& first = server.received.at(0);
        EXPECT_EQ(first.appName, QStringLiteral("Vesker"));
        EXPECT_EQ(first.replacesID, 0u);
        EXPECT_EQ(first.summary, title) << "a summary is never markup";
        EXPECT_EQ(first.body, markup ? escaped : body);
        EXPECT_EQ(first.hints.value(QStringLiteral("desktop-entry")).toString(),
            QStringLiteral("vesker"));
        EXPECT_EQ(first.timeout, -1);
        EXPECT_EQ(server.received.at(1).summary, QStringLiteral("Text from Bo"));
        EXPECT_EQ(server.received.at(1).replacesID, 0u);

        EXPECT_EQ(notifications.serverID(QStringLiteral("A1B2")), 41u);
        EXPECT_EQ(notifications.serverID(QStringLiteral("C3D4")), 42u);
        EXPECT_FALSE(notifications.serverID(QStringLiteral("E5F6")));
        EXPECT_EQ(notifications.bodyMarkup(), markup);

        notifications.post(QStringLiteral("E5F6"), title, body);
        ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() == 3; }, 5000));
        EXPECT_EQ(server.received.at(2).body, markup ? escaped : body);
        EXPECT_EQ(server.capabilityQuestions, 1) << "asked once, not once per notification";
    }
}

TEST(DesktopNotifications, NoServerIsOneDebugLineAndALaterServerIsUsed)
{
    PrivateBus bus;
    REQUIRE_PRIVATE_BUS(bus);
    LogRecorder log;
    platform::DesktopNotifications notifications(bus.connect(QStringLiteral("client")));
    QSignalSpy delivered(&notifications, &platform::DesktopNotifications::delivered);

    notifications.post(QStringLiteral("A"), QStringLiteral("Photo from Ann"), QStringLiteral("x"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.count("vesker.notifications") > 0; }, 5000));
    notifications.post(QStringLiteral("B"), QStringLiteral("Photo from Ann"), QStringLiteral("y"));
    QTest::qWait(300);
    EXPECT_EQ(log.count("vesker.notifications"), 1);
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_FALSE(notifications.bodyMarkup());

    // A notification daemon that starts after the program is found at the next arrival.
    QDBusConnection serverBus = bus.connect(QStringLiteral("server"));
    FakeNotificationServer server({QStringLiteral("body-markup")});
    ASSERT_TRUE(registerServer(serverBus, server));
    notifications.post(QStringLiteral("C"), QStringLiteral("Photo from Ann"), QStringLiteral("<"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() == 1; }, 5000));
    ASSERT_EQ(server.received.size(), 1);
    EXPECT_EQ(server.received.at(0).body, QStringLiteral("&lt;"));
}

TEST(DesktopNotifications, NoSessionBusAtAllIsSilent)
{
    LogRecorder log;
    platform::DesktopNotifications notifications(
        QDBusConnection(QStringLiteral("never-connected")));
    notifications.post(QStringLiteral("A"), QStringLiteral("Photo from Ann"), QString());
    notifications.post(QStringLiteral("B"), QStringLiteral("Photo from Ann"), QString());
    QTest::qWait(50);
    EXPECT_EQ(log.count("vesker.notifications"), 1);
    EXPECT_FALSE(notifications.serverID(QStringLiteral("A")));
}

// ---- The arrival effects of the controller ----

namespace {

struct Posted {
    QString id;
    QString title;
    QString body;
};

class RecordingNotifications : public platform::DesktopNotifications {
public:
    RecordingNotifications()
        : DesktopNotifications(QDBusConnection(QStringLiteral("recording-notifications")))
    { }
    void post(const QString& id, const QString& title, const QString& body) override
    {
        posted.append({id, title, body});
    }
    QList<Posted> posted;
};

class ArrivalTest : public vesker::test::ControllerTest {
protected:
    RecordingNotifications m_notifications;
    std::unique_ptr<ServerController> m_controller;

    ArrivalTest()
    {
        m_defaults.set(QStringLiteral("advertiseOnNetwork"), false);
        m_notificationService = &m_notifications;
        m_controller = makeController();
    }
    ~ArrivalTest() override
    {
        m_controller.reset();
        QLocale::setDefault(QLocale::system());
    }

    static ScreenItem item(ItemKind kind, const QString& sender = QStringLiteral("Ann"))
    {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.kind = kind;
        item.sender = sender;
        item.receivedAt = QDateTime(QDate(2026, 3, 1), QTime(14, 5, 9), Qt::LocalTime);
        return item;
    }
};

} // namespace

TEST_F(ArrivalTest, TitleAndBodyFollowTheKindOfItem)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    m_store.setAlias(QStringLiteral("Reception"), QStringLiteral("Ann"));

    struct Row {
        const char* name;
        ItemKind kind;
        QString note;
        QString text;
        QString originalName;
        QString title;
        QString body;
    };
    const QString none;
    const QList<Row> rows {
        {"photo without a note", ItemKind::photo, none, none, none,
            QStringLiteral("Photo from Reception"), QStringLiteral("Received 14:05")},
        {"photo with a note", ItemKind::photo, QStringLiteral("Shelf 3"), none, none,
            QStringLiteral("Photo from Reception"), QStringLiteral("Shelf 3")},
        {"text", ItemKind::text, QStringLiteral("ignored"), QStringLiteral("line one\nline two"),
            none, QStringLiteral("Text from Reception"), QStringLiteral("line one\nline two")},
        {"empty text has no fallback", ItemKind::text, QStringLiteral("a note"), none, none,
            QStringLiteral("Text from Reception"), none},
        {"PDF with a name and a note", ItemKind::pdf, QStringLiteral("see p. 2"), none,
            QStringLiteral("invoice.pdf"), QStringLiteral("PDF from Reception"),
            QStringLiteral("invoice.pdf")},
        {"PDF with a note only", ItemKind::pdf, QStringLiteral("see p. 2"), none, none,
            QStringLiteral("PDF from Reception"), QStringLiteral("see p. 2")},
        {"PDF with neither", ItemKind::pdf, none, none, none, QStringLiteral("PDF from Reception"),
            QStringLiteral("Received 14:05")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScreenItem arrived = item(row.kind);
        arrived.note = row.note;
        arrived.text = row.text;
        arrived.originalName = row.originalName;
        m_notifications.posted.clear();
        m_controller->announceArrival(arrived);
        ASSERT_EQ(m_notifications.posted.size(), 1);
        EXPECT_EQ(m_notifications.posted.at(0).id, uuidText(arrived.id));
        EXPECT_EQ(m_notifications.posted.at(0).title, row.title);
        EXPECT_EQ(m_notifications.posted.at(0).body, row.body);
    }
}

TEST_F(ArrivalTest, TheTimeIsShortInTheUsersLocaleAndTimeZone)
{
    // Half an hour off UTC, so a time shown in UTC cannot pass by chance.
    const QByteArray previousZone = qgetenv("TZ");
    qputenv("TZ", "Asia/Kolkata");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ScreenItem photo = item(ItemKind::photo);
    // Kept in UTC, as the index keeps it.
    photo.receivedAt = QDateTime(QDate(2026, 3, 1), QTime(8, 35, 40), Qt::UTC);
    m_controller->announceArrival(photo);
    if (previousZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", previousZone);

    ASSERT_EQ(m_notifications.posted.size(), 1);
    // Newer CLDR data puts a narrow no-break space before "PM".
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Received 2:05\\s?PM$"))
                    .match(m_notifications.posted.at(0).body)
                    .hasMatch())
        << m_notifications.posted.at(0).body.toStdString();
}

TEST_F(ArrivalTest, AQuietSenderGetsTheNotificationButNotTheWindow)
{
    LogRecorder log;
    m_defaults.setStringMap(
        QStringLiteral("senderArrival"), {{QStringLiteral("quiet ann"), QStringLiteral("quiet")}});

    m_controller->announceArrival(item(ItemKind::photo, QStringLiteral("Quiet Ann")));
    EXPECT_EQ(log.count("vesker.arrival"), 0) << "the window manager was asked to act";
    ASSERT_EQ(m_notifications.posted.size(), 1);
    EXPECT_EQ(m_notifications.posted.at(0).title, QStringLiteral("Photo from Quiet Ann"));

    m_controller->announceArrival(item(ItemKind::photo, QStringLiteral("Bo")));
    EXPECT_GE(log.count("vesker.arrival"), 1) << "the window manager was not asked";
    EXPECT_EQ(m_notifications.posted.size(), 2);
}

TEST_F(ArrivalTest, TwoItemsOfOneSecondAreTwoNotifications)
{
    const ScreenItem first = item(ItemKind::photo);
    ScreenItem second = item(ItemKind::photo);
    second.receivedAt = first.receivedAt;
    m_controller->announceArrival(first);
    m_controller->announceArrival(second);
    ASSERT_EQ(m_notifications.posted.size(), 2);
    EXPECT_NE(m_notifications.posted.at(0).id, m_notifications.posted.at(1).id);
    for (const Posted& posted : std::as_const(m_notifications.posted)) {
        EXPECT_EQ(posted.id, posted.id.toUpper());
        EXPECT_FALSE(QUuid::fromString(posted.id).isNull()) << posted.id.toStdString();
        EXPECT_FALSE(posted.id.contains(u'{'));
    }
}

#include "arrival_test.moc"
