// Hosted screens served by the built program: each on its own port with its own store, and
// reached under "/s/<slug>" on the main port.
#include "harness.h"

#include <gtest/gtest.h>

#include <QUuid>

using namespace vesker::e2e;
using vesker::test::freePort;

namespace {

Reply get(quint16 port, const QByteArray& path)
{
    return exchange(port, kBoundMs,
        "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

QVariantMap hosted(const QString& name, const QString& slug, quint16 port, bool enabled,
    const QString& pin = {}, bool browserPage = false)
{
    return {{"id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()}, {"name", name},
        {"slug", slug}, {"port", port}, {"pin", pin}, {"requirePinToSend", !pin.isEmpty()},
        {"enabled", enabled}, {"allowBrowserScreen", browserPage}};
}

Reply post(quint16 port, const QByteArray& path, const QByteArray& text,
    const QByteArray& headers = {}, int timeoutMs = kBoundMs)
{
    return exchange(port, timeoutMs,
        "POST " + path
            + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Type: text/plain\r\n"
              "Content-Length: "
            + QByteArray::number(text.size()) + "\r\n" + headers + "\r\n" + text);
}

struct PathRow {
    QByteArray path;
    int status;
    QByteArray contains; // in the body
};

void expectPaths(quint16 port, std::initializer_list<PathRow> rows)
{
    for (const PathRow& row : rows) {
        const Reply reply = get(port, row.path);
        EXPECT_EQ(reply.status, row.status) << row.path.toStdString();
        EXPECT_TRUE(reply.body.contains(row.contains))
            << row.path.toStdString() << ": " << reply.body.left(200).toStdString();
    }
}

QJsonArray indexAt(const QString& path)
{
    return storedIndex(path);
}

} // namespace

TEST(HostedScreens, ServeTheirOwnPortStoreAndSharedPath)
{
    const quint16 team = freePort();
    const quint16 off = freePort();
    const quint16 locked = freePort();
    Vesker vesker({{"allowBrowserScreens", true},
        {"hostedScreens",
            QVariantList {hosted("Team Room", "team", team, true, {}, true),
                hosted("Closed", "closed", off, false),
                hosted("Locked", "locked", locked, true, "4321")}}});
    ASSERT_TRUE(vesker.start());

    const Reply info = get(team, "/api/info");
    ASSERT_EQ(info.status, 200) << info.error;
    EXPECT_EQ(QJsonDocument::fromJson(info.body)["name"].toString(), "Team Room");

    const Reply stored = post(team, "/text", "for the team", "X-Sender: Ana\r\nX-Note: hi\r\n");
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
    EXPECT_EQ(post(locked, "/text", "no pin").status, 401);
    EXPECT_EQ(post(locked, "/text", "wrong pin", "X-Code: 1111\r\n").status, 401);
    EXPECT_EQ(post(locked, "/text", "right pin", "X-Code: 4321\r\n").status, 200);
    EXPECT_EQ(indexAt(vesker.store("Hosted/locked/index.json")).size(), 1);

    expectPaths(vesker.port,
        {
            {"/s/team/", 200, "/s/team"},
            {"/s/team", 200, "/s/team"},
            {"/s/team/api/items", 200, stored.id().toLatin1()},
            {"/s/nobody/", 404, ""},
            {"/s/closed/", 404, ""},
        });
}

// Under the main port every page and upload of "/s/<slug>" belongs to the screen that slug names
// exactly, behind that screen's own switch and PIN; this computer's own browser-screen switch,
// access code and viewer PIN neither open nor close it.
TEST(HostedScreens, PagesAndUploadsUnderTheMainPortStayWithTheScreenTheyName)
{
    Vesker vesker({{"allowBrowserScreens", false}, {"accessPolicy", "code"},
        {"accessCode", "123456"}, {"viewerPIN", "9999"},
        {"hostedScreens",
            QVariantList {hosted("Alpha", "a", freePort(), true, "4321", true),
                hosted("Alpha Beta", "ab", freePort(), true, {}, true),
                hosted("Closed Page", "c", freePort(), true)}}});
    ASSERT_TRUE(vesker.start());

    expectPaths(vesker.port,
        {
            {"/s/a/index.html", 200, "\"base\":\"/s/a\","},
            {"/s/a/index.html", 200, "<b>Alpha</b>"},
            {"/s/ab/index.html", 200, "\"base\":\"/s/ab\","},
            {"/s/ab/", 200, "\"base\":\"/s/ab\","},
            {"/s/a", 200, "\"base\":\"/s/a\","},
            {"/s/ab/screen", 200, "\"base\":\"/s/ab\","},
            {"/s/c/", 404, "turned off"},
            {"/s/c/api/items", 404, "turned off"},
            {"/screen", 404, "turned off"},
            {"/s/ab/api/items", 200, "\"needsPin\":false"},
            {"/s/a/api/items", 401, "Access code required"},
            {"/s/a/api/items?code=123456", 401, "Access code required"},
            {"/s/a/api/items?code=9999", 401, "Access code required"},
            {"/s/a/api/items?code=4321", 200, "\"needsPin\":false"},
        });

    const Reply toAB = post(vesker.port, "/s/ab/text", "for ab");
    ASSERT_EQ(toAB.status, 200) << toAB.body.toStdString();
    EXPECT_EQ(indexAt(vesker.store("Hosted/ab/index.json")).size(), 1);

    // Without the PIN the upload is refused from its head, before its body is sent to a client
    // that waits to be asked for it.
    const int fd = connectLoopback(vesker.port, kBoundMs);
    ASSERT_GE(fd, 0);
    sendAll(fd,
        "POST /s/a/text HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\n"
        "Expect: 100-continue\r\nContent-Length: 1000\r\n\r\n");
    EXPECT_EQ(readReply(fd).status, 401);
    EXPECT_EQ(post(vesker.port, "/s/a/text", "wrong", "X-Code: 432\r\n").status, 401);
    const Reply toA = post(vesker.port, "/s/a/text", "for a", "X-Code: 4321\r\n");
    ASSERT_EQ(toA.status, 200) << toA.body.toStdString();
    const QJsonArray a = indexAt(vesker.store("Hosted/a/index.json"));
    ASSERT_EQ(a.size(), 1);
    EXPECT_EQ(a.at(0)["id"].toString(), toA.id());
    EXPECT_EQ(indexAt(vesker.store("Hosted/ab/index.json")).size(), 1);
    EXPECT_TRUE(vesker.index().isEmpty()) << "a hosted screen's upload reached the main Inbox";
}

// A port stored by hand, or by an older version, on the main screen's own: the main screen binds
// first and keeps it, whichever listener of this computer the port was stored for.
TEST(ScreensOfThisComputer, TheMainScreenKeepsItsPortFromAListenerStoredOnIt)
{
    const quint16 port = freePort();
    const struct {
        const char* listener;
        QVariantMap settings;
    } rows[] = {
        {"a shared remote screen's relay",
            {{"remoteScreens",
                QVariantList {
                    QVariantMap {{"id", "3C2B1A09-8F7E-4D6C-9B5A-493827161504"}, {"name", "Lab"},
                        {"url", "127.0.0.1:9"}, {"shareOnLAN", true}, {"relayPort", port}}}}}},
        {"a hosted screen", {{"hostedScreens", QVariantList {hosted("Lab", "lab", port, true)}}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.listener);
        QVariantMap settings = row.settings;
        settings.insert("serverPort", port);
        settings.insert("screenName", "Desk");
        Vesker a(settings);
        a.port = port;
        ASSERT_TRUE(a.start());
        EXPECT_EQ(QJsonDocument::fromJson(a.info().body)["name"].toString().toStdString(), "Desk");
    }
}
