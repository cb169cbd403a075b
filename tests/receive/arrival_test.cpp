#include "controller_fixture.h"
#include "platform/desktop_notifications.h"
#include "receive/arrival.h"
#include "store/senders.h"
#include "support/private_bus.h"

#include <QDBusConnection>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QSignalSpy>

using namespace vesker;
using namespace vesker::test;

namespace {

class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList capabilities;
    // One line per notification: "app|replaces id|summary|body|desktop entry|timeout".
    QStringList received;
    int capabilityQuestions = 0;

public Q_SLOTS:
    QStringList GetCapabilities() { return ++capabilityQuestions, capabilities; }
    uint Notify(const QString& appName, uint replacesID, const QString&, const QString& summary,
        const QString& body, const QStringList&, const QVariantMap& hints, int timeout)
    {
        received.append(QStringList {appName, QString::number(replacesID), summary, body,
            hints.value("desktop-entry").toString(), QString::number(timeout)}
                            .join(u'|'));
        return 40 + uint(received.size());
    }
};

} // namespace

TEST(DesktopNotifications, AServerIsFoundWhenItStartsAndGetsBodiesEscapedOnlyIfItReadsMarkup)
{
    const QString title = QStringLiteral("Photo from Ann <Lab> & Co");
    const QString body = QStringLiteral("5 < 6 & \"seven\" > 'four' <b>bold</b>");
    const QString escaped
        = QStringLiteral("5 &lt; 6 &amp; &quot;seven&quot; &gt; 'four' &lt;b&gt;bold&lt;/b&gt;");

    for (const bool markup : {true, false}) {
        SCOPED_TRACE(markup ? "server with body-markup" : "server without markup");
        PrivateBus bus;
        ASSERT_FALSE(bus.m_address.isEmpty()) << "could not start a private dbus-daemon";
        platform::DesktopNotifications notifications(bus.connect("client"));
        QSignalSpy delivered(&notifications, &platform::DesktopNotifications::delivered);
        // No server yet: the question fails (at once, nothing may start one) and nothing shows.
        notifications.post("A", title, body);
        QTest::qWait(500);

        // A notification daemon that starts after the program is found at the next arrival.
        FakeNotificationServer server;
        server.capabilities = {"body", markup ? "body-markup" : "actions"};
        QDBusConnection serverBus = bus.connect("server");
        ASSERT_TRUE(serverBus.registerObject(platform::DesktopNotifications::kPath, &server,
                        QDBusConnection::ExportAllSlots)
            && serverBus.registerService(platform::DesktopNotifications::kService));
        // Both are posted before the server has said whether it reads markup.
        notifications.post("A1B2", title, body);
        notifications.post("C3D4", "Text from Bo", QString());
        ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() == 2; }, 5000));
        notifications.post("E5F6", title, body);
        ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() == 3; }, 5000));

        // A summary is never markup.
        const QString shown
            = "Vesker|0|" + title + '|' + (markup ? escaped : body) + "|com.halvane.Vesker|-1";
        EXPECT_EQ(server.received,
            (QStringList {shown, "Vesker|0|Text from Bo||com.halvane.Vesker|-1", shown}));
        EXPECT_EQ(server.capabilityQuestions, 1) << "asked once, not once per notification";
    }
}

namespace {

// Every item arrives at 08:35:40 UTC: 14:05 in Kolkata, half an hour off UTC, so that a time
// shown in UTC cannot pass by chance, and in US English, a 12-hour clock, so that a time in the
// C locale of a test run cannot either.
class ArrivalTest : public ControllerTest {
protected:
    std::unique_ptr<ServerController> m_controller;
    const QByteArray m_zone = qgetenv("TZ");

    ArrivalTest()
    {
        qputenv("TZ", "Asia/Kolkata");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_defaults.set(QStringLiteral("advertiseOnNetwork"), false);
        m_controller = makeController();
    }
    ~ArrivalTest() override
    {
        m_controller.reset();
        QLocale::setDefault(QLocale::system());
        if (m_zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", m_zone);
    }

    static ScreenItem item(ItemKind kind, const QString& sender = QStringLiteral("Ann"))
    {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.kind = kind;
        item.sender = sender;
        item.receivedAt = QDateTime(QDate(2026, 3, 1), QTime(8, 35, 40), Qt::UTC);
        return item;
    }
};

} // namespace

TEST_F(ArrivalTest, TitleAndBodyFollowTheKindOfItem)
{
    Senders(m_store, m_defaults).setAlias(QStringLiteral("Reception"), QStringLiteral("Ann"));
    const QString received = "Received " + QLocale().toString(QTime(14, 5), QLocale::ShortFormat);
    struct Row {
        ItemKind kind;
        const char* note;
        const char* text;
        const char* originalName;
        QString title;
        QString body;
    };
    const QList<Row> rows {
        {ItemKind::photo, "", "", "", "Photo from Reception", received},
        {ItemKind::photo, "Shelf 3", "", "", "Photo from Reception", "Shelf 3"},
        {ItemKind::text, "a note", "line one\nline two", "", "Text from Reception",
            "line one\nline two"},
        {ItemKind::text, "a note", "", "", "Text from Reception", ""},
        {ItemKind::pdf, "see p. 2", "", "invoice.pdf", "PDF from Reception", "invoice.pdf"},
        {ItemKind::pdf, "see p. 2", "", "", "PDF from Reception", "see p. 2"},
        {ItemKind::pdf, "", "", "", "PDF from Reception", received},
    };
    for (const Row& row : rows) {
        ScreenItem arrived = item(row.kind);
        arrived.note = row.note;
        arrived.text = row.text;
        arrived.originalName = row.originalName;
        m_notifications.posted.clear();
        m_controller->arrival().announce(arrived);
        EXPECT_EQ(m_notifications.posted,
            (QList<QStringList> {{uuidText(arrived.id), row.title, row.body}}));
    }
    // The C locale of a test run shows no seconds either.
    QLocale::setDefault(QLocale::c());
    m_controller->arrival().announce(item(ItemKind::photo));
    EXPECT_EQ(m_notifications.posted.last().at(2), QStringLiteral("Received 14:05"));
}

TEST_F(ArrivalTest, AQuietSenderGetsSoundAndNotificationButNotTheWindow)
{
    m_defaults.setStringMap(
        QStringLiteral("senderArrival"), {{QStringLiteral("quiet ann"), QStringLiteral("quiet")}});
    m_controller->arrival().announce(item(ItemKind::photo, QStringLiteral("Quiet Ann")));
    m_controller->arrival().announce(item(ItemKind::photo, QStringLiteral("Bo")));
    EXPECT_EQ(m_desktop.asked, (QStringList {"sound Glass", "arrival Bo", "sound Glass"}));
    EXPECT_EQ(m_notifications.posted.size(), 2);
}

#include "arrival_test.moc"
