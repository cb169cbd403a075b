#include "controller_fixture.h"

#include "screens/hosted_screens_manager.h"
#include "server/access_manager.h"
#include "support/test_images.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace vesker;
using namespace vesker::test;

namespace {

HTTPRequest request(const char* method, const char* target, QByteArray body = {},
    QMap<QString, QString> headers = {})
{
    HTTPRequest r;
    r.method = QString::fromLatin1(method);
    const QString t = QString::fromLatin1(target);
    r.path = t.section(u'?', 0, 0);
    if (t.contains(u'?')) {
        for (const QString& pair : t.section(u'?', 1).split(u'&'))
            r.query.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    }
    r.headers = std::move(headers);
    r.body = std::move(body);
    return r;
}

QJsonObject jsonOf(const HTTPResponse& response)
{
    return QJsonDocument::fromJson(response.body).object();
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class UploadTest : public ControllerTest {
protected:
    std::unique_ptr<ServerController> m_controller = makeController();

    HTTPResponse route(const HTTPRequest& r) { return m_controller->route(r); }

    HTTPResponse upload(const char* path, QByteArray body, QMap<QString, QString> headers = {})
    {
        return route(request("POST", path, std::move(body), std::move(headers)));
    }

    QList<ScreenItem> uploaded() const
    {
        QList<ScreenItem> items = m_store.items();
        items.removeIf([](const ScreenItem& i) { return i.sender == QLatin1String("Vesker"); });
        return items;
    }
};

TEST_F(UploadTest, RoutesAnswerOnlyTheirMethodAndExactPath)
{
    struct Row {
        const char* method;
        const char* target;
        qint64 status;
        const char* contentType;
        QByteArray body;
    };
    const Row rows[] = {
        {"GET", "/upload", 404, "text/plain; charset=utf-8", "Not found"},
        {"POST", "/", 404, "text/plain; charset=utf-8", "Not found"},
        {"PUT", "/upload", 404, "text/plain; charset=utf-8", "Not found"},
        {"OPTIONS", "/anything/at/all", 204, "text/plain", ""},
        {"OPTIONS", "/s/team/upload", 204, "text/plain", ""},
        {"GET", "/s/nobody/", 404, "text/plain; charset=utf-8", "Not found"},
        {"GET", "/API/INFO", 404, "text/plain; charset=utf-8", "Not found"},
        {"POST", "/upload", 400, "text/plain; charset=utf-8", "Empty body"},
        {"POST", "/text", 400, "text/plain; charset=utf-8", "Empty body"},
    };
    for (const Row& row : rows) {
        const HTTPResponse r = route(request(row.method, row.target));
        EXPECT_EQ(r.status, row.status) << row.method << ' ' << row.target;
        EXPECT_EQ(r.contentType, QString::fromLatin1(row.contentType)) << row.target;
        EXPECT_EQ(r.body, row.body) << row.target;
    }
}

TEST_F(UploadTest, InfoAndStatusDescribeTheScreenAndTheDevice)
{
    m_defaults.set(QStringLiteral("screenName"), QStringLiteral("Front desk"));
    m_defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("code"));
    QJsonObject info = jsonOf(route(request("GET", "/api/info?x=1")));
    EXPECT_EQ(info.value(QStringLiteral("name")).toString(), QStringLiteral("Front desk"));
    EXPECT_EQ(info.value(QStringLiteral("screen")).toString(), m_relay.relayScreenID());
    EXPECT_EQ(info.value(QStringLiteral("inbox")).toInt(-1), 0);
    EXPECT_EQ(info.value(QStringLiteral("policy")).toString(), QStringLiteral("code"));
    EXPECT_FALSE(info.value(QStringLiteral("requiresCode")).toBool(true)) << "no code is set";
    EXPECT_TRUE(info.value(QStringLiteral("supportsText")).toBool());
    m_defaults.set(QStringLiteral("accessCode"), QStringLiteral("1234"));
    EXPECT_TRUE(
        jsonOf(route(request("GET", "/api/info"))).value(QStringLiteral("requiresCode")).toBool());

    const QJsonObject none = jsonOf(route(request("GET", "/api/status")));
    EXPECT_EQ(none.value(QStringLiteral("acked")).toArray().size(), 0);
    EXPECT_EQ(none.value(QStringLiteral("pending")).toInt(-1), 0);
}

TEST_F(UploadTest, APhotoTravelsTheWholeRoadOverASocketAndARepeatStoresNothing)
{
    ASSERT_TRUE(waitUntilRunning(*m_controller));
    const QByteArray photo
        = png(barcodeImage(ZXing::BarcodeFormat::QRCode, "https://example.org/k1", 300, 300));
    const QByteArray head = "POST /upload HTTP/1.1\r\nHost: x\r\nContent-Type: image/png\r\n"
                            "X-Sender: Ann%20B\r\nX-Device: dev1\r\nX-Item-Id: k1\r\n"
                            "X-Location: 52.5,13.4\r\nContent-Length: "
        + QByteArray::number(photo.size()) + "\r\n\r\n";
    const QByteArray first = exchange(port(), head + photo);
    const QByteArray again = exchange(port(), head + photo);
    ASSERT_TRUE(first.startsWith("HTTP/1.1 200 OK\r\n")) << first.constData();
    const QByteArray body = first.mid(first.indexOf("\r\n\r\n") + 4);
    const QJsonObject reply = QJsonDocument::fromJson(body).object();
    EXPECT_TRUE(reply.value(QStringLiteral("ok")).toBool());
    const QString id = reply.value(QStringLiteral("id")).toString();
    EXPECT_EQ(id, id.toUpper());
    EXPECT_EQ(again.mid(again.indexOf("\r\n\r\n") + 4), body) << "the remembered reply";

    ASSERT_EQ(uploaded().size(), 1);
    const ScreenItem item = uploaded().first();
    EXPECT_EQ(uuidText(item.id), id);
    EXPECT_EQ(item.sender, QStringLiteral("Ann B"));
    EXPECT_EQ(item.deviceID, QStringLiteral("dev1"));
    EXPECT_EQ(item.kind, ItemKind::photo);
    EXPECT_EQ(item.lat, 52.5);
    EXPECT_TRUE(QRegularExpression(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d-%1\\.png$").arg(id.left(8)))
                    .match(item.filename)
                    .hasMatch())
        << item.filename.toStdString();
    EXPECT_EQ(readAll(m_store.fileURL(item)), photo);
    // Recognition runs after the reply and writes its result back.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_store.item(item.id)->barcodes.isEmpty(); }, 20000));
    EXPECT_EQ(
        m_store.item(item.id)->barcodes, QStringList {QStringLiteral("QR https://example.org/k1")});
}

TEST_F(UploadTest, TextsAndPdfsAreStoredWithTheirOwnExtensions)
{
    EXPECT_EQ(upload("/text", " \n\t ").body, QByteArray("Empty text"));
    const HTTPResponse text = upload("/text", "  Table 4: two coffees \n",
        {{QStringLiteral("x-sender"), QStringLiteral("%zz")},
            {QStringLiteral("x-note"), QStringLiteral("caf%C3%A9+bar")}});
    ASSERT_EQ(text.status, 200) << text.body.constData();
    const HTTPResponse pdf = upload("/file", "%PDF-1.4 fake",
        {{QStringLiteral("content-type"), QStringLiteral("image/png")},
            {QStringLiteral("x-filename"), QStringLiteral("Menu%20v2.pdf")},
            {QStringLiteral("x-group"), QStringLiteral("G1")},
            {QStringLiteral("x-group-index"), QStringLiteral("+2")},
            {QStringLiteral("x-group-count"), QStringLiteral(" 3")}});
    ASSERT_EQ(pdf.status, 200);

    const QList<ScreenItem> items = uploaded();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].kind, ItemKind::text);
    EXPECT_EQ(items[0].text, QStringLiteral("Table 4: two coffees"));
    EXPECT_EQ(items[0].sender, QStringLiteral("Phone")) << "a malformed header counts as missing";
    EXPECT_EQ(items[0].note, QString::fromUtf8("café+bar")) << "no plus-to-space in headers";
    EXPECT_TRUE(items[0].filename.endsWith(QLatin1String(".txt")));
    EXPECT_EQ(readAll(m_store.fileURL(items[0])), QByteArray("Table 4: two coffees"));
    EXPECT_EQ(items[1].kind, ItemKind::pdf);
    EXPECT_TRUE(items[1].filename.endsWith(QLatin1String(".pdf")));
    EXPECT_EQ(items[1].originalName, QStringLiteral("Menu v2.pdf"));
    EXPECT_EQ(items[1].groupID, QStringLiteral("G1"));
    EXPECT_EQ(items[1].groupIndex, 2);
    EXPECT_EQ(items[1].groupCount, 0) << "a number with a blank is no number";
}

TEST_F(UploadTest, PhotoExtensionsComeFromTheContentType)
{
    const QList<std::pair<QString, QString>> rows {
        {QStringLiteral("IMAGE/HEIF"), QStringLiteral("heic")},
        {QStringLiteral("image/png"), QStringLiteral("png")},
        {QStringLiteral("image/webp"), QStringLiteral("webp")},
        {QStringLiteral("application/octet-stream"), QStringLiteral("jpg")},
        {QString(), QStringLiteral("jpg")}};
    m_defaults.set(QStringLiteral("recognizeOnArrival"), false);
    for (const auto& [type, extension] : rows) {
        QMap<QString, QString> headers;
        if (!type.isEmpty())
            headers.insert(QStringLiteral("content-type"), type);
        ASSERT_EQ(upload("/upload", "bytes", headers).status, 200);
        EXPECT_TRUE(uploaded().last().filename.endsWith(u'.' + extension)) << type.toStdString();
    }
}

TEST_F(UploadTest, AWrongCodeIsRefusedAndTheSameItemMayBeSentAgainWithTheRightOne)
{
    m_defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("code"));
    m_defaults.set(QStringLiteral("accessCode"), QStringLiteral("4711"));
    QMap<QString, QString> headers {{QStringLiteral("x-item-id"), QStringLiteral(" k7 ")},
        {QStringLiteral("x-code"), QStringLiteral("0000")}};
    const HTTPResponse refused = upload("/text", "hello", headers);
    EXPECT_EQ(refused.status, 401);
    EXPECT_EQ(refused.body, QByteArray("Access code required or incorrect"));
    headers[QStringLiteral("x-code")] = QStringLiteral("4711");
    EXPECT_EQ(upload("/text", "hello", headers).status, 200);
    EXPECT_EQ(uploaded().size(), 1);

    m_defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("anyone"));
    m_controller->access().block(QStringLiteral("dev9"), QStringLiteral("Bad phone"));
    const HTTPResponse declined
        = upload("/text", "x", {{QStringLiteral("x-device"), QStringLiteral("dev9")}});
    EXPECT_EQ(declined.status, 403);
    EXPECT_EQ(declined.body, QByteArray("This Mac declined the request"));
}

TEST_F(UploadTest, UnderAskAnUploadWaitsOnceAndIsStoredWhenTheDeviceIsAllowed)
{
    m_defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("ask"));
    const QMap<QString, QString> headers {{QStringLiteral("x-device"), QStringLiteral("dev1")},
        {QStringLiteral("x-item-id"), QStringLiteral("k1")},
        {QStringLiteral("x-sender"), QStringLiteral("Ann")}};
    const HTTPResponse first = upload("/text", "wait for me", headers);
    const HTTPResponse second = upload("/text", "wait for me", headers);
    EXPECT_EQ(first.status, 202);
    EXPECT_EQ(jsonOf(first),
        (QJsonObject {{QStringLiteral("ok"), true}, {QStringLiteral("pending"), true}}));
    EXPECT_EQ(second, first);
    EXPECT_EQ(m_sounds, QStringList {QStringLiteral("Tink")}) << "one sound for one held upload";
    QJsonObject status = jsonOf(route(request("GET", "/api/status?device=dev1")));
    EXPECT_EQ(status.value(QStringLiteral("pending")).toInt(), 1);
    EXPECT_TRUE(uploaded().isEmpty());

    m_controller->access().approve(
        QStringLiteral("dev1"), QStringLiteral("Ann"), GrantDuration::once);
    ASSERT_EQ(uploaded().size(), 1);
    EXPECT_EQ(uploaded().first().text, QStringLiteral("wait for me"));
    m_store.acknowledge(uploaded().first().id, QStringLiteral("got-it"));
    status = jsonOf(route(request("GET", "/api/status?device=dev1")));
    EXPECT_EQ(status.value(QStringLiteral("pending")).toInt(), 0);
    EXPECT_EQ(status.value(QStringLiteral("acked")).toArray(),
        QJsonArray {uuidText(uploaded().first().id)});
}

TEST_F(UploadTest, HeldUploadsAreCappedPerDeviceWithoutRememberingTheRefusal)
{
    m_defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("ask"));
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(
            upload("/text", "x", {{QStringLiteral("x-device"), QStringLiteral("d")}}).status, 202);
    const QMap<QString, QString> headers {{QStringLiteral("x-device"), QStringLiteral("d")},
        {QStringLiteral("x-item-id"), QStringLiteral("late")}};
    const HTTPResponse full = upload("/text", "x", headers);
    EXPECT_EQ(full.status, 503);
    EXPECT_EQ(full.body, QByteArray("Too many uploads waiting for approval"));
    m_controller->access().deny(QStringLiteral("d"));
    m_controller->access().approve(
        QStringLiteral("d"), QStringLiteral("d"), GrantDuration::forever);
    EXPECT_EQ(upload("/text", "x", headers).status, 200) << "the 503 was not remembered";
}

TEST_F(UploadTest, ASaveFailureIsReportedAndNotRemembered)
{
    QDir(m_store.rootDir()).rename(QStringLiteral("Inbox"), QStringLiteral("Inbox.away"));
    writeFile(m_store.inboxDir(), "a file where the folder was");
    const QMap<QString, QString> headers {{QStringLiteral("x-item-id"), QStringLiteral("p1")}};
    const HTTPResponse photo = upload("/upload", "jpegbytes", headers);
    EXPECT_EQ(photo.status, 500);
    EXPECT_TRUE(photo.body.startsWith("Save failed: ")) << photo.body.constData();
    EXPECT_EQ(upload("/file", "pdf").body, QByteArray("Couldn't save the file"));
    EXPECT_EQ(upload("/text", "still here").status, 200) << "a text lives in its record";
    EXPECT_EQ(uploaded().size(), 1);

    QFile::remove(m_store.inboxDir());
    QDir(m_store.rootDir()).rename(QStringLiteral("Inbox.away"), QStringLiteral("Inbox"));
    EXPECT_EQ(upload("/upload", "jpegbytes", headers).status, 200);
    EXPECT_EQ(uploaded().size(), 2);
}

TEST_F(UploadTest, TheReplyMemoryKeepsTheNewest200Keys)
{
    m_defaults.set(QStringLiteral("recognizeOnArrival"), false);
    for (int i = 0; i <= 200; ++i)
        upload("/text", "t", {{QStringLiteral("x-item-id"), QStringLiteral("key%1").arg(i)}});
    EXPECT_EQ(uploaded().size(), 201);
    upload("/text", "t", {{QStringLiteral("x-item-id"), QStringLiteral("key200")}});
    EXPECT_EQ(uploaded().size(), 201) << "a recent key is still remembered";
    upload("/text", "t", {{QStringLiteral("x-item-id"), QStringLiteral("key0")}});
    EXPECT_EQ(uploaded().size(), 202) << "the oldest key was forgotten";
}

TEST_F(UploadTest, RelayItemsGoToTheScreenTheyWereSentTo)
{
    RelayManager::Incoming photo;
    photo.messageID = QStringLiteral("M1");
    photo.screenID = m_relay.relayScreenID();
    photo.kind = QStringLiteral("image");
    photo.contentType = QStringLiteral("image/HEIF");
    photo.data = "heic bytes";
    photo.sentAt = m_clock.now().addSecs(3600);
    m_defaults.set(QStringLiteral("recognizeOnArrival"), false);
    m_controller->acceptRelayItem(photo);

    RelayManager::Incoming text = photo;
    text.messageID = QStringLiteral("M2");
    text.kind = QStringLiteral("text");
    text.data = QByteArray("hi \xff there");
    text.header.senderName = QStringLiteral("Bo");
    text.sentAt = m_clock.now().addDays(-1);
    m_controller->acceptRelayItem(text);

    RelayManager::Incoming pdf = photo;
    pdf.messageID = QStringLiteral("M3");
    pdf.kind = QStringLiteral("pdf");
    pdf.contentType = QStringLiteral("image/svg+xml");
    pdf.header.filename = QStringLiteral("menu.pdf");
    pdf.header.group = HeaderPlain::Group {QStringLiteral("G"), 1, 2};
    pdf.header.lat = 1.5;
    m_controller->acceptRelayItem(pdf);

    RelayManager::Incoming stranger = photo;
    stranger.screenID = QStringLiteral("0123456789abcdef0123456789abcdef");
    m_controller->acceptRelayItem(stranger);

    const QList<ScreenItem> items = uploaded();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].sender, QStringLiteral("Someone"));
    EXPECT_EQ(items[0].deviceID, QStringLiteral("relay:M1"));
    EXPECT_EQ(items[0].receivedAt, m_clock.now()) << "a date in the future is now";
    EXPECT_TRUE(items[0].filename.endsWith(QLatin1String(".heic")));
    EXPECT_EQ(items[1].text, QString::fromUtf8("hi \uFFFD there"));
    EXPECT_EQ(items[1].receivedAt, m_clock.now().addDays(-1));
    EXPECT_TRUE(items[1].filename.startsWith(ItemStore::fileDateText(m_clock.now().addDays(-1))));
    EXPECT_EQ(items[2].kind, ItemKind::pdf);
    EXPECT_EQ(items[2].originalName, QStringLiteral("menu.pdf"));
    EXPECT_EQ(items[2].groupID, QStringLiteral("G"));
    EXPECT_FALSE(items[2].lat) << "a location needs both coordinates";
}

using HostedUploadTest = ControllerTest;

TEST_F(HostedUploadTest, AHostedScreenReadsEveryPhotoEvenWithRecognitionOff)
{
    m_defaults.set(QStringLiteral("recognizeOnArrival"), false);
    m_defaults.set(QStringLiteral("hostedScreens"),
        QJsonArray {QJsonObject {
            {QStringLiteral("id"), QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF")},
            {QStringLiteral("name"), QStringLiteral("Team")},
            {QStringLiteral("slug"), QStringLiteral("team")}, {QStringLiteral("port"), 9001}}});
    auto controller = makeController();
    const QByteArray qr = png(barcodeImage(ZXing::BarcodeFormat::QRCode, "TEAM-7", 300, 300));

    RelayManager::Incoming hosted;
    hosted.messageID = QStringLiteral("H1");
    hosted.screenID = QStringLiteral("6f9619ff8b86d011b42d00c04fc964ff");
    hosted.kind = QStringLiteral("photo");
    hosted.contentType = QStringLiteral("image/png");
    hosted.data = qr;
    controller->acceptRelayItem(hosted);
    RelayManager::Incoming mine = hosted;
    mine.screenID = m_relay.relayScreenID();
    controller->acceptRelayItem(mine);

    ItemStore* team = controller->hosted().store(controller->hosted().screens().first());
    ASSERT_TRUE(team);
    ASSERT_EQ(team->items().size(), 1);
    EXPECT_EQ(m_store.items().size(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !team->items().first().barcodes.isEmpty(); }, 20000));
    EXPECT_EQ(team->items().first().barcodes, QStringList {QStringLiteral("QR TEAM-7")});
    // The main store's photo is not read: recognition is off there.
    QTest::qWait(300);
    EXPECT_TRUE(m_store.items().first().barcodes.isEmpty());
}
