#include "receive/controller_fixture.h"
#include "send/send_sheet.h"
#include "send/uploader.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpSocket>

using namespace vesker;
using test::Screen;

namespace {

QStringList shownResults(const SendSheet& sheet)
{
    QStringList lines;
    for (const QLabel* label : sheet.findChildren<QLabel*>(QStringLiteral("sendResultLine")))
        lines.append(label->text());
    return lines;
}

} // namespace

class SendSheetTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    test::ManualClock m_clock;
    platform::Defaults m_settings {m_dir.filePath(QStringLiteral("sender.json")), m_clock};
    Uploader m_uploader {{.deviceID = "SENDER-1", .deviceName = "Desk", .pollIntervalMs = 10}};
    QStringList m_picked;
    int m_sounds = 0;

    std::unique_ptr<SendSheet> sheet(const QList<OutgoingItem>& items)
    {
        auto made = std::make_unique<SendSheet>(items,
            SendSheet::Services {.session = {.defaults = m_settings,
                                     .uploader = &m_uploader,
                                     .clock = m_clock,
                                     .screenName = [] { return QStringLiteral("Desk"); },
                                     .deliveredSound = [this] { ++m_sounds; }},
                .discover = false,
                .pickFiles = [this](QWidget*) { return m_picked; }});
        made->show();
        return made;
    }
    QString photo()
    {
        const QString path = m_dir.filePath(QStringLiteral("photo.png"));
        QImage image(32, 24, QImage::Format_RGB32);
        image.fill(Qt::red);
        image.save(path);
        return path;
    }
};

TEST_F(SendSheetTest, APhotoAndATextReachTheScreenInOrder)
{
    Screen b(QStringLiteral("anyone"));
    m_picked = {photo()};
    auto s = sheet({});
    s->findChild<QPushButton*>(QStringLiteral("sendAddPhotos"))->click();
    QTest::keyClicks(s->findChild<QLineEdit*>(QStringLiteral("sendTextDraft")), "hello there");
    s->session().setDiscovered({{.name = "B", .endpoint = {"127.0.0.1", b.port()}}});
    auto* send = s->findChild<QPushButton*>(QStringLiteral("sendButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return send->isEnabled(); }, 1000));
    EXPECT_EQ(send->text(), "Send 2 items");
    send->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !s->session().isSending(); }, 15000));
    EXPECT_EQ(shownResults(*s), QStringList {"B: sent 2 of 2 ✓"});
    EXPECT_EQ(s->findChild<QPushButton*>(QStringLiteral("sendCancel"))->text(), "Cancel");
    const QList<ScreenItem> got = b.uploaded();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].kind, ItemKind::photo);
    EXPECT_EQ(got[1].text, "hello there");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !s->isVisible(); }, 3000))
        << "the sheet closes once everything arrived";
}

TEST_F(SendSheetTest, ReturnInTheTextFieldAddsTheTextAndKeepsTheSheetOpen)
{
    Screen b(QStringLiteral("anyone"));
    auto s = sheet({{.text = "first"}, {.text = "second"}});
    s->session().setDiscovered({{.name = "B", .endpoint = {"127.0.0.1", b.port()}}});
    auto* send = s->findChild<QPushButton*>(QStringLiteral("sendButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return send->isEnabled(); }, 1000));
    auto* field = s->findChild<QLineEdit*>(QStringLiteral("sendTextDraft"));
    field->setFocus();
    QTest::keyClicks(field, "third");
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClicks(field, "fourth");
    QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
    QApplication::processEvents();

    EXPECT_TRUE(s->isVisible());
    EXPECT_FALSE(s->session().isSending());
    ASSERT_EQ(s->session().items().size(), 4);
    EXPECT_EQ(s->session().items().last().text, "fourth");
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_TRUE(b.uploaded().isEmpty());

    // Nothing typed: Return is "Send 4 items", the sheet's default button.
    ASSERT_TRUE(send->isDefault());
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.uploaded().size() == 4; }, 15000));
}

TEST_F(SendSheetTest, AWrongCodeIsAskedAgainAndTheRightOneFinishesTheSheet)
{
    Screen locked(QStringLiteral("code"));
    Screen open(QStringLiteral("anyone"));
    auto s = sheet({{.text = "first"}, {.text = "second"}});
    s->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.get()));
    s->session().setDiscovered({locked.mac("Locked"), open.mac("Open")});
    s->session().setSelected({"Locked", "Open"});
    s->findChild<QPushButton*>(QStringLiteral("sendButton"))->click();

    auto* prompt = s->findChild<QWidget*>(QStringLiteral("codePrompt"));
    auto* field = s->findChild<QLineEdit*>(QStringLiteral("codeField"));
    const auto askedWith = [&](const QString& offered) {
        return QTest::qWaitFor(
            [&] { return prompt->isVisible() && field->text() == offered; }, 15000);
    };
    ASSERT_TRUE(askedWith(QString()));
    EXPECT_TRUE(locked.uploaded().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return open.uploaded().size() == 2; }, 15000))
        << "the screen without a code does not wait for the prompt";
    ASSERT_TRUE(field->hasFocus());

    // Typed and answered with Return, as a person at the keyboard does.
    for (const QString& wrong : {QStringLiteral("111111"), QString()}) {
        SCOPED_TRACE(wrong.toStdString());
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, wrong);
        QTest::keyClick(field, Qt::Key_Return);
        ASSERT_TRUE(askedWith(wrong)) << "a refused code is asked for again";
        EXPECT_EQ(s->session().results().count("Locked: needs an access code"), 1);
        EXPECT_TRUE(s->isVisible());
    }

    QTest::keyClicks(field, "424242");
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s->isVisible(); }, 15000))
        << "the sheet closes once everything arrived: "
        << s->session().results().join(" | ").toStdString();
    EXPECT_EQ(shownResults(*s), (QStringList {"Locked: sent 2 of 2 ✓", "Open: sent 2 of 2 ✓"}));
    EXPECT_EQ(m_sounds, 1);
    ASSERT_EQ(locked.uploaded().size(), 2);
    EXPECT_EQ(locked.uploaded()[0].text, "first");
    EXPECT_EQ(locked.uploaded()[1].text, "second");
    EXPECT_EQ(open.uploaded().size(), 2) << "nothing went twice to the screen without a code";
    EXPECT_EQ(s->session().codes().value("Locked"), "424242");
}

TEST_F(SendSheetTest, ClosingMidSendLeavesNoJobAndNoConnection)
{
    // A screen that takes the connection and never answers keeps the send going.
    QTcpServer silent;
    silent.listen(QHostAddress::LocalHost, 0);
    auto s = sheet({{.text = "waiting"}});
    s->session().setDiscovered(
        {{.name = "Silent", .endpoint = {"127.0.0.1", silent.serverPort()}}});
    s->findChild<QPushButton*>(QStringLiteral("sendButton"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.hasPendingConnections(); }, 5000));
    QTcpSocket* upload = silent.nextPendingConnection();
    EXPECT_GT(s->session().activeJobs(), 0);

    s->findChild<QPushButton*>(QStringLiteral("sendCancel"))->click();
    EXPECT_FALSE(s->isVisible());
    EXPECT_EQ(s->session().activeJobs(), 0);
    EXPECT_FALSE(s->session().isSending());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return upload->state() == QAbstractSocket::UnconnectedState; }, 5000));
}

TEST_F(SendSheetTest, CtrlVAddsTheClipboardOnlyOutsideTheTextFields)
{
    auto s = sheet({});
    s->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.get()));
    auto* note = s->findChild<QLineEdit*>(QStringLiteral("sendNote"));
    auto* button = s->findChild<QPushButton*>(QStringLiteral("sendAddPhotos"));
    QApplication::clipboard()->setText(QStringLiteral("  from the clipboard "));

    note->setFocus();
    QTest::keyClick(note, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(note->text(), "  from the clipboard ") << "the field pastes into itself";
    EXPECT_TRUE(s->items().isEmpty());

    button->setFocus();
    QTest::keyClick(button, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(s->items().size(), 1);
    EXPECT_EQ(s->items().first().text, "from the clipboard");

    QApplication::clipboard()->clear();
    QTest::keyClick(button, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(s->items().size(), 1);
    EXPECT_EQ(shownResults(*s),
        QStringList {"Nothing on the clipboard I can send (image, image file or text)."});
}
