#include "controller_fixture.h"

#include "receive/browser_screen.h"
#include "receive/web_pages.h"
#include "support/temp_env.h"
#include "support/test_images.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryDir>

using namespace vesker;
using namespace vesker::test;

namespace {

using Query = QMap<QString, QString>;

const HTTPResponse kOff = HTTPResponse::text(404, "Browser screens are turned off on this screen");
const HTTPResponse kNotFound = HTTPResponse::text(404, "Not found");
const HTTPResponse kNoCode = HTTPResponse::text(401, "Access code required");
const HTTPResponse kForbidden = HTTPResponse::text(403, "Not allowed on browser screens");
const HTTPResponse kPin = HTTPResponse::text(423, "PIN required");
const HTTPResponse kOk {200, "application/json", R"({"ok":true})"};

} // namespace

class BrowserScreenTest : public ControllerTest {
protected:
    std::unique_ptr<ServerController> m_controller = makeController();

    BrowserScreenTest() { m_defaults.set("allowBrowserScreens", true); }

    HTTPResponse send(
        const char* method, const QString& path, Query query = {}, const QString& from = "10.0.0.5")
    {
        HTTPRequest r {method, path, std::move(query)};
        r.remoteAddress = from;
        return route(*m_controller, r);
    }
    QJsonArray items(const QString& from = "10.0.0.5")
    {
        return QJsonDocument::fromJson(send("GET", "/api/items", {}, from).body)["items"].toArray();
    }
    ScreenItem add(ItemKind kind, const QString& sender, ItemStatus status = ItemStatus::inbox,
        const QByteArray& file = imageBytes(whitePage(64, 48), "JPEG"), const QString& device = {})
    {
        ScreenItem item;
        item.deviceID = device;
        item.id = QUuid::createUuid();
        item.receivedAt = m_clock.now();
        item.kind = kind;
        item.sender = sender;
        item.status = status;
        item.text = kind == ItemKind::text ? "hello" : "";
        item.filename = ItemStore::storedFileName(item.receivedAt, item.id, "jpg");
        QDir().mkpath(m_store.inboxDir());
        QDir().mkpath(m_store.archiveDir());
        if (!file.isNull())
            writeFile(m_store.fileURL(item), file);
        m_store.append(item);
        return item;
    }
    QStringList logLines() const
    {
        return QString::fromUtf8(fileBytes(m_store.rootDir() + "/browser-log.txt"))
            .split('\n', Qt::SkipEmptyParts);
    }
};

TEST_F(BrowserScreenTest, GatesComeBeforeEverythingElse)
{
    m_defaults.set("accessPolicy", "code");
    m_defaults.set("accessCode", "4711");
    const ScreenItem photo = add(ItemKind::photo, "Ann");
    struct Row {
        bool on;
        const char* method;
        QString path;
        Query query;
        std::optional<HTTPResponse> expected; // none: 200
    };
    const Row rows[] = {
        {false, "GET", "/screen", {}, kOff},
        {false, "GET", "/api/items", {{"code", "4711"}}, kOff},
        {false, "POST", "/api/ack", {{"code", "4711"}}, kOff},
        {true, "GET", "/screen", {}, std::nullopt},
        {true, "GET", "/api/items", {}, kNoCode},
        {true, "GET", "/api/items", {{"code", ""}}, kNoCode},
        {true, "GET", "/api/items", {{"code", "4712"}}, kNoCode},
        {true, "GET", "/api/thumb/" + uuidText(photo.id), {}, kNoCode},
        {true, "GET", "/api/items", {{"code", "4711"}}, std::nullopt},
        {true, "GET", "/api/itemsx", {{"code", "4711"}}, kNotFound},
        {true, "POST", "/api/items", {{"code", "4711"}}, kNotFound},
        {true, "GET", "/api/ack", {{"code", "4711"}}, kNotFound},
    };
    for (const Row& row : rows) {
        m_defaults.set("allowBrowserScreens", row.on);
        const HTTPResponse reply = send(row.method, row.path, row.query);
        if (row.expected)
            EXPECT_EQ(reply, *row.expected) << row.method << " " << row.path.toStdString();
        else
            EXPECT_EQ(reply.status, 200) << row.method << " " << row.path.toStdString();
    }

    // The code is no easier to guess here than on the upload routes, and a code not checked is
    // not called wrong (the page would ask for another).
    for (int i = 0; i < 10; ++i)
        send("GET", "/api/items", {{"code", QString::number(1000 + i)}}, "10.0.0.9");
    EXPECT_EQ(
        send("GET", "/api/items", {{"code", "4711"}}, "10.0.0.9"), HTTPResponse::tooManyTries(60));
    EXPECT_EQ(send("GET", "/api/items", {{"code", "4711"}}).status, 200);
}

TEST_F(BrowserScreenTest, ActionsFollowPermissionsAndAPinLockEndsAfterAMinute)
{
    const ScreenItem a = add(ItemKind::photo, "Ann");
    const ScreenItem b = add(ItemKind::photo, "Bo");
    // Default permissions: only Got it.
    EXPECT_EQ(send("POST", "/api/later", {{"id", uuidText(a.id)}}), kForbidden);
    EXPECT_EQ(send("POST", "/api/archive", {{"id", uuidText(a.id)}}), kForbidden);
    EXPECT_EQ(send("POST", "/api/ack", {{"id", "not-a-uuid"}}), kNotFound);

    m_defaults.set("viewerCanArchive", true);
    m_defaults.set("viewerPIN", " 1234\t");
    EXPECT_EQ(send("POST", "/api/archive", {{"id", uuidText(b.id)}}), kPin);
    EXPECT_TRUE(logLines().last().endsWith("\t10.0.0.5\tbad-pin"));
    // Ten wrong PINs lock the address out for a minute, right PIN or not; others may still try.
    // One wrong PIN sent again is one guess, and a press before a PIN was typed is none.
    for (int i = 0; i < 5; ++i)
        send("POST", "/api/archive", {{"id", uuidText(b.id)}, {"pin", "0000"}});
    for (int i = 0; i < 8; ++i)
        send("POST", "/api/archive", {{"id", uuidText(b.id)}, {"pin", QString::number(5000 + i)}});
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(send("POST", "/api/archive", {{"id", uuidText(b.id)}}), kPin) << i;
        ASSERT_EQ(send("POST", "/api/archive", {{"id", uuidText(b.id)}, {"pin", ""}}), kPin) << i;
    }
    EXPECT_EQ(send("POST", "/api/archive", {{"id", uuidText(b.id)}, {"pin", "5008"}}), kPin)
        << "the tenth wrong PIN is still checked";
    const Query right {{"id", uuidText(b.id)}, {"pin", "1234"}};
    EXPECT_EQ(send("POST", "/api/archive", right), HTTPResponse::tooManyTries(60));
    EXPECT_EQ(send("POST", "/api/archive", right, "10.0.0.6"), kOk);
    EXPECT_EQ(m_store.item(b.id)->status, ItemStatus::archived);
    EXPECT_TRUE(
        logLines().last().endsWith("\t10.0.0.6\tarchive\t" + uuidText(b.id).left(8) + "\tfrom Bo"));
    m_clock.advance(61);
    EXPECT_EQ(send("POST", "/api/ack", {{"id", uuidText(a.id)}, {"pin", "1234"}}), kOk);
}

// A move the store refuses is no success: the viewer is told, the record stays where it was and
// its sender hears nothing.
TEST_F(BrowserScreenTest, AMoveTheStoreRefusesIsAnsweredAsAFailure)
{
    m_defaults.set("viewerCanLater", true);
    m_defaults.set("viewerCanArchive", true);
    const HTTPResponse refused = HTTPResponse::text(500, "Couldn't move the item");
    // Another file system, which a rename cannot reach; none when this machine has no such one.
    QTemporaryDir elsewhere(QStringLiteral("/dev/shm/vesker-test-XXXXXX"));
    const bool otherDevice = elsewhere.isValid()
        && QStorageInfo(elsewhere.path()).device() != QStorageInfo(m_dir.path()).device();
    const struct {
        const char* name;
        const char* action;
        ItemStatus from;
        ItemStatus to;
        bool otherFileSystem; // else a file of its name is where it would go
    } rows[] = {
        {"Archive holds a file of its name", "/api/archive", ItemStatus::inbox,
            ItemStatus::archived, false},
        {"Inbox holds a file of its name", "/api/later", ItemStatus::archived, ItemStatus::later,
            false},
        {"Archive is on another file system", "/api/archive", ItemStatus::inbox,
            ItemStatus::archived, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.otherFileSystem && !otherDevice)
            continue;
        const ScreenItem item = add(ItemKind::photo, "Ann", row.from,
            imageBytes(whitePage(64, 48), "JPEG"), QStringLiteral("phone-") + row.name);
        ScreenItem moved = item;
        moved.status = row.to;
        const QString destination = m_store.fileURL(moved);
        if (row.otherFileSystem) {
            QDir(QFileInfo(destination).path()).removeRecursively();
            ASSERT_TRUE(QFile::link(elsewhere.path(), QFileInfo(destination).path()));
        } else {
            writeFile(destination, "someone else's");
        }
        const QStringList logged = logLines();

        EXPECT_EQ(send("POST", row.action, {{"id", uuidText(item.id)}}), refused);
        const std::optional<ScreenItem> after = m_store.item(item.id);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->status, row.from);
        EXPECT_FALSE(after->acknowledged);
        EXPECT_TRUE(QFile::exists(m_store.fileURL(*after)));
        m_store.flush();
        EXPECT_FALSE(fileBytes(m_store.acksPath()).contains(uuidText(item.id).toUtf8()));
        EXPECT_EQ(logLines(), logged) << "nothing was done";
    }
}

TEST_F(BrowserScreenTest, ThumbnailsAreScaledAndFollowAPhotoTurnedInPlace)
{
    const QByteArray jpeg = imageBytes(whitePage(640, 480), "JPEG");
    const ScreenItem archived = add(ItemKind::photo, "Ann", ItemStatus::archived, jpeg);
    const ScreenItem missing = add(ItemKind::photo, "Ann", ItemStatus::inbox, {});
    // The server reads the file itself as the peer takes it.
    EXPECT_EQ(send("GET", "/api/image/" + uuidText(archived.id)),
        (HTTPResponse {200, "image/jpeg", {}, m_store.fileURL(archived)}));
    EXPECT_EQ(send("GET", "/api/image/" + uuidText(missing.id)), kNotFound);
    EXPECT_EQ(send("GET", "/api/thumb/" + uuidText(missing.id)), kNotFound);
    EXPECT_EQ(send("GET", "/api/image/" + uuidText(QUuid::createUuid())), kNotFound);

    const HTTPResponse thumb = send("GET", "/api/thumb/" + uuidText(archived.id));
    EXPECT_EQ(thumb.contentType, "image/jpeg");
    EXPECT_EQ(QImage::fromData(thumb.body).size(), QSize(240, 180));
    EXPECT_EQ(send("GET", "/api/thumb/" + uuidText(archived.id)), thumb);
    writeFile(m_store.fileURL(archived), imageBytes(whitePage(300, 400), "JPEG"));
    EXPECT_EQ(QImage::fromData(send("GET", "/api/thumb/" + uuidText(archived.id)).body).size(),
        QSize(180, 240));
}

TEST_F(BrowserScreenTest, BlurFollowsSendersAndSettings)
{
    // A known sender, a listed one, another, and a text, which is never blurred.
    const ScreenItem added[] = {add(ItemKind::photo, " Mum "), add(ItemKind::photo, "DAD"),
        add(ItemKind::photo, "Cy"), add(ItemKind::text, "Cy")};
    m_defaults.setStringList("knownSenders", {"mum"});
    m_defaults.set("blurSenders", "mum, ,dad");
    const std::tuple<bool, bool, QString> rows[]
        = {{false, false, "0100"}, {true, false, "0110"}, {false, true, "0110"}};
    for (const auto& [blurAll, viewerBlurAll, expected] : rows) {
        m_defaults.set("blurAll", blurAll);
        m_defaults.set("viewerBlurAll", viewerBlurAll);
        QMap<QString, bool> blurred;
        for (const QJsonValue& v : items())
            blurred.insert(v["id"].toString(), v["blurred"].toBool());
        QString shown;
        for (const ScreenItem& item : added)
            shown += blurred.value(uuidText(item.id)) ? u'1' : u'0';
        EXPECT_EQ(shown, expected) << blurAll << viewerBlurAll;
    }
}

TEST_F(BrowserScreenTest, ViewerLogKeepsOneViewPerTenMinutesAndOneLinePerEvent)
{
    for (int second = 0; second < 20 * 60; second += 2) {
        items("10.0.0.5");
        m_clock.advance(2);
    }
    items("10.0.0.9");
    const ScreenItem odd = add(ItemKind::photo, "Ann\tB\r\nC");
    send("POST", "/api/ack", {{"id", uuidText(odd.id)}}, "");
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "2025-03-01T09:30:00Z\t10.0.0.5\tview");
    EXPECT_EQ(lines[1], "2025-03-01T09:40:00Z\t10.0.0.5\tview");
    EXPECT_TRUE(lines[2].endsWith("\t10.0.0.9\tview"));
    EXPECT_EQ(lines[3].split('\t').mid(1),
        QStringList({"?", "got-it", uuidText(odd.id).left(8), "from Ann B  C"}));
}

TEST_F(BrowserScreenTest, ScreenNameIsEscapedForItsPlaceInEitherPage)
{
    const QString name
        = QString::fromUtf8("Anna's \"Mac\" </script> </SCRIPT @@CONFIG@@ \u2028 &amp;");
    m_defaults.set("screenName", name);
    for (const char* path : {"/", "/screen"}) {
        const QString html = QString::fromUtf8(send("GET", path).body);
        EXPECT_TRUE(
            html.contains("Anna&#39;s &quot;Mac&quot; &lt;/script&gt; &lt;/SCRIPT @@CONFIG@@"))
            << path;
        const auto config = QRegularExpression(
            R"(<script id="vesker-config" type="application/json">(.*?)</script>)",
            QRegularExpression::DotMatchesEverythingOption)
                                .match(html);
        ASSERT_TRUE(config.hasMatch()) << path;
        EXPECT_FALSE(config.captured(1).contains(QRegularExpression("[<>&\u2028\u2029]"))) << path;
        EXPECT_EQ(QJsonDocument::fromJson(config.captured(1).toUtf8())["name"].toString(), name);
    }
}
