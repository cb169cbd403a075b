#include "access/access_manager.h"
#include "receive/controller_fixture.h"
#include "send/send_session.h"
#include "send/uploader.h"
#include "support/camera_metadata.h"
#include "support/test_images.h"

#include <QFile>
#include <QSignalSpy>
#include <QTimer>

using namespace vesker;
using test::Screen;
using State = ScreenSender::State;

namespace {

// A screen that takes connections and never says a word.
struct SilentScreen : QTcpServer {
    SilentScreen() { listen(QHostAddress::LocalHost, 0); }
    DiscoveredScreen mac() const
    {
        return {.name = "Silent", .endpoint = {"127.0.0.1", serverPort()}};
    }
};

QImage filled(QColor colour)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

class SendSessionTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    test::ManualClock m_clock;
    platform::Defaults m_settings {m_dir.filePath(QStringLiteral("sender.json")), m_clock};
    int m_sounds = 0;

    std::unique_ptr<Uploader> uploader(const QString& device = "SENDER-1", int timeoutMs = 10'000)
    {
        return std::make_unique<Uploader>(Uploader::Options {.deviceID = device,
            .deviceName = "Desk",
            .timeoutMs = timeoutMs,
            .pollIntervalMs = 10,
            .maxPolls = 500});
    }
    std::unique_ptr<SendSession> session(Uploader& up, QList<OutgoingItem> items)
    {
        return std::make_unique<SendSession>(items,
            SendSession::Services {.defaults = m_settings,
                .uploader = &up,
                .clock = m_clock,
                .screenName = [] { return QStringLiteral("Ann's Mac"); },
                .deliveredSound = [this] { ++m_sounds; }});
    }
    QUrl file(const QString& name, const QByteArray& bytes)
    {
        QFile f(m_dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return QUrl::fromLocalFile(f.fileName());
    }
    static bool finished(const SendSession& s)
    {
        return QTest::qWaitFor([&] { return !s.isSending(); }, 15000);
    }
    static State stateOf(const SendSession& s, const QString& name)
    {
        for (const auto& status : s.statuses())
            if (status.name == name)
                return status.state;
        return State::idle;
    }
};

TEST_F(SendSessionTest, ItemsArriveAsOneGroupInOrderWithTheNoteAndSender)
{
    Screen b;
    auto up = uploader();
    const QString note = QStringLiteral("100% sûr, café\nnext line");
    const QList<OutgoingItem> items {
        {.imageURL = file(
             "taken.jpg", test::withCameraMetadata(test::imageBytes(filled(Qt::red), "JPEG"), 1))},
        {.imageURL = file("Menü 50%.PDF", "%PDF-1.4\n%%EOF\n")},
        {.text = "hello", .note = "own note"},
    };
    auto s = session(*up, items);
    s->setNote(note);
    QSignalSpy delivered(s.get(), &SendSession::delivered);
    s->setDiscovered({b.mac("B")});
    EXPECT_EQ(s->selected(), QSet<QString> {"B"}) << "a lone screen is chosen by itself";
    s->send();
    ASSERT_TRUE(finished(*s));

    EXPECT_EQ(s->results(), QStringList {"B: sent 3 of 3 ✓"});
    EXPECT_EQ(delivered.size(), 1);
    EXPECT_EQ(m_sounds, 1);
    const QList<ScreenItem> got = b.uploaded();
    ASSERT_EQ(got.size(), 3);
    const ItemKind kinds[] = {ItemKind::photo, ItemKind::pdf, ItemKind::text};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i].kind, kinds[i]);
        EXPECT_EQ(got[i].sender, "Ann's Mac");
        EXPECT_EQ(got[i].groupID, got[0].groupID);
        EXPECT_EQ(got[i].groupCount, 3);
        EXPECT_EQ(got[i].note, i == 2 ? "own note" : note);
    }
    EXPECT_FALSE(got[0].groupID.isEmpty());
    EXPECT_FALSE(got[0].lat) << "where a photo was taken goes only when allowed";
    EXPECT_EQ(got[1].originalName, "Menü 50%.PDF");
    EXPECT_EQ(got[2].text, "hello");
}

TEST_F(SendSessionTest, AHeldSendEndsAsTheScreenAnswers)
{
    Screen b(QStringLiteral("ask"));
    AccessManager& access = b.controller->access();
    const struct {
        QString device;
        std::function<void(const QString&)> answer;
        State expected;
        QString last;
    } rows[] = {
        {"APPROVED", [&](const QString& d) { access.approve(d, "Desk", GrantDuration::once); },
            State::sent, "B: sent 1 of 1 ✓"},
        {"DENIED", [&](const QString& d) { access.deny(d); }, State::declined, "B: nothing sent"},
        {"BLOCKED", [&](const QString& d) { access.block(d, "Desk"); }, State::declined,
            "B: nothing sent"},
    };
    for (const auto& row : rows) {
        auto up = uploader(row.device);
        auto s = session(*up, {{.text = row.device}});
        QObject::connect(s.get(), &SendSession::resultsChanged, s.get(), [&] {
            if (s->results() == QStringList {"B: waiting for approval…"})
                row.answer(row.device);
        });
        s->setDiscovered({b.mac("B")});
        s->send();
        ASSERT_TRUE(finished(*s));
        EXPECT_EQ(stateOf(*s, "B"), row.expected) << row.device.toStdString();
        EXPECT_EQ(s->results().first(), "B: waiting for approval…");
        EXPECT_EQ(s->results().last(), row.last);
        EXPECT_EQ(m_sounds, 0) << "a held send leaves the sheet open";
    }
    ASSERT_EQ(b.uploaded().size(), 1);
    EXPECT_EQ(b.uploaded().first().text, "APPROVED");
}

TEST_F(SendSessionTest, ASilentScreenDoesNotHoldTheOthers)
{
    Screen b;
    SilentScreen silent;
    // Long enough that B's sends are done well before it, however loaded the machine.
    auto up = uploader("SENDER-1", 5'000);
    auto s = session(*up, {{.text = "one"}, {.text = "two"}});
    s->setDiscovered({silent.mac(), b.mac("B")});
    s->setSelected({"Silent", "B"});
    s->send();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stateOf(*s, "B") == State::sent; }, 10000));
    EXPECT_EQ(stateOf(*s, "Silent"), State::running);
    EXPECT_EQ(b.uploaded().size(), 2);
    ASSERT_TRUE(finished(*s));
    EXPECT_EQ(stateOf(*s, "Silent"), State::failed);
    EXPECT_TRUE(s->results().contains("Silent: Timed out"));
}

TEST_F(SendSessionTest, EveryRefusedCodeAsksAgainUntilOneWorksOrNoneIsGiven)
{
    Screen a(QStringLiteral("code"));
    const struct {
        QStringList typed; // answers in turn; past the last, the prompt is dismissed
        QStringList results;
        State state;
    } rows[] = {
        {{"424242"}, {"A: sent 2 of 2 ✓"}, State::sent},
        {{"", " 99 ", "424242"}, {"A: sent 2 of 2 ✓"}, State::sent},
        {{"1"}, {"A: needs an access code"}, State::failed},
    };
    int sounds = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed.join(',').toStdString());
        m_settings.remove(QString::fromLatin1(SendSession::kCodesKey));
        auto up = uploader();
        auto s = session(*up, {{.text = "one"}, {.text = "two"}});
        QSignalSpy delivered(s.get(), &SendSession::delivered);
        int asked = 0;
        QObject::connect(s.get(), &SendSession::codePromptChanged, s.get(), [&] {
            if (!s->codePromptFor())
                return;
            EXPECT_EQ(s->results().count("A: needs an access code"), 1);
            EXPECT_EQ(s->codeInput(), asked == 0 ? QString() : row.typed.at(asked - 1))
                << "the code last given is offered";
            // Answered once the signal is done with, as the sheet's field would be.
            QTimer::singleShot(0, s.get(), [&, n = asked] {
                if (n < row.typed.size())
                    s->submitCode(row.typed.at(n));
                else
                    s->dismissCodePrompt();
            });
            ++asked;
        });
        s->setDiscovered({a.mac("A")});
        s->send();
        ASSERT_TRUE(QTest::qWaitFor([&] { return stateOf(*s, "A") == row.state; }, 15000));
        ASSERT_TRUE(finished(*s));
        EXPECT_EQ(asked, row.state == State::sent ? row.typed.size() : row.typed.size() + 1);
        EXPECT_EQ(s->results(), row.results);
        sounds += row.state == State::sent;
        EXPECT_EQ(m_sounds, sounds);
        EXPECT_EQ(delivered.size(), row.state == State::sent ? 1 : 0);
    }
    EXPECT_EQ(a.uploaded().size(), 4);
}

TEST_F(SendSessionTest, TheSheetClosesByWhatEachScreenGotNotByTheNamesInItsLines)
{
    Screen b;
    QTcpServer gone;
    ASSERT_TRUE(gone.listen(QHostAddress::LocalHost, 0));
    const DiscoveredScreen refusing {.name = "Lab ✓", .endpoint = {"127.0.0.1", gone.serverPort()}};
    gone.close();
    auto up = uploader();
    auto s = session(*up, {{.text = "hello"}});
    QSignalSpy delivered(s.get(), &SendSession::delivered);
    s->setDiscovered({refusing, b.mac("50%2 off")});
    s->setSelected({"Lab ✓", "50%2 off"});
    s->send();
    ASSERT_TRUE(finished(*s));

    EXPECT_EQ(stateOf(*s, "Lab ✓"), State::failed);
    EXPECT_TRUE(s->results().contains("Lab ✓: nothing sent"))
        << s->results().join('\n').toStdString();
    EXPECT_TRUE(s->results().contains("50%2 off: sent 1 of 1 ✓"))
        << s->results().join('\n').toStdString();
    EXPECT_EQ(delivered.size(), 0) << "a send that failed somewhere leaves the sheet open";
    EXPECT_EQ(m_sounds, 0);
}
