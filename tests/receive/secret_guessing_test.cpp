// Guessing at one secret (the access code, the viewer PIN, a hosted screen's PIN) from many
// addresses at once: the senders and viewers of every other secret go on as before, and a
// sender that gave a secret keeps its pass from where it gave it.
#include "controller_fixture.h"

#include "access/guess_limiter.h"
#include "support/free_port.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

using namespace vesker;
using namespace vesker::test;

namespace {

enum class Road {
    mainUpload, // POST /text with the access code
    mainPage, // the browser screen's item list with the access code
    viewerAction, // Got it on the browser screen: the access code and the viewer PIN
    teamUpload, // POST /s/team/text with Team's PIN
    teamPage, // Team's browser page with its PIN
    shopUpload, // POST /s/shop/text with Shop's PIN
};

class SecretGuessingTest : public ControllerTest {
protected:
    std::unique_ptr<ServerController> m_controller;
    ScreenItem m_item;
    int m_nextAddress = 0;

    void SetUp() override
    {
        m_defaults.set("accessPolicy", "code");
        m_defaults.set("accessCode", "428913");
        m_defaults.set("allowBrowserScreens", true);
        m_defaults.set("viewerPIN", "2468");
        const auto hosted = [](const char* id, const char* name, const char* pin) {
            return QJsonObject {{"id", id}, {"name", name}, {"slug", QString(name).toLower()},
                {"pin", pin}, {"port", freePort()}, {"requirePinToSend", true},
                {"allowBrowserScreen", true}};
        };
        m_defaults.set("hostedScreens",
            QJsonArray {hosted("6F9619FF-8B86-D011-B42D-00C04FC964FF", "Team", "4321"),
                hosted("7F9619FF-8B86-D011-B42D-00C04FC964FF", "Shop", "8765")});
        m_controller = makeController();
        m_item.id = QUuid::createUuid();
        m_item.receivedAt = m_clock.now();
        m_item.kind = ItemKind::text;
        m_item.text = "hello";
        m_store.append(m_item);
    }

    // The hosted screens' stores are under this process's home, where later tests look.
    void TearDown() override
    {
        m_controller.reset();
        for (const char* slug : {"team", "shop"})
            QDir(ItemStore::defaultRoot() + "/Hosted/" + slug).removeRecursively();
    }

    // A new address for every new sender, so that no address is locked out on its own.
    QString freshAddress()
    {
        ++m_nextAddress;
        return QStringLiteral("10.1.%1.%2").arg(m_nextAddress / 250).arg(m_nextAddress % 250 + 1);
    }

    // `value` for the road's one secret; the viewer's action also carries the right code.
    int send(Road road, const QString& value, const QString& from, const QString& device = {})
    {
        HTTPRequest request;
        request.remoteAddress = from;
        request.method = "POST";
        request.body = "hello";
        if (!device.isEmpty())
            request.headers.insert("x-device", device);
        switch (road) {
        case Road::mainUpload:
            request.path = "/text";
            request.headers.insert("x-code", value);
            break;
        case Road::mainPage:
            request.method = "GET";
            request.path = "/api/items";
            request.query.insert("code", value);
            break;
        case Road::viewerAction:
            request.path = "/api/ack";
            request.query = {{"code", "428913"}, {"pin", value},
                {"id", m_item.id.toString(QUuid::WithoutBraces)}};
            break;
        case Road::teamUpload:
        case Road::shopUpload:
            request.path = road == Road::teamUpload ? "/s/team/text" : "/s/shop/text";
            request.headers.insert("x-code", value);
            break;
        case Road::teamPage:
            request.method = "GET";
            request.path = "/s/team/api/items";
            request.query.insert("code", value);
            break;
        }
        return route(*m_controller, request).status;
    }

    static QString rightValue(Road road)
    {
        switch (road) {
        case Road::mainUpload:
        case Road::mainPage:
            return "428913";
        case Road::viewerAction:
            return "2468";
        case Road::teamUpload:
        case Road::teamPage:
            return "4321";
        case Road::shopUpload:
            return "8765";
        }
        return {};
    }
};

} // namespace

TEST_F(SecretGuessingTest, AGuessingFloodAtTheMainCodeLeavesAHostedScreensPhonesSending)
{
    const QString phone = "10.0.0.50";
    ASSERT_EQ(send(Road::teamUpload, "4321", phone, "PHONE-1"), 200);

    // For eight seconds, twenty addresses guess the main code, none often enough to be locked
    // out on its own.
    int wrong = 0;
    int notChecked = 0;
    for (int second = 0; second < 8; ++second, m_clock.advance(1)) {
        for (int host = 1; host <= 20; ++host) {
            const int status = send(Road::mainUpload, QString::number(100000 + second * 20 + host),
                QStringLiteral("10.0.9.%1").arg(host));
            ASSERT_TRUE(status == 401 || status == 429) << status;
            (status == 401 ? wrong : notChecked) += 1;
        }
    }
    EXPECT_EQ(wrong, GuessBudget::kMaxWrong);
    EXPECT_EQ(notChecked, 8 * 20 - GuessBudget::kMaxWrong);

    EXPECT_EQ(send(Road::teamUpload, "4321", phone, "PHONE-1"), 200) << "the phone that sent";
    EXPECT_EQ(send(Road::teamUpload, "4321", "10.0.0.51", "PHONE-2"), 200) << "a new phone";
    EXPECT_EQ(send(Road::teamPage, "4321", "10.0.0.52"), 200) << "a new viewer";
    // The main code itself is checked no more than its budget allows.
    EXPECT_EQ(send(Road::mainUpload, "100999", "10.0.0.53"), 429);
    EXPECT_EQ(send(Road::mainUpload, "428913", "10.0.0.54", "PHONE-3"), 429);
}

TEST_F(SecretGuessingTest, EachSecretHasABudgetOfItsOwn)
{
    // Which secrets each road checks for a sender it has not seen.
    const QMap<Road, QList<Road>> checks {{Road::mainUpload, {Road::mainUpload}},
        {Road::mainPage, {Road::mainUpload}},
        {Road::viewerAction, {Road::mainUpload, Road::viewerAction}},
        {Road::teamUpload, {Road::teamUpload}}, {Road::teamPage, {Road::teamUpload}},
        {Road::shopUpload, {Road::shopUpload}}};
    const QList<Road> roads = checks.keys();
    const QList<Road> guessed {
        Road::mainUpload, Road::mainPage, Road::viewerAction, Road::teamUpload, Road::teamPage};
    for (const Road flooded : guessed) {
        SCOPED_TRACE(int(flooded));
        m_clock.advance(GuessBudget::kWindowSeconds + 1);
        // More wrong values than the budget, each from an address of its own.
        for (int i = 0; i < GuessBudget::kMaxWrong + 20; ++i)
            send(flooded, QString::number(500000 + i), freshAddress());
        EXPECT_EQ(send(flooded, "0", freshAddress()), 429) << "past its budget";
        for (const Road road : roads) {
            const Road secret = checks[flooded].last();
            const bool shut = checks[road].contains(secret);
            EXPECT_EQ(send(road, rightValue(road), freshAddress(), "NEW-PHONE"), shut ? 429 : 200)
                << "road " << int(road);
        }
    }
}

TEST_F(SecretGuessingTest, APhoneThatGaveAHostedPinKeepsSendingWhileItIsGuessed)
{
    const QString phone = "10.0.0.50";
    ASSERT_EQ(send(Road::teamUpload, "4321", phone, "PHONE-1"), 200);
    ASSERT_EQ(send(Road::teamPage, "4321", phone), 200);
    for (int i = 0; i < GuessBudget::kMaxWrong; ++i)
        send(Road::teamUpload, QString::number(5000 + i), freshAddress());

    EXPECT_EQ(send(Road::teamUpload, "4321", phone, "PHONE-1"), 200);
    EXPECT_EQ(send(Road::teamPage, "4321", phone), 200) << "its page, from where it was opened";
    // Its name from elsewhere, or another name from its address, is no pass.
    EXPECT_EQ(send(Road::teamUpload, "4321", "10.0.0.51", "PHONE-1"), 429);
    EXPECT_EQ(send(Road::teamUpload, "4321", phone, "PHONE-2"), 429);
    // A wrong PIN from the phone is checked, and ends its pass.
    EXPECT_EQ(send(Road::teamUpload, "1111", phone, "PHONE-1"), 401);
    EXPECT_EQ(send(Road::teamUpload, "4321", phone, "PHONE-1"), 429);
    // The main screen's phones never noticed.
    EXPECT_EQ(send(Road::mainUpload, "428913", "10.0.0.52", "PHONE-3"), 200);
}
