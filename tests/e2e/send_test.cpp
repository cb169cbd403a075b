// This computer sending to another screen that is the built program itself, started for real
// with a home of its own: by the address the user typed, and by the name it advertises.

#include "harness.h"

#include "platform/defaults.h"
#include "platform/dns_sd.h"
#include "send/photo_preparation.h"
#include "send/screen_browser.h"
#include "send/send_session.h"
#include "send/uploader.h"
#include "support/camera_metadata.h"
#include "support/manual_clock.h"
#include "support/picture_segments.h"
#include "support/test_images.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace vesker;
using e2e::Vesker;
using State = ScreenSender::State;

namespace {

constexpr auto kOwnName = "Ann's Mac";
constexpr auto kDevice = "A-DEVICE-1";

// The sending side: this test process with its own settings, as the Send sheet drives it.
class Sender {
public:
    Sender()
    {
        m_uploader = std::make_unique<Uploader>(
            Uploader::Options {.deviceID = kDevice, .deviceName = kOwnName});
    }

    platform::Defaults& settings() { return m_settings; }

    QUrl file(const QString& name, const QByteArray& bytes)
    {
        QFile f(m_dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return QUrl::fromLocalFile(f.fileName());
    }

    std::unique_ptr<SendSession> session(
        const QList<OutgoingItem>& items, const QList<RemoteScreen>& remote = {})
    {
        return std::make_unique<SendSession>(items,
            SendSession::Services {.defaults = m_settings,
                .uploader = m_uploader.get(),
                .clock = m_clock,
                .screenName = [] { return QString::fromLatin1(kOwnName); },
                .remoteScreens = [remote] { return remote; }});
    }

private:
    QTemporaryDir m_dir;
    test::ManualClock m_clock;
    platform::Defaults m_settings {m_dir.filePath(QStringLiteral("defaults.json")), m_clock};
    std::unique_ptr<Uploader> m_uploader;
};

RemoteScreen typedAddress(const Vesker& b)
{
    return {
        .name = QStringLiteral("Front desk"), .url = QStringLiteral("127.0.0.1:%1").arg(b.port)};
}

State sendAndWait(SendSession& session)
{
    session.send();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !session.isSending(); }, e2e::kBoundMs));
    const auto statuses = session.statuses();
    return statuses.size() == 1 ? statuses.first().state : State::idle;
}

QJsonObject deviceStatus(const Vesker& b)
{
    const e2e::Reply reply = e2e::exchange(b.port, e2e::kBoundMs,
        QByteArray("GET /api/status?device=") + kDevice
            + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    return QJsonDocument::fromJson(reply.body).object();
}

} // namespace

TEST(SendingToAnotherScreen, ByAddressAPhotoPdfAndTextArriveAsOneGroupWithoutCameraData)
{
    Vesker b;
    ASSERT_TRUE(b.start());
    Sender a;
    a.settings().set(SendSession::kIncludeLocationKey, true);
    const QString note = QStringLiteral("100% sûr, é\nsecond line");
    const RemoteScreen screen = typedAddress(b);
    auto session
        = a.session({{.imageURL = a.file("taken.jpg",
                          test::withCameraMetadata(
                              test::imageBytes(QImage(64, 48, QImage::Format_RGB32), "JPEG"), 6))},
                        {.imageURL = a.file("Menu.pdf", e2e::sample(e2e::Kind::pdf, 400))},
                        {.text = QStringLiteral("Table 4")}},
            {screen});
    session->setNote(note);
    session->setChosen(SendSession::remoteSelectionID(screen.id), true);
    EXPECT_EQ(sendAndWait(*session), State::sent) << qPrintable(session->results().join('\n'));

    const QJsonArray index = b.index();
    ASSERT_EQ(index.size(), 3);
    const QStringList kinds {"photo", "pdf", "text"};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject item = index[i].toObject();
        EXPECT_EQ(item["kind"].toString(), kinds[i]);
        EXPECT_EQ(item["sender"].toString(), kOwnName);
        EXPECT_EQ(item["note"].toString(), note);
        EXPECT_EQ(item["groupID"], index[0]["groupID"]);
        EXPECT_EQ(item["groupIndex"].toInt(), i + 1);
        EXPECT_EQ(item["groupCount"].toInt(), 3);
    }
    EXPECT_EQ(index[2]["text"].toString(), "Table 4");
    EXPECT_NEAR(index[0]["lat"].toDouble(), 52.51, 1e-9);
    EXPECT_NEAR(index[0]["lon"].toDouble(), 13.4, 1e-9);

    // Nothing the camera wrote, but how to turn the picture, is left in what B stored.
    const QByteArray stored = test::fileBytes(b.store("Inbox/" + index[0]["filename"].toString()));
    ASSERT_FALSE(stored.isEmpty());
    const auto metadata = test::metadataOf(stored);
    for (const auto& datum : metadata->exifData())
        EXPECT_EQ(datum.key(), "Exif.Image.Orientation");
    EXPECT_TRUE(metadata->xmpData().empty());
    EXPECT_TRUE(metadata->iptcData().empty());
}

TEST(SendingToAnotherScreen, AWrongCodeIsAskedAgainAndTheRightOneIsRememberedForThatScreen)
{
    Vesker b({{"accessPolicy", "code"}, {"accessCode", "424242"}});
    ASSERT_TRUE(b.start());
    Sender a;
    const RemoteScreen screen = typedAddress(b);
    QStringList answers {QStringLiteral("111111"), QStringLiteral("424242")};
    for (int run = 0; run < 2; ++run) {
        auto session = a.session({{.text = QString::number(run)}, {.text = "more"}}, {screen});
        QSignalSpy delivered(session.get(), &SendSession::delivered);
        QObject::connect(session.get(), &SendSession::codePromptChanged, session.get(), [&] {
            if (session->codePromptFor() && !answers.isEmpty())
                session->submitCode(answers.takeFirst());
        });
        session->setChosen(SendSession::remoteSelectionID(screen.id), true);
        EXPECT_EQ(sendAndWait(*session), State::sent);
        EXPECT_EQ(session->results(), QStringList {"Front desk: sent 2 of 2 ✓"});
        EXPECT_EQ(delivered.size(), 1) << "the sheet finishes";
    }
    EXPECT_TRUE(answers.isEmpty());
    EXPECT_EQ(b.inboxCount(), 4);
    EXPECT_EQ(a.session({})->codes().value(QStringLiteral("Front desk")), "424242");
}

TEST(SendingToAnotherScreen, UnderAskTheSenderWaitsWhileTheScreenHoldsItPending)
{
    Vesker b({{"accessPolicy", "ask"}});
    ASSERT_TRUE(b.start());
    Sender a;
    const RemoteScreen screen = typedAddress(b);
    auto session = a.session({{.text = QStringLiteral("held")}}, {screen});
    session->setChosen(SendSession::remoteSelectionID(screen.id), true);
    session->send();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return session->results().join('\n').contains(u"waiting for approval"); },
        e2e::kBoundMs));
    EXPECT_EQ(deviceStatus(b)["pending"].toInt(), 1);
    EXPECT_EQ(b.inboxCount(), 0);
    // The sheet closing mid-wait: nothing is left sending.
    session.reset();
    EXPECT_EQ(b.inboxCount(), 0);
}

TEST(SendingToAnotherScreen, FoundByItsAdvertisedNameWhileItRuns)
{
    if (qEnvironmentVariable("VESKER_TEST_SERVICES") != QLatin1String("1"))
        GTEST_SKIP() << "needs the loopback-only avahi-daemon of scripts/with-test-services";
    const QString tag = QStringLiteral(" %1-%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(QRandomGenerator::global()->bounded(100000));
    const QString name = QStringLiteral("Counter") + tag;
    const QString own = QStringLiteral("Office") + tag;
    Vesker b({{"advertiseOnNetwork", true}, {"screenName", name}});
    ASSERT_TRUE(b.start());
    // This computer's own advertisement, and a screen it shares for another: neither is offered.
    QTcpServer listening;
    ASSERT_TRUE(listening.listen(QHostAddress::LocalHost, 0));
    std::vector<std::unique_ptr<platform::DnsSdPublisher>> published;
    for (const QString& mine : {own, QStringLiteral("Kitchen via ") + own})
        published.push_back(std::make_unique<platform::DnsSdPublisher>(platform::DnsSdService {
            mine, ScreenBrowser::serviceType(), listening.serverPort(), {}}));

    ScreenBrowser browser;
    browser.setOwnName(own);
    browser.setRunning(true);
    QElapsedTimer found;
    found.start();
    browser.start();
    const auto names = [&] {
        QStringList list;
        for (const DiscoveredScreen& mac : browser.macs())
            if (mac.name.endsWith(tag))
                list.append(mac.name);
        return list;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return names().contains(name); }, 10'000));
    std::printf("[ figure ] found by name after %lld ms\n", found.elapsed());
    QTest::qWait(300); // the other two had as long to show up
    EXPECT_EQ(names(), QStringList {name});

    Sender a;
    auto session = a.session({{.text = QStringLiteral("by name")}});
    session->setDiscovered(browser.macs());
    session->setSelected({name});
    EXPECT_EQ(sendAndWait(*session), State::sent) << qPrintable(session->results().join('\n'));
    ASSERT_EQ(b.index().size(), 1);
    EXPECT_EQ(b.index()[0].toObject()["text"].toString(), "by name");

    b.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return names().isEmpty(); }, 10'000));
}

TEST(SendingToAnotherScreen, APhotoArrivesWithNothingButWhatShowsIt)
{
    Vesker b;
    ASSERT_TRUE(b.start());
    Sender a;
    const RemoteScreen screen = typedAddress(b);
    QImage picture(1600, 1200, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QByteArray jpeg = test::withEverythingAPhoneAdds(
        test::withCameraMetadata(test::imageBytes(picture, "JPEG", 90), 6),
        QColorSpace(QColorSpace::SRgb).iccProfile());
    const QByteArray png = test::withEverythingAnEditorAdds(
        test::imageBytes(picture.scaled(300, 200).convertToFormat(QImage::Format_Indexed8), "PNG"));
    int sent = 0;
    for (const PhotoSize size : allPhotoSizes()) {
        SCOPED_TRACE(toString(size).toStdString());
        a.settings().set(QString::fromLatin1(kPhotoSendSizeKey), toString(size));
        auto session = a.session(
            {{.imageURL = a.file("taken.jpg", jpeg)}, {.imageURL = a.file("chart.png", png)}},
            {screen});
        session->setChosen(SendSession::remoteSelectionID(screen.id), true);
        ASSERT_EQ(sendAndWait(*session), State::sent) << qPrintable(session->results().join('\n'));
        sent += 2;
        const QJsonArray index = b.index();
        ASSERT_EQ(index.size(), sent);
        for (const QJsonValue& item : {index[sent - 2], index[sent - 1]}) {
            const QString name = item["filename"].toString();
            const QByteArray stored = test::fileBytes(b.store("Inbox/" + name));
            ASSERT_FALSE(stored.isEmpty());
            EXPECT_FALSE(stored.contains("Ann Example")) << name.toStdString();
            EXPECT_FALSE(stored.contains("xmp/extension"));
            if (name.endsWith(".png")) {
                EXPECT_EQ(test::pngChunks(stored),
                    (QByteArrayList {"IHDR", "gAMA", "PLTE", "IDAT", "IEND"}));
                continue;
            }
            for (const auto& [marker, head] : test::jpegSegments(stored)) {
                const bool application = marker >= 0xE0 && marker <= 0xEF;
                EXPECT_TRUE(!application || head.startsWith("JFIF") || head.startsWith("Exif")
                    || head.startsWith("ICC_PROFILE") || head.startsWith("Adobe"))
                    << name.toStdString() << " APP" << marker - 0xE0;
                EXPECT_NE(marker, 0xFE) << "a comment";
            }
        }
    }
}
