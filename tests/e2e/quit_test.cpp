// How the program ends: on a signal as on its Quit command, and with nothing it answered for lost
// to a kill.
#include "harness.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace vesker::e2e;

TEST(Quit, TheSignalsOfALogoutOrAKillQuitAsTheQuitCommandDoes)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        Vesker vesker;
        ASSERT_TRUE(vesker.start());
        const Reply stored = vesker.upload(Kind::text, "kept");
        ASSERT_EQ(stored.status, 200);
        ASSERT_TRUE(QFile::exists(vesker.instanceSocket()));

        EXPECT_EQ(vesker.endWith(signal), 0);
        // As after Quit: the journal folded into the index, the socket of later launches gone.
        EXPECT_EQ(QFileInfo(vesker.store("index.journal")).size(), 0);
        const QJsonArray index
            = QJsonDocument::fromJson(vesker::test::fileBytes(vesker.store("index.json"))).array();
        ASSERT_EQ(index.size(), 1);
        EXPECT_EQ(index.at(0)["id"].toString(), stored.id());
        EXPECT_FALSE(QFile::exists(vesker.instanceSocket()));
    }
}

// A browser screen's "Got it", "Later" and "Archive", each answered 200 and the program killed
// the moment the answer is read: the change is there after the restart.
TEST(Quit, AViewersChangeAnsweredIsKeptThroughAKill)
{
    struct Case {
        const char* path;
        const char* status;
        bool acknowledged;
    };
    const Case cases[] {{"/api/ack", "inbox", true}, {"/api/later", "later", false},
        {"/api/archive", "archived", true}};
    Vesker vesker(
        {{"allowBrowserScreens", true}, {"viewerCanLater", true}, {"viewerCanArchive", true}});
    ASSERT_TRUE(vesker.start());
    for (int round = 0; round < 3; ++round) {
        for (const Case& change : cases) {
            SCOPED_TRACE(std::string(change.path) + " round " + std::to_string(round));
            const Reply stored
                = vesker.upload(Kind::photo, sample(Kind::photo, 4000), "X-Device: phone-1\r\n");
            ASSERT_EQ(stored.status, 200);
            const Reply answered = exchange(vesker.port, kBoundMs,
                QByteArray("POST ") + change.path + "?id=" + stored.id().toLatin1()
                    + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                      "Content-Length: 0\r\n\r\n");
            ASSERT_EQ(answered.status, 200) << answered.body.toStdString();
            vesker.kill();

            QJsonObject record;
            for (const QJsonValue value : vesker.index()) {
                if (value["id"].toString() == stored.id())
                    record = value.toObject();
            }
            EXPECT_EQ(record["status"].toString(), change.status);
            EXPECT_EQ(record["acknowledged"].toBool(), change.acknowledged);
            const QJsonObject acks
                = QJsonDocument::fromJson(vesker::test::fileBytes(vesker.store("acks.json")))
                      .object();
            EXPECT_EQ(acks["phone-1"].toArray().contains(stored.id()), change.acknowledged);
            ASSERT_TRUE(vesker.start());
        }
    }
}
