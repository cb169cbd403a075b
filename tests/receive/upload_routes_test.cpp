#include "controller_fixture.h"

#include "access/access_manager.h"
#include "platform/media.h"
#include "screens/hosted_screens_manager.h"
#include "store/recognizer.h"
#include "support/fail_device.h"
#include "support/free_port.h"
#include "support/temp_env.h"
#include "support/test_images.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QThreadPool>

using namespace vesker;
using namespace vesker::test;

namespace {

using Headers = QMap<QString, QString>;

QByteArray qrPhoto(const char* text)
{
    return imageBytes(barcodeImage(ZXing::BarcodeFormat::QRCode, text, 300, 300), "PNG");
}

// The start of an ISO base media file: an "ftyp" box with its major and compatible brands.
QByteArray ftyp(const QByteArray& major, const QByteArray& compatible)
{
    const QByteArray box = "ftyp" + major + QByteArray(4, '\0') + compatible;
    const qsizetype size = box.size() + 4;
    return QByteArray(3, '\0') + char(size) + box + QByteArray(64, '\x11');
}

} // namespace

class UploadTest : public ControllerTest {
protected:
    std::unique_ptr<ServerController> m_controller = makeController();

    HTTPResponse route(const HTTPRequest& r) { return ControllerTest::route(*m_controller, r); }
    HTTPResponse upload(const char* path, QByteArray body, Headers headers = {})
    {
        return route({"POST", path, {}, std::move(headers), std::move(body)});
    }
    QJsonObject get(const char* path, Headers query = {})
    {
        return QJsonDocument::fromJson(route({"GET", path, std::move(query)}).body).object();
    }
};

TEST_F(UploadTest, RoutesAnswerOnlyTheirMethodAndExactPath)
{
    const HTTPResponse notFound = HTTPResponse::text(404, "Not found");
    const std::tuple<const char*, const char*, HTTPResponse> rows[] = {
        {"GET", "/upload", notFound},
        {"POST", "/", notFound},
        {"GET", "/API/INFO", notFound},
        {"OPTIONS", "/anything/at/all", {204, "text/plain", {}}},
        {"POST", "/upload", HTTPResponse::text(400, "Empty body")},
        {"POST", "/text", HTTPResponse::text(400, "Empty body")},
    };
    for (const auto& [method, path, expected] : rows)
        EXPECT_EQ(route({method, path}), expected) << method << ' ' << path;
}

TEST_F(UploadTest, InfoDescribesTheScreen)
{
    m_defaults.set("screenName", "Front desk");
    m_defaults.set("accessPolicy", "code");
    EXPECT_EQ(get("/api/info", {{"x", "1"}}),
        (QJsonObject {{"name", "Front desk"}, {"screen", m_relay.relayScreenID()}, {"inbox", 0},
            {"policy", "code"}, {"requiresCode", false}, {"supportsText", true}}))
        << "no code is set, so none is required";
    m_defaults.set("accessCode", "1234");
    EXPECT_TRUE(get("/api/info").value("requiresCode").toBool());
}

TEST_F(UploadTest, APhotoIsStoredRecognisedAndAnnouncedAndARepeatStoresNothing)
{
    m_defaults.set("autoCopyBarcode", true);
    const QByteArray photo = qrPhoto("https://example.org/k1");
    const Headers headers {{"content-type", "image/png"}, {"x-sender", "Ann%20B"},
        {"x-device", "dev1"}, {"x-item-id", "k1"}, {"x-location", "52.5,13.4"}};
    const HTTPResponse first = upload("/upload", photo, headers);
    EXPECT_EQ(upload("/upload", photo, headers), first) << "the remembered reply";
    const QString id = QJsonDocument::fromJson(first.body)["id"].toString();
    EXPECT_EQ(first.body, QByteArray(R"({"id":")" + id.toUpper().toLatin1() + R"(","ok":true})"));

    ASSERT_EQ(uploaded().size(), 1);
    const ScreenItem item = uploaded().first();
    EXPECT_EQ(uuidText(item.id), id);
    EXPECT_EQ(item.sender, QStringLiteral("Ann B"));
    EXPECT_EQ(item.deviceID, QStringLiteral("dev1"));
    EXPECT_EQ(item.lat, 52.5);
    EXPECT_TRUE(item.filename.endsWith(id.left(8) + ".png")) << item.filename.toStdString();
    EXPECT_EQ(fileBytes(m_store.fileURL(item)), photo);
    // Recognition runs after the reply and writes its result back.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_store.item(item.id)->barcodes.isEmpty(); }, 20000));
    EXPECT_EQ(m_store.item(item.id)->barcodes, QStringList {"QR https://example.org/k1"});
    EXPECT_EQ(m_desktop.asked,
        (QStringList {"arrival Ann B", "sound Glass", "copy https://example.org/k1"}));
}

TEST_F(UploadTest, ALateRecognitionResultDoesNotLandOnAReplacedPhoto)
{
    ASSERT_EQ(upload("/upload", qrPhoto("OLD-CODE"), {{"content-type", "image/png"}}).status, 200);
    const QUuid id = uploaded().first().id;
    QImage plain(300, 300, QImage::Format_RGB32);
    plain.fill(Qt::white);
    m_store.replaceImage(id, imageBytes(plain, "PNG"), "png");
    Recognizer::pool().waitForDone();
    QTest::qWait(50); // the finished recognition reports back through the event loop
    EXPECT_TRUE(m_store.item(id)->barcodes.isEmpty());
}

TEST_F(UploadTest, TextsAndPdfsAreStoredWithTheirOwnExtensions)
{
    EXPECT_EQ(upload("/text", " \n\t ").body, QByteArray("Empty text"));
    EXPECT_EQ(upload("/text", QByteArray(1024 * 1024 + 1, 'a')),
        HTTPResponse::text(413, "Text too long"));
    const Headers textHeaders {{"x-sender", "%zz"}, {"x-note", "caf%C3%A9+bar"}};
    ASSERT_EQ(upload("/text", "  Table 4: two coffees \n", textHeaders).status, 200);
    const Headers pdfHeaders {{"content-type", "image/png"}, {"x-filename", "Menu%20v2.pdf"},
        {"x-group", "G1"}, {"x-group-index", "+2"}, {"x-group-count", " 3"}};
    ASSERT_EQ(upload("/file", "%PDF-1.4 fake", pdfHeaders).status, 200);

    const QList<ScreenItem> items = uploaded();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].sender, QStringLiteral("Phone")) << "a malformed header counts as missing";
    EXPECT_EQ(items[0].note, QStringLiteral("café+bar")) << "no plus-to-space in headers";
    EXPECT_TRUE(items[0].filename.endsWith(QLatin1String(".txt")));
    EXPECT_EQ(fileBytes(m_store.fileURL(items[0])), QByteArray("Table 4: two coffees"));
    EXPECT_EQ(items[1].kind, ItemKind::pdf);
    EXPECT_TRUE(items[1].filename.endsWith(QLatin1String(".pdf")));
    EXPECT_EQ(items[1].originalName, QStringLiteral("Menu v2.pdf"));
    EXPECT_EQ(items[1].groupIndex, 2);
    EXPECT_EQ(items[1].groupCount, 0) << "a number with a blank is no number";
}

TEST_F(UploadTest, ATextKeepsNoControlCharactersButTabsAndLineEnds)
{
    const struct {
        QByteArray body;
        QString stored; // empty: refused as an empty text
    } cases[] = {
        {"a\tb\r\nc\x01\x1b[31md\x7f", QStringLiteral("a\tb\r\nc[31md")},
        {"caf\xc3\xa9 \xc2\x85\xc2\x9bok", QStringLiteral("café ok")},
        {QByteArray(64 * 1024, '\x01'), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.left(20).toStdString());
        const HTTPResponse reply = upload("/text", c.body);
        if (c.stored.isEmpty()) {
            EXPECT_EQ(reply, HTTPResponse::text(400, "Empty text"));
            continue;
        }
        ASSERT_EQ(reply.status, 200);
        const QList<ScreenItem> items = uploaded();
        EXPECT_TRUE(std::any_of(items.begin(), items.end(),
            [&](const ScreenItem& item) { return item.text == c.stored; }));
    }
    m_store.flush();
    const QByteArray index = fileBytes(m_store.rootDir() + QStringLiteral("/index.json"));
    EXPECT_TRUE(index.contains("[31md")) << "the index holds the texts";
    EXPECT_FALSE(index.contains("\\u00")) << index.constData();
}

TEST_F(UploadTest, GuessingTheAccessCodeLocksTheSenderOut)
{
    m_defaults.set("accessPolicy", "code");
    m_defaults.set("accessCode", "428913");
    const auto send = [&](const QString& code) {
        HTTPRequest r {"POST", "/text", {}, {{"x-code", code}}, "hello"};
        r.remoteAddress = "10.0.0.5";
        return route(r).status;
    };
    for (int guess = 0; guess < 10; ++guess)
        EXPECT_EQ(send(QString::number(100000 + guess)), 401) << "guess " << guess;
    EXPECT_EQ(send("428913"), 429) << "the right code went through, or was called wrong";
}

TEST_F(UploadTest, UnderAskAHeldUploadIsAskedForOnceAndTheHoldIsCapped)
{
    m_defaults.set("accessPolicy", "ask");
    const Headers headers {{"x-device", "dev1"}, {"x-item-id", "k1"}};
    const HTTPResponse first = upload("/text", "wait for me", headers);
    EXPECT_EQ(first, (HTTPResponse {202, "application/json", R"({"ok":true,"pending":true})"}));
    EXPECT_EQ(upload("/text", "wait for me", headers), first);
    EXPECT_EQ(m_desktop.asked, (QStringList {"show", "sound Tink"})) << "once for one held upload";
    EXPECT_EQ(get("/api/status", {{"device", "dev1"}}).value("pending").toInt(), 1);

    // Held uploads are capped per device, and the refusal is not remembered.
    for (int i = 0; i < 19; ++i)
        ASSERT_EQ(upload("/text", "x", {{"x-device", "dev1"}}).status, 202);
    const Headers late {{"x-device", "dev1"}, {"x-item-id", "late"}};
    EXPECT_EQ(upload("/text", "x", late),
        HTTPResponse::text(503, "Too many uploads waiting for approval"));
    m_controller->access().approve("dev1", "Ann", GrantDuration::forever);
    // Files are written off the main thread: the items come once they are on disk.
    EXPECT_TRUE(QTest::qWaitFor([&] { return uploaded().size() == 20; }, 10000));
    EXPECT_EQ(upload("/text", "x", late).status, 200) << "the 503 was not remembered";
}

TEST_F(UploadTest, TheReplyMemoryKeepsTheNewest200Keys)
{
    for (int i = 0; i <= 200; ++i)
        upload("/text", "t", {{"x-item-id", QStringLiteral("key%1").arg(i)}});
    upload("/text", "t", {{"x-item-id", "key200"}});
    EXPECT_EQ(uploaded().size(), 201) << "a recent key is still remembered";
    upload("/text", "t", {{"x-item-id", "key0"}});
    EXPECT_EQ(uploaded().size(), 202) << "the oldest key was forgotten";
}

TEST_F(UploadTest, RelayItemsGoToTheScreenTheyWereSentTo)
{
    m_defaults.set("recognizeOnArrival", false);
    const QString mine = m_relay.relayScreenID();
    const QDateTime later = m_clock.now().addSecs(3600), earlier = m_clock.now().addDays(-1);
    const RelayManager::Incoming photo {
        "M1", mine, "image", "image/HEIF", "heic bytes", {}, {}, later};
    const RelayManager::Incoming text {
        "M2", mine, "text", {}, "hi \xff there", {.senderName = "Bo"}, {}, earlier};
    const RelayManager::Incoming pdf {"M3", mine, "pdf", "image/png", "%PDF",
        {.group = HeaderPlain::Group {"G", 1, 2}, .filename = "menu.pdf", .lat = 1.5}};
    RelayManager::Incoming stranger = photo;
    stranger.screenID = "0123456789abcdef0123456789abcdef";
    for (const auto& incoming : {photo, text, pdf, stranger})
        Q_EMIT m_relay.received(incoming);

    EXPECT_TRUE(QTest::qWaitFor([&] { return uploaded().size() == 3; }, 10000));
    // Each file is written on a pool of its own: the items come in the order they reach disk.
    QList<ScreenItem> items = uploaded();
    std::sort(items.begin(), items.end(),
        [](const ScreenItem& a, const ScreenItem& b) { return a.deviceID < b.deviceID; });
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].sender, QStringLiteral("Someone"));
    EXPECT_EQ(items[0].deviceID, QStringLiteral("relay:M1"));
    EXPECT_EQ(items[0].receivedAt, m_clock.now()) << "a date in the future is now";
    EXPECT_TRUE(items[0].filename.endsWith(QLatin1String(".heic")));
    EXPECT_EQ(items[1].text, QStringLiteral(u"hi \uFFFD there"));
    EXPECT_TRUE(items[1].filename.startsWith(ItemStore::fileDateText(earlier)));
    EXPECT_EQ(items[2].originalName, QStringLiteral("menu.pdf"));
    EXPECT_EQ(items[2].groupID, QStringLiteral("G"));
    EXPECT_FALSE(items[2].lat) << "a location needs both coordinates";
}

TEST_F(ControllerTest, AHostedScreenReadsEveryPhotoEvenWithRecognitionOff)
{
    m_defaults.set("recognizeOnArrival", false);
    m_defaults.set("hostedScreens",
        QJsonArray {QJsonObject {{"id", "6F9619FF-8B86-D011-B42D-00C04FC964FF"}, {"name", "Team"},
            {"slug", "team"}, {"port", 9001}}});
    auto controller = makeController();
    RelayManager::Incoming hosted {
        "H1", "6f9619ff8b86d011b42d00c04fc964ff", "photo", "image/png", qrPhoto("TEAM-7")};
    Q_EMIT m_relay.received(hosted);
    hosted.screenID = m_relay.relayScreenID();
    Q_EMIT m_relay.received(hosted);

    ItemStore* team = controller->hosted().store(controller->hosted().screens().first());
    ASSERT_TRUE(team);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return team->items().size() == 1 && m_store.items().size() == 1; }, 10000));
    ASSERT_EQ(team->items().size(), 1);
    EXPECT_EQ(m_store.items().size(), 1);
    m_store.flush();
    team->flush();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_desktop.asked, (QStringList {"arrival Someone", "sound Glass"}))
        << "only the main screen's item is announced";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !team->items().first().barcodes.isEmpty(); }, 20000));
    EXPECT_EQ(team->items().first().barcodes, QStringList {"QR TEAM-7"});
}

TEST_F(UploadTest, WhatAPhotoUploadIsIsToldByItsFirstBytes)
{
    m_defaults.set("allowBrowserScreens", true);
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QTemporaryDir dir;
    const QString heicPath = dir.filePath("photo.heic");
    // Without an HEVC encoder here, a phone's HEIC is stood in for by its first box.
    const QByteArray heic
        = writeHeic(heicPath, picture) ? fileBytes(heicPath) : ftyp("heic", "mif1heic");
    QByteArray noise(4096, '\0');
    QRandomGenerator random(20240611);
    for (char& byte : noise)
        byte = char(random.bounded(256));
    noise[0] = '\x42'; // whatever the seed, not the start of any picture or a PDF

    const struct {
        const char* name;
        QByteArray body;
        const char* contentType;
        int status;
        ItemKind kind = ItemKind::photo;
        const char* extension = "";
    } rows[] = {
        {"jpeg", imageBytes(picture, "JPEG"), "image/jpeg", 200, ItemKind::photo, ".jpg"},
        {"png", imageBytes(picture, "PNG"), "image/png", 200, ItemKind::photo, ".png"},
        {"heic", heic, "image/heic", 200, ItemKind::photo, ".heic"},
        {"avif", ftyp("avif", "mif1miaf"), "image/avif", 200, ItemKind::photo, ".avif"},
        {"avif by a compatible brand", ftyp("mif1", "mif1avifmiaf"), "image/heif", 200,
            ItemKind::photo, ".avif"},
        {"heif by a compatible brand", ftyp("XXXX", "miafmif1"), "", 200, ItemKind::photo, ".heic"},
        {"gif", "GIF89a\x01\x00\x01\x00\x80\x00\x00", "image/gif", 200, ItemKind::photo, ".gif"},
        {"webp", QByteArray("RIFF\x1a\0\0\0WEBPVP8L", 16) + "\x0d\0\0\0\x2f", "image/webp", 200,
            ItemKind::photo, ".webp"},
        {"tiff", QByteArray("II*\0\x08\0\0\0", 8) + QByteArray(32, '\0'), "image/tiff", 200,
            ItemKind::photo, ".tiff"},
        {"bmp", imageBytes(picture, "BMP"), "image/bmp", 200, ItemKind::photo, ".bmp"},
        // What the sender claims is not what is stored or served.
        {"png sent as bytes", imageBytes(picture, "PNG"), "application/octet-stream", 200,
            ItemKind::photo, ".png"},
        {"jpeg sent as heic", imageBytes(picture, "JPEG"), "image/heic", 200, ItemKind::photo,
            ".jpg"},
        {"heic sent as jpeg", heic, "image/jpeg", 200, ItemKind::photo, ".heic"},
        {"pdf", "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n1 0 obj", "image/jpeg", 200, ItemKind::pdf, ".pdf"},
        {"plain text", "Table 4: two coffees", "image/jpeg", 415},
        {"text that starts like a bitmap", "BMW 320d, blue, 2019 — parked in row 4", "image/bmp",
            415},
        {"a video", ftyp("isom", "isomiso2mp41"), "video/mp4", 415},
        {"random bytes", noise, "image/jpeg", 415},
        {"a pdf's name without a pdf", "PDF-1.7", "application/pdf", 415},
        {"nothing", "", "image/jpeg", 400},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const qsizetype before = uploaded().size();
        const HTTPResponse reply = upload("/upload", row.body,
            {{"content-type", row.contentType}, {"x-filename", "Scan%201.pdf"}});
        ASSERT_EQ(reply.status, row.status) << reply.body.toStdString();
        if (row.status == 415) {
            EXPECT_EQ(reply, HTTPResponse::text(415, "Not a photo or PDF"));
        }
        if (row.status != 200) {
            EXPECT_EQ(uploaded().size(), before) << "nothing is stored";
            continue;
        }
        const QString id = QJsonDocument::fromJson(reply.body)["id"].toString();
        const auto item = m_store.item(QUuid::fromString(id));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->kind, row.kind);
        EXPECT_TRUE(item->filename.endsWith(QLatin1String(row.extension)))
            << item->filename.toStdString();
        EXPECT_EQ(fileBytes(m_store.fileURL(*item)), row.body);
        EXPECT_EQ(item->originalName,
            row.kind == ItemKind::pdf ? QStringLiteral("Scan 1.pdf") : QString());
        const HTTPResponse served = route({"GET", "/api/image/" + id.toUtf8()});
        EXPECT_EQ(served.contentType, platform::mimeType(QStringLiteral("x") + row.extension));
    }
}

TEST_F(UploadTest, AFileIsAPdfOrIsRefused)
{
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const struct {
        const char* name;
        QByteArray body;
        int status;
    } rows[] = {
        {"pdf", "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n1 0 obj", 200},
        {"a photo", imageBytes(picture, "JPEG"), 415},
        {"random bytes", "\x01\x02 not a document", 415},
        {"a pdf's name without a pdf", "PDF-1.7", 415},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const qsizetype before = uploaded().size();
        const HTTPResponse reply = upload("/file", row.body,
            {{"content-type", "application/pdf"}, {"x-filename", "Document.pdf"}});
        if (row.status == 415) {
            EXPECT_EQ(reply, HTTPResponse::text(415, "Not a PDF"));
            EXPECT_EQ(uploaded().size(), before) << "nothing is stored";
        } else {
            EXPECT_EQ(reply.status, 200);
            ASSERT_EQ(uploaded().size(), before + 1);
            EXPECT_EQ(uploaded().last().kind, ItemKind::pdf);
        }
    }
}

TEST_F(UploadTest, AnUploadThatCannotBeSavedIsAnsweredInTheWordsOfItsKind)
{
    // An Inbox that is a plain file: nothing can be written into it.
    const QString inbox = m_store.inboxDir();
    ASSERT_TRUE(QDir(inbox).removeRecursively());
    ASSERT_TRUE(writeFile(inbox, "not a folder"));
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const struct {
        const char* path;
        QByteArray body;
        QString answer;
    } rows[] = {
        {"/file", "%PDF-1.4 agenda", "Couldn't save the file"},
        {"/upload", "%PDF-1.4 agenda picked as a photo", "Couldn't save the file"},
        {"/upload", imageBytes(picture, "PNG"), "Save failed: "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const HTTPResponse reply = upload(row.path, row.body);
        EXPECT_EQ(reply.status, 500);
        EXPECT_EQ(reply.contentType, "text/plain; charset=utf-8");
        if (row.answer.endsWith(u' ')) {
            EXPECT_TRUE(reply.body.startsWith(row.answer.toUtf8())) << reply.body.toStdString();
            EXPECT_GT(reply.body.size(), row.answer.size()) << "with the reason";
        } else {
            EXPECT_EQ(reply.body, row.answer.toUtf8());
        }
    }
    EXPECT_TRUE(uploaded().isEmpty());
}

TEST_F(UploadTest, WhatIsNoPhotoIsRefusedBeforeItIsHeldOrReachesAHostedScreen)
{
    m_defaults.set("accessPolicy", "ask");
    const Headers phone {{"x-device", "dev1"}, {"content-type", "image/jpeg"}};
    EXPECT_EQ(upload("/upload", "not a picture", phone).status, 415);
    EXPECT_EQ(get("/api/status", {{"device", "dev1"}}).value("pending").toInt(), 0);
    EXPECT_TRUE(m_desktop.asked.isEmpty()) << "nobody is asked about it";

    // A PDF held as a photo is let through as the PDF it is.
    ASSERT_EQ(upload("/upload", "%PDF-1.4 minutes", phone).status, 202);
    m_controller->access().approve("dev1", "Ann", GrantDuration::once);
    ASSERT_TRUE(QTest::qWaitFor([&] { return uploaded().size() == 1; }, 10000));
    EXPECT_EQ(uploaded().first().kind, ItemKind::pdf);
    EXPECT_TRUE(uploaded().first().filename.endsWith(QLatin1String(".pdf")));

    HostedScreen team {
        .id = QUuid::createUuid(), .name = "Team", .slug = "team", .port = freePort()};
    m_defaults.set("hostedScreens", QJsonArray {team.toJson()});
    ItemStore* store = m_controller->hosted().store(team);
    ASSERT_TRUE(store);
    const qsizetype before = store->items().size();
    EXPECT_EQ(
        upload("/s/team/upload", "not a picture"), HTTPResponse::text(415, "Not a photo or PDF"));
    EXPECT_EQ(store->items().size(), before);
    const HTTPResponse agenda = upload("/s/team/upload", "%PDF-1.4 agenda");
    ASSERT_EQ(agenda.status, 200);
    const auto item
        = store->item(QUuid::fromString(QJsonDocument::fromJson(agenda.body)["id"].toString()));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->kind, ItemKind::pdf);
}

TEST_F(UploadTest, AnUploadLetThroughThatCannotBeStoredIsReportedToItsDevice)
{
    m_defaults.set("accessPolicy", "ask");
    m_controller->access().approve("dev0", "Bo", GrantDuration::forever);
    ASSERT_EQ(upload("/text", "stored before", {{"x-device", "dev0"}}).status, 200);
    m_store.flush();

    const Headers phone {{"x-device", "dev1"}, {"x-item-id", "k1"}};
    ASSERT_EQ(upload("/text", "lost to a full disk", phone).status, 202);
    m_store.setWriteDevice(FailDevice::after(0));
    m_controller->access().approve("dev1", "Ann", GrantDuration::once);
    const QJsonObject storing
        = {{"approved", false}, {"denied", false}, {"pending", 1}, {"acked", QJsonArray {}}};
    EXPECT_EQ(get("/api/status", {{"device", "dev1"}}), storing)
        << "let through but not yet on disk: not sent yet";
    const QJsonObject failed {{"approved", false}, {"denied", false}, {"pending", 0},
        {"acked", QJsonArray {}},
        {"error", "Save failed: " + QString::fromLatin1(FailDevice::kError)}};
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return get("/api/status", {{"device", "dev1"}}).contains("error");
        },
        10000));
    EXPECT_EQ(get("/api/status", {{"device", "dev1"}}), failed);
    EXPECT_FALSE(get("/api/status", {{"device", "dev0"}}).contains("error"));
    ASSERT_EQ(uploaded().size(), 1);
    EXPECT_EQ(uploaded().first().text, QStringLiteral("stored before"));

    // Sent again under the same key once the disk has room: held anew, not told it is held.
    m_store.setWriteDevice({});
    EXPECT_EQ(upload("/text", "lost to a full disk", phone).status, 202);
    EXPECT_FALSE(get("/api/status", {{"device", "dev1"}}).contains("error"));
    m_controller->access().approve("dev1", "Ann", GrantDuration::once);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return get("/api/status", {{"device", "dev1"}}).value("pending") == 0;
        },
        10000));
    EXPECT_EQ(uploaded().size(), 2);
    EXPECT_FALSE(get("/api/status", {{"device", "dev1"}}).contains("error"));
}
