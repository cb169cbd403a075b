// Which remote screens the Send sheet lets be ticked, decided without a window and shown in one.
#include "platform/defaults.h"
#include "screens/remote_screens_manager.h"
#include "send/destination_list_view.h"
#include "send/remote_screen_availability.h"
#include "send/send_session.h"
#include "support/manual_clock.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace vesker;

TEST(RemoteScreenAvailability, OnlyAScreenThatAnsweredCanBeTickedAndTheOthersSayWhy)
{
    const QUuid answered = QUuid::createUuid();
    const QUuid unchecked = QUuid::createUuid();
    const QHash<QUuid, ReachFailure> failures {{QUuid::createUuid(), ReachFailure::badAddress},
        {QUuid::createUuid(), ReachFailure::notFound}, {QUuid::createUuid(), ReachFailure::refused},
        {QUuid::createUuid(), ReachFailure::noAnswer}, {QUuid::createUuid(), ReachFailure::failed}};
    const RemoteScreenAvailability availability({answered}, failures);

    EXPECT_TRUE(availability.canTick(answered));
    EXPECT_TRUE(availability.reason(answered).isEmpty());
    EXPECT_FALSE(availability.canTick(unchecked)) << "not checked yet is not answering yet";
    EXPECT_TRUE(availability.reason(unchecked).startsWith(QStringLiteral("Checking")));
    QSet<QString> reasons;
    for (auto it = failures.cbegin(); it != failures.cend(); ++it) {
        EXPECT_FALSE(availability.canTick(it.key()));
        const QString reason = availability.reason(it.key());
        EXPECT_TRUE(reason.startsWith(QStringLiteral("Did not answer the last check.")))
            << reason.toStdString();
        reasons.insert(reason);
    }
    EXPECT_EQ(reasons.size(), failures.size()) << "each failure says its own reason";
}

namespace {

struct Remote {
    QTemporaryDir dir;
    test::ManualClock clock;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json")), clock};
};

// The row on show: a rebuilt list keeps its old rows, hidden, until the event loop deletes them.
QCheckBox* remoteToggle(const DestinationList& list)
{
    for (QCheckBox* box : list.findChildren<QCheckBox*>(QStringLiteral("remoteToggle"))) {
        if (box->isVisible())
            return box;
    }
    return nullptr;
}

} // namespace

TEST(DestinationListTest, ARemoteScreenCanBeTickedOnlyOnceItAnswers)
{
    Remote remote;
    QTcpServer later;
    later.listen(QHostAddress::LocalHost, 0);
    const quint16 port = later.serverPort();
    later.close();
    const QUuid id = QUuid::createUuid();
    remote.defaults.set(RemoteScreensManager::kScreensKey,
        QJsonArray {QJsonObject {{"id", id.toString(QUuid::WithoutBraces)}, {"name", "Office"},
            {"url", QStringLiteral("127.0.0.1:%1").arg(port)}}});
    RemoteScreensManager manager(&remote.defaults, remote.clock);
    SendSession session({}, {.defaults = remote.defaults, .clock = remote.clock, .screenName = [] {
                                 return QStringLiteral("Desk");
                             }});
    DestinationList list({.session = session, .remote = &manager});
    list.show();

    // Before the first check has come back, and after it found nothing listening.
    QCheckBox* box = remoteToggle(list);
    ASSERT_TRUE(box);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_TRUE(box->parentWidget()->toolTip().startsWith(QStringLiteral("Checking")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.unreachable().contains(id); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            box = remoteToggle(list);
            return box
                && box->parentWidget()->toolTip().contains(QStringLiteral("Nothing answers"));
        },
        5000));
    EXPECT_FALSE(box->isEnabled());
    const auto* symbol = box->parentWidget()->findChild<QLabel*>(QStringLiteral("rowSymbol"));
    ASSERT_TRUE(symbol);
    EXPECT_EQ(symbol->property("symbol").toString(), QStringLiteral("network"));
    EXPECT_FALSE(symbol->pixmap().isNull());

    // It starts answering: the next check makes it tickable without anything else done.
    ASSERT_TRUE(later.listen(QHostAddress::LocalHost, port));
    QObject::connect(&later, &QTcpServer::newConnection, &later, [&] {
        later.nextPendingConnection()->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    });
    manager.checkReachability();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            box = remoteToggle(list);
            return box && box->isEnabled();
        },
        10000));
    EXPECT_TRUE(box->parentWidget()->toolTip().isEmpty());
    box->click();
    EXPECT_TRUE(session.selected().contains(SendSession::remoteSelectionID(id)));
}

namespace {

// The row on show with this title: rows of a rebuilt list stay, hidden, until deleted.
QWidget* shownRow(const DestinationList& list, const QString& title)
{
    for (QLabel* label : list.findChildren<QLabel*>(QStringLiteral("rowTitle"))) {
        if (label->isVisible() && label->text() == title)
            return label->parentWidget();
    }
    return nullptr;
}

} // namespace

TEST(DestinationListTest, AClickAnywhereOnAReachableRowTogglesItAndADisabledRowStays)
{
    Remote remote;
    const QUuid office = QUuid::createUuid();
    // Nothing listens there: the row cannot be ticked, before its check or after.
    QTcpServer gone;
    gone.listen(QHostAddress::LocalHost, 0);
    const quint16 port = gone.serverPort();
    gone.close();
    remote.defaults.set(RemoteScreensManager::kScreensKey,
        QJsonArray {QJsonObject {{"id", office.toString(QUuid::WithoutBraces)}, {"name", "Office"},
            {"url", QStringLiteral("127.0.0.1:%1").arg(port)}}});
    RemoteScreensManager manager(&remote.defaults, remote.clock);
    SendSession session({}, {.defaults = remote.defaults, .clock = remote.clock, .screenName = [] {
                                 return QStringLiteral("Desk");
                             }});
    session.setDiscovered({{.name = "Screen B", .endpoint = {"127.0.0.1", 1}},
        {.name = "Screen C", .endpoint = {"127.0.0.1", 2}}});
    DestinationList list({.session = session, .remote = &manager});
    list.show();

    const struct {
        const char* part;
        bool ticked;
    } clicks[] {{"rowTitle", true}, {"rowSymbol", false}, {"rowTitle", true}};
    for (const auto& [part, ticked] : clicks) {
        SCOPED_TRACE(part);
        QWidget* row = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (row = shownRow(list, "Screen B")); }, 2000));
        QTest::mouseClick(row->findChild<QWidget*>(QLatin1String(part)), Qt::LeftButton);
        EXPECT_EQ(session.selected().contains("Screen B"), ticked);
        EXPECT_FALSE(session.selected().contains("Screen C"));
    }

    const QString officeID = SendSession::remoteSelectionID(office);
    QWidget* row = shownRow(list, "Office");
    ASSERT_TRUE(row);
    for (const char* part : {"rowTitle", "rowSymbol"})
        QTest::mouseClick(row->findChild<QWidget*>(QLatin1String(part)), Qt::LeftButton);
    QTest::mouseClick(row, Qt::LeftButton);
    EXPECT_FALSE(session.selected().contains(officeID));
    EXPECT_FALSE(row->findChild<QCheckBox*>(QStringLiteral("remoteToggle"))->isEnabled());
    EXPECT_FALSE(row->toolTip().isEmpty()) << "it says why it cannot be ticked";
}
