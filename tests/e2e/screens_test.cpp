// Hosted screens served by the built program: each on its own port with its own store, and
// reached under "/s/<slug>" on the main port.
#include "harness.h"

#include <gtest/gtest.h>

#include <QUuid>

using namespace vesker::e2e;

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen();
    return probe.serverPort();
}

Reply get(quint16 port, const QByteArray& path)
{
    return exchange(port, kBoundMs,
        "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

Reply postText(quint16 port, const QByteArray& text, const QByteArray& headers = {})
{
    return exchange(port, kBoundMs,
        "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Type: "
        "text/plain\r\n"
        "Content-Length: "
            + QByteArray::number(text.size()) + "\r\n" + headers + "\r\n" + text);
}

QVariantMap hosted(
    const QString& name, const QString& slug, quint16 port, bool enabled, const QString& pin = {})
{
    return {{"id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()}, {"name", name},
        {"slug", slug}, {"port", port}, {"pin", pin}, {"requirePinToSend", !pin.isEmpty()},
        {"enabled", enabled}};
}

QJsonArray indexAt(const QString& path)
{
    return QJsonDocument::fromJson(vesker::test::fileBytes(path)).array();
}

} // namespace

TEST(HostedScreens, ServeTheirOwnPortStoreAndSharedPath)
{
    const quint16 team = freePort();
    const quint16 off = freePort();
    const quint16 locked = freePort();
    Vesker vesker({{"allowBrowserScreens", true},
        {"hostedScreens",
            QVariantList {hosted("Team Room", "team", team, true),
                hosted("Closed", "closed", off, false),
                hosted("Locked", "locked", locked, true, "4321")}}});
    ASSERT_TRUE(vesker.start());

    const Reply info = get(team, "/api/info");
    ASSERT_EQ(info.status, 200) << info.error;
    EXPECT_EQ(QJsonDocument::fromJson(info.body)["name"].toString(), "Team Room");

    const Reply stored = postText(team, "for the team", "X-Sender: Ana\r\nX-Note: hi\r\n");
    ASSERT_EQ(stored.status, 200) << stored.body.toStdString();
    const QJsonArray teamIndex = indexAt(vesker.store("Hosted/team/index.json"));
    ASSERT_EQ(teamIndex.size(), 1);
    EXPECT_EQ(teamIndex.at(0)["id"].toString(), stored.id());
    EXPECT_EQ(teamIndex.at(0)["sender"].toString(), "Ana");
    EXPECT_EQ(vesker.inboxCount(), 0) << "a hosted screen's upload reached the main Inbox";

    // A disabled screen does not listen.
    EXPECT_EQ(get(off, "/api/info").status, 0);

    // The PIN is asked for as the access code is.
    EXPECT_TRUE(QJsonDocument::fromJson(get(locked, "/api/info").body)["requiresCode"].toBool());
    EXPECT_EQ(postText(locked, "no pin").status, 401);
    EXPECT_EQ(postText(locked, "wrong pin", "X-Code: 1111\r\n").status, 401);
    EXPECT_EQ(postText(locked, "right pin", "X-Code: 4321\r\n").status, 200);
    EXPECT_EQ(indexAt(vesker.store("Hosted/locked/index.json")).size(), 1);

    struct Row {
        QByteArray path;
        int status;
        QByteArray contains;
    };
    const Row rows[] {
        {"/s/team/", 200, "/s/team"},
        {"/s/team", 200, "/s/team"},
        {"/s/team/api/items", 200, stored.id().toLatin1()},
        {"/s/nobody/", 404, ""},
        {"/s/closed/", 404, ""},
    };
    for (const Row& row : rows) {
        const Reply reply = get(vesker.port, row.path);
        EXPECT_EQ(reply.status, row.status) << row.path.toStdString();
        EXPECT_TRUE(reply.body.contains(row.contains)) << row.path.toStdString();
    }
}

TEST(SharedRemoteScreens, TheMainScreenKeepsItsPortFromARelayStoredOnIt)
{
    const quint16 port = freePort();
    Vesker a({{"serverPort", port}, {"screenName", "Desk"},
        {"remoteScreens",
            QVariantList {
                QVariantMap {{"id", "3C2B1A09-8F7E-4D6C-9B5A-493827161504"}, {"name", "Lab"},
                    {"url", "127.0.0.1:9"}, {"shareOnLAN", true}, {"relayPort", port}}}}});
    a.port = port;
    ASSERT_TRUE(a.start());
    EXPECT_EQ(QJsonDocument::fromJson(a.info().body)["name"].toString().toStdString(), "Desk");
}
