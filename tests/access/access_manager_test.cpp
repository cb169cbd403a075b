#include "access/access_manager.h"
#include "platform/defaults.h"
#include "relay_manager/vouched_devices.h"
#include "support/manual_clock.h"
#include "support/temp_env.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

#include <memory>

using namespace vesker;
using namespace vesker::test;

namespace {

const QString kPhone = QStringLiteral("phone-1");
const QString kTablet = QStringLiteral("tablet-2");

class AccessManagerTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    ManualClock m_clock;
    int m_generation = 0;
    std::unique_ptr<platform::Defaults> m_defaults;
    std::unique_ptr<AccessManager> m_access;
    QStringList m_accepted; // the notes of the released uploads

    void SetUp() override { reset(); }
    void TearDown() override { clearVouchedDeviceIDs(); }

    // A fresh start: new settings file, clock back at its start, nothing vouched.
    void reset(const char* policy = "anyone")
    {
        clearVouchedDeviceIDs();
        m_clock.set(ManualClock().now());
        m_access.reset();
        m_defaults = std::make_unique<platform::Defaults>(
            m_dir.filePath(QStringLiteral("config-%1/defaults.json").arg(++m_generation)), m_clock);
        m_defaults->set("accessPolicy", policy);
        m_accepted.clear();
        reopen();
    }

    // A new manager over the same settings, as after a relaunch.
    void reopen()
    {
        m_access = std::make_unique<AccessManager>(*m_defaults, m_clock);
        QObject::connect(m_access.get(), &AccessManager::uploadAccepted,
            [this](const PendingUpload& u) { m_accepted.append(u.note); });
    }

    PendingUpload upload(const QString& deviceID, const QString& note = {}, QByteArray data = {})
    {
        return {.id = QUuid::createUuid(),
            .deviceID = deviceID,
            .deviceName = deviceID,
            .receivedAt = m_clock.now(),
            .imageData = std::move(data),
            .note = note};
    }

    void hold(const PendingUpload& u) { ASSERT_EQ(m_access->enqueue(u), std::nullopt); }

    // The stored list under `key` as JSON records, decoded from its data value.
    QJsonArray stored(const char* key) const
    {
        return QJsonDocument::fromJson(m_defaults->bytes(QLatin1String(key))).array();
    }

    QStringList asideKeys() const
    {
        const QJsonDocument file = QJsonDocument::fromJson(fileBytes(m_defaults->filePath()));
        return file.object().keys().filter(".unreadable-");
    }
};

} // namespace

TEST_F(AccessManagerTest, DecisionTable)
{
    enum class Given { none, blocked, vouched, blockedAndVouched };
    using enum Given;
    using enum AccessDecision;
    struct Row {
        const char* name;
        const char* policy;
        const char* storedCode;
        Given given;
        const char* offeredCode;
        AccessDecision expected;
        bool anonymous = false; // no device id
    };
    // The user's own devices are let in under every policy, unless blocked; an empty id is
    // among the vouched ones in every row and still vouches for nobody.
    const QList<Row> rows {
        {"unknown policy reads as anyone", "everyone", "", none, "", allow},
        {"anyone: blocked own device", "anyone", "", blockedAndVouched, "", refuse},
        {"code: own device with a wrong code", "code", "4711", vouched, "0000", allow},
        {"code: blocked own device, right code", "code", "4711", blockedAndVouched, "4711", refuse},
        {"code: no code stored", "code", "", none, "x", allow},
        {"code: trimmed on both sides", "code", " 123456 ", none, "123456\r\n", allow},
        {"code: letter case counts", "code", "AbCd", none, "abcd", refuse},
        {"code: no device id, right code", "code", "1", none, "1", allow, true},
        {"code: no device id, no code", "code", "1", none, "", refuse, true},
        {"ask: new device", "ask", "", none, "", ask},
        {"ask: no device id", "ask", "", none, "", refuse, true},
        {"ask: own device without a grant", "ask", "", vouched, "", allow},
        {"ask: blocked own device", "ask", "", blockedAndVouched, "", refuse},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset(row.policy);
        m_defaults->set("accessCode", row.storedCode);
        if (row.given == blocked || row.given == blockedAndVouched)
            m_access->block(kPhone, "Phone");
        const bool vouched = row.given == Given::vouched || row.given == blockedAndVouched;
        replaceVouchedDeviceIDs({QString(), vouched ? kPhone : QString()});
        const QString device = row.anonymous ? QString() : kPhone;
        EXPECT_EQ(toString(m_access->decide(device, row.offeredCode)), toString(row.expected));
    }
}

TEST_F(AccessManagerTest, WrongCodesCountPerAddressUntilARightOneAndLockForAMinute)
{
    reset("code");
    m_defaults->set("accessCode", "4711");
    // Without a device id: a device that has sent the right code is known, and passes.
    auto tryCode = [this](const char* code, const char* from = "192.168.1.66") {
        return toString(m_access->decide({}, QLatin1String(code), QLatin1String(from)));
    };
    // One wrong code sent again (a page polling with it) is one guess, however often.
    for (int i = 0; i < 30; ++i)
        tryCode("0000");
    EXPECT_EQ(tryCode("4711"), "allow") << "after one wrong code repeated";
    for (const int wrong : {9, 9, 10}) {
        for (int i = 0; i < wrong; ++i)
            tryCode(std::to_string(1000 + i).c_str());
        EXPECT_EQ(tryCode("4711"), wrong < 10 ? "allow" : "too-many-tries") << "after " << wrong;
    }
    EXPECT_EQ(tryCode("4711", "192.168.1.20"), "allow") << "another address";
    m_clock.advance(59);
    EXPECT_EQ(tryCode("4711"), "too-many-tries");
    m_clock.advance(1);
    EXPECT_EQ(tryCode("4711"), "allow") << "the minute is over";
}

TEST(GuessLimiter, AFloodOfAddressesCannotGrowTheTableOrFreeTheLatestGuesser)
{
    ManualClock clock;
    GuessLimiter limiter(clock);
    auto lockOut = [&](const QString& address) {
        for (int i = 0; i < GuessLimiter::kMaxWrong; ++i)
            limiter.recordWrong(address);
    };
    for (int i = 0; i < 3 * GuessLimiter::kMaxAddresses; ++i) {
        clock.advance(i % 100 == 0 ? 1 : 0);
        lockOut(QStringLiteral("fd00::%1").arg(i, 0, 16));
    }
    lockOut("192.168.1.66");
    EXPECT_LE(limiter.trackedAddresses(), GuessLimiter::kMaxAddresses);
    EXPECT_FALSE(limiter.mayTry("192.168.1.66"));
    clock.advance(GuessLimiter::kLockSeconds);
    EXPECT_TRUE(limiter.mayTry("192.168.1.66"));
}

TEST(GuessLimiter, AnIPv6NetworkCountsAsOneAddress)
{
    // Ten wrong values from `guesser` (its "%1" numbered 1 to 10), then one from `probe`.
    const struct {
        const char* guesser;
        const char* probe;
        bool lockedOut;
    } rows[] {
        {"2001:db8:1:2::%1", "2001:db8:1:2:ffff:ffff:ffff:ffff", true},
        {"2001:db8:1:2:%1::", "2001:db8:1:3::1", false},
        {"fe80::%1", "fe80::1:2:3:4", true},
        {"::ffff:192.168.1.66", "192.168.1.66", true},
        {"192.168.1.66", "::ffff:192.168.1.66", true},
        {"192.168.1.%1", "192.168.1.1", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.guesser);
        ManualClock clock;
        GuessLimiter limiter(clock);
        for (int i = 1; i <= GuessLimiter::kMaxWrong; ++i)
            limiter.recordWrong(QString::fromLatin1(row.guesser).replace("%1", QString::number(i)));
        EXPECT_EQ(limiter.mayTry(QLatin1String(row.probe)), !row.lockedOut);
    }
}

TEST_F(AccessManagerTest, PastAHundredWrongCodesAMinuteNoUnknownCodeIsCheckedUntilTheMinuteIsOver)
{
    reset("code");
    m_defaults->set("accessCode", "4711");
    m_access->approve("granted", "Granted", GrantDuration::forever);
    int address = 0; // a new one for every code
    auto send = [&](const QString& device, const char* code) {
        ++address;
        return toString(m_access->decide(device, QLatin1String(code),
            QStringLiteral("10.0.%1.%2").arg(address / 256).arg(address % 256)));
    };
    // The phone stays where it is.
    auto fromPhone = [&](const char* code, const QString& device = QStringLiteral("phone")) {
        return toString(m_access->decide(device, QLatin1String(code), "10.1.1.1"));
    };
    EXPECT_EQ(fromPhone("4711"), "allow");
    for (int i = 0; i < GuessBudget::kMaxWrong - 1; ++i)
        send({}, QByteArray::number(1000 + i).constData());
    EXPECT_EQ(send("new", "4711"), "allow") << "not yet";
    m_clock.advance(10);
    EXPECT_EQ(send({}, "0000"), "refuse");

    // For the rest of the minute since the first wrong code, no code of an unknown sender is
    // checked, right or wrong, and none is answered as wrong; the phone that gave the right
    // code is let in at once from where it gave it. A name alone, even one with a grant, is
    // no pass.
    for (int second = 10; second < GuessBudget::kWindowSeconds; ++second, m_clock.advance(1)) {
        SCOPED_TRACE(second);
        ASSERT_EQ(send({}, "0001"), "too-many-tries");
        ASSERT_EQ(send("new-2", "4711"), "too-many-tries");
        EXPECT_EQ(m_access->secondsUntilChecked("10.9.9.9"), GuessBudget::kWindowSeconds - second);
        EXPECT_EQ(fromPhone("4711"), "allow");
        EXPECT_EQ(send("phone", "4711"), "too-many-tries");
        EXPECT_EQ(send("granted", "4711"), "too-many-tries");
    }
    EXPECT_EQ(send("new-3", "4711"), "allow") << "the minute of the first wrong code is over";

    // Guesses under the phone's name from elsewhere are no more checked than any others, and
    // leave the phone let in.
    for (int i = 0; i < GuessBudget::kMaxWrong; ++i)
        send({}, QByteArray::number(2000 + i).constData());
    for (int i = 0; i < GuessLimiter::kMaxWrong + 5; ++i)
        ASSERT_EQ(send("phone", QByteArray::number(3000 + i).constData()), "too-many-tries") << i;
    EXPECT_EQ(fromPhone("4711"), "allow");
    // Another name from the phone's address has no pass of its own; a wrong code from the
    // phone itself ends its pass, as it no longer knows the code.
    EXPECT_EQ(fromPhone("4711", "other"), "too-many-tries");
    EXPECT_EQ(fromPhone("0002"), "refuse");
    EXPECT_EQ(fromPhone("4711"), "too-many-tries");
}

TEST_F(AccessManagerTest, ADeviceMovesThroughItsStates)
{
    reset("ask");
    const auto held = [&] { hold(upload(kPhone)); };
    const auto approve
        = [&](GrantDuration d) { return [=, this] { m_access->approve(kPhone, "P", d); }; };
    const std::pair<std::function<void()>, const char*> steps[] = {
        {held, "ask approved=0 denied=0 pending=1"},
        {approve(GrantDuration::once), "ask approved=0 denied=0 pending=0"},
        {[&] { approve(GrantDuration::thirtyMinutes)(), m_clock.advance(1799); },
            "allow approved=1 denied=0 pending=0"},
        {[&] { m_clock.advance(1); }, "ask approved=0 denied=0 pending=0"}, // to the second
        {[&] { held(), m_access->deny(kPhone); }, "refuse approved=0 denied=1 pending=0"},
        {approve(GrantDuration::forever), "allow approved=1 denied=0 pending=0"},
        {[&] { m_access->block(kPhone, "P"); }, "refuse approved=0 denied=1 pending=0"},
        {[&] { m_access->unblock(kPhone); }, "ask approved=0 denied=0 pending=0"}, // new again
        {[&] { m_access->deny(kPhone), held(); }, "ask approved=0 denied=0 pending=1"},
        {[&] { m_access->deny(kPhone), reopen(); }, "ask approved=0 denied=0 pending=0"},
    };
    for (const auto& [step, expected] : steps) {
        step();
        const DeviceStatus s = m_access->deviceStatus(kPhone);
        EXPECT_EQ(QStringLiteral("%1 approved=%2 denied=%3 pending=%4")
                      .arg(toString(m_access->decide(kPhone, {})))
                      .arg(s.approved)
                      .arg(s.denied)
                      .arg(s.pending),
            expected);
    }
    EXPECT_EQ(m_accepted.size(), 1);
}

TEST_F(AccessManagerTest, AnAnswerReleasesOnlyThatDevicesUploadsInOrder)
{
    reset("ask");
    for (const char* note : {"p1", "t1", "p2"})
        hold(upload(note[0] == 'p' ? kPhone : kTablet, QString::fromLatin1(note)));
    m_access->approve(kPhone, "Phone", GrantDuration::oneDay);
    EXPECT_EQ(m_accepted, (QStringList {"p1", "p2"}));
    ASSERT_EQ(m_access->pending().size(), 1);
    EXPECT_EQ(m_access->pending().first().note, QStringLiteral("t1"));
}

TEST_F(AccessManagerTest, BlockingTwiceKeepsTheFirstEntryAndDropsWaitingUploads)
{
    m_access->block(kPhone, "Phone");
    const QDateTime firstBlock = m_clock.now();
    m_clock.advance(60);
    hold(upload(kPhone, "late"));
    m_access->block(kPhone, "Phone again");
    m_access->block({}, "Nobody");

    EXPECT_EQ(m_access->blocked(), (QList<DeviceGrant> {{kPhone, "Phone", firstBlock, {}}}));
    EXPECT_EQ(stored("blockedDevices").size(), 1);
    EXPECT_TRUE(m_access->pending().isEmpty());
    EXPECT_TRUE(m_accepted.isEmpty());
    // A page still polling learns that its upload was dropped, not that it is still waiting.
    EXPECT_TRUE(m_access->deviceStatus(kPhone).denied);
}

TEST_F(AccessManagerTest, StatusOutsideAskCountsEveryDeviceAsApproved)
{
    reset("code");
    m_access->block(kPhone, "Phone");
    EXPECT_EQ(m_access->deviceStatus(kPhone), (DeviceStatus {true, true, 0}));
    m_defaults->set("accessPolicy", "ask");
    EXPECT_EQ(m_access->deviceStatus(kPhone), (DeviceStatus {false, true, 0}));
    replaceVouchedDeviceIDs({kTablet});
    EXPECT_EQ(m_access->deviceStatus(kTablet), (DeviceStatus {true, false, 0}));
}

TEST_F(AccessManagerTest, ListsSurviveARelaunchInTheirJsonForm)
{
    m_access->approve(kPhone, "Old name", GrantDuration::forever);
    m_clock.advance(60);
    // Approving again replaces the grant, its end included.
    m_access->approve(kPhone, "Ann's phone", GrantDuration::oneDay);
    m_access->approve(kTablet, "Tablet", GrantDuration::forever);
    m_access->block("bad", "Intruder");
    const QList<DeviceGrant> grants = m_access->grants();
    const QList<DeviceGrant> blocked = m_access->blocked();

    const QByteArray json = R"([
        {"deviceID": "phone-1", "name": "Ann's phone", "grantedAt": "2025-03-01T09:31:00Z",
            "expiresAt": "2025-03-02T09:31:00Z"},
        {"deviceID": "tablet-2", "name": "Tablet", "grantedAt": "2025-03-01T09:31:00Z"}])";
    EXPECT_EQ(stored("deviceGrants"), QJsonDocument::fromJson(json).array());

    m_access.reset();
    m_defaults = std::make_unique<platform::Defaults>(m_defaults->filePath(), m_clock);
    reopen();
    EXPECT_EQ(m_access->grants(), grants);
    EXPECT_EQ(m_access->blocked(), blocked);

    // A list written into the settings file by hand, as a plain array, is read too.
    m_defaults->set("blockedDevices",
        QJsonArray {QJsonObject {
            {"deviceID", kPhone}, {"name", "X"}, {"grantedAt", "2025-01-01T00:00:00Z"}}});
    reopen();
    EXPECT_EQ(m_access->decide(kPhone, {}), AccessDecision::refuse);
}

TEST_F(AccessManagerTest, UnreadableStoredListsAreKeptAsideBeforeTheyAreOverwritten)
{
    const QByteArray good = R"({"deviceID":"a","name":"A","grantedAt":"2025-01-01T00:00:00Z"})";
    const QList<std::pair<const char*, QByteArray>> rows {
        {"not JSON", "{{nope"},
        {"an object, not a list", good},
        {"one good record and one without a name",
            "[" + good + R"(,{"deviceID":"b","grantedAt":"2025-01-01T00:00:00Z"}])"},
        {"a date that is not a date", R"([{"deviceID":"a","name":"A","grantedAt":"yesterday"}])"},
        {"an end that is not a date",
            R"([{"deviceID":"a","name":"A","grantedAt":"2025-01-01T00:00:00Z","expiresAt":5}])"},
    };
    for (const char* key : {"deviceGrants", "blockedDevices"}) {
        for (const auto& [name, bytes] : rows) {
            SCOPED_TRACE(std::string(key) + ": " + name);
            reset();
            m_defaults->setBytes(QLatin1String(key), bytes);
            const QJsonValue raw = m_defaults->value(QLatin1String(key));
            reopen();
            EXPECT_TRUE(m_access->grants().isEmpty() && m_access->blocked().isEmpty());
            EXPECT_TRUE(asideKeys().isEmpty()) << "nothing is written before a save";

            m_access->approve(kPhone, "Phone", GrantDuration::forever);
            m_access->block(kTablet, "Tablet");
            const QString aside = QLatin1String(key) + ".unreadable-2025-03-01T09-30-00Z";
            EXPECT_EQ(asideKeys(), QStringList {aside});
            EXPECT_EQ(m_defaults->value(aside), raw);
            reopen();
            EXPECT_EQ(m_access->grants().size() + m_access->blocked().size(), 2);
        }
    }
}

TEST_F(AccessManagerTest, HeldUploadsAreBoundedInBytes)
{
    reset("ask");
    // One buffer shared by every upload: each counts in full, the test holds it once.
    const QByteArray photo(60 * 1024 * 1024, 'x');
    for (int i = 0; i < 8; ++i)
        hold(upload(QStringLiteral("device-%1").arg(i), {}, photo));
    EXPECT_EQ(m_access->enqueue(upload(kTablet, {}, photo)), HoldRefusal::tooManyBytes);
    hold(upload(kTablet, "a small text still fits"));
    m_access->deny("device-0");
    hold(upload(kTablet, {}, photo));
    EXPECT_EQ(m_access->enqueue(upload(kTablet, {}, photo)), HoldRefusal::tooManyBytes);
}

TEST_F(AccessManagerTest, WaitingDevicesAreBoundedButAWaitingOneMayAddMore)
{
    reset("ask");
    for (qsizetype i = 0; i < kMaxWaitingDevices; ++i)
        hold(upload(QStringLiteral("device-%1").arg(i)));
    EXPECT_EQ(m_access->enqueue(upload(kTablet)), HoldRefusal::tooManyDevices);
    hold(upload(QStringLiteral("device-0"), "a second upload of a waiting device"));
    EXPECT_EQ(m_access->waitingDevices(), kMaxWaitingDevices);
    EXPECT_EQ(m_access->pendingGroups(3).size(), 3);
    m_access->deny(QStringLiteral("device-7"));
    hold(upload(kTablet));
}

TEST_F(AccessManagerTest, AWaitingDeviceThatStopsAskingIsDroppedAndToldSo)
{
    reset("ask");
    int changes = 0;
    QObject::connect(m_access.get(), &AccessManager::pendingChanged, [&] { ++changes; });
    hold(upload(kPhone, {}, QByteArray(1 << 20, 'p')));
    hold(upload(kTablet));
    // The phone asks every half minute and keeps waiting; the tablet has gone quiet.
    for (int step = 0; step < 5; ++step) {
        m_clock.advance(30);
        m_access->devicePolled(kPhone);
        m_access->expireWaiting();
    }
    EXPECT_EQ(m_access->deviceStatus(kPhone), (DeviceStatus {false, false, 1, false}));
    EXPECT_EQ(m_access->deviceStatus(kTablet), (DeviceStatus {false, false, 0, true}));
    EXPECT_EQ(m_access->deviceStatus(kTablet).toJson().value("expired"), true);
    EXPECT_EQ(changes, 3) << "two held, one dropped";

    m_clock.advance(kWaitingExpirySeconds);
    m_access->expireWaiting();
    EXPECT_TRUE(m_access->pending().isEmpty());
    EXPECT_EQ(m_access->waitingDevices(), 0);
    // Sending again is waiting again, and an answer comes to what is held then.
    hold(upload(kTablet, "again"));
    EXPECT_FALSE(m_access->deviceStatus(kTablet).expired);
    m_access->approve(kTablet, "Tablet", GrantDuration::once);
    EXPECT_EQ(m_accepted, QStringList {"again"});
}

TEST_F(AccessManagerTest, OneAddressCannotFillWhatMayWait)
{
    reset("ask");
    const auto from = [&](const char* address, const QString& device, QByteArray data = {}) {
        PendingUpload held = upload(device, {}, std::move(data));
        held.remoteAddress = QLatin1String(address);
        return m_access->enqueue(held);
    };
    // Devices: one address fills the list, and a device of another address still gets in.
    for (qsizetype i = 0; i < kMaxWaitingDevices; ++i)
        ASSERT_EQ(from("10.0.0.1", QStringLiteral("flood-%1").arg(i)), std::nullopt);
    EXPECT_EQ(from("10.0.0.1", "flood-more"), HoldRefusal::tooManyDevices);
    EXPECT_EQ(from("10.0.0.2", kPhone), std::nullopt);
    EXPECT_EQ(m_access->waitingDevices(), kMaxWaitingDevices);
    EXPECT_TRUE(
        m_access->deviceStatus(QStringLiteral("flood-%1").arg(kMaxWaitingDevices - 1)).expired)
        << "the newest gave way";
    EXPECT_EQ(m_access->deviceStatus(kPhone).pending, 1);
    for (qsizetype i = 0; i < kMaxWaitingDevices; ++i)
        m_access->deny(QStringLiteral("flood-%1").arg(i));
    m_access->deny(kPhone);

    // Bytes: nine 60 MiB uploads of three devices from one address meet the bound, and a photo
    // from another address is held all the same, one of another host of the same IPv6 network
    // included.
    const QByteArray photo(60 * 1024 * 1024, 'x');
    int held = 0;
    for (int i = 0; i < 9; ++i)
        held += from("fd00::1", QStringLiteral("big-%1").arg(i % 3), photo) == std::nullopt;
    EXPECT_EQ(held, 9 - 1);
    EXPECT_EQ(from("fd00::2", QStringLiteral("big-9"), photo), std::nullopt);
    EXPECT_TRUE(m_access->deviceStatus(QStringLiteral("big-1")).expired) << "the newest gave way";
    EXPECT_EQ(from("192.168.1.20", kTablet, photo), std::nullopt);
    EXPECT_EQ(m_access->deviceStatus(kTablet).pending, 1);
}

TEST_F(AccessManagerTest, ANewAddressFindsRoomWhileTheAddressesAreFewerThanThePlaces)
{
    const struct {
        int addresses;
        const char* gaveWay; // the device that made room for the newcomer; none: no room
        bool secondFits; // another device from the newcomer's address
    } rows[] {{2, "device-1-255", true}, {25, "device-11-20", true}, {256, "device-255-1", false},
        {int(kMaxWaitingDevices), nullptr, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.addresses);
        reset("ask");
        const auto from = [&](int address, const QString& device) {
            PendingUpload held = upload(device);
            held.remoteAddress = QStringLiteral("10.0.%1.%2").arg(address / 256).arg(address % 256);
            return m_access->enqueue(held);
        };
        // Round by round, so that the first address also holds the oldest device.
        for (qsizetype i = 0; i < kMaxWaitingDevices; ++i) {
            const int address = int(i % row.addresses);
            ASSERT_EQ(
                from(address, QStringLiteral("device-%1-%2").arg(address).arg(i / row.addresses)),
                std::nullopt);
        }
        ASSERT_EQ(m_access->waitingDevices(), kMaxWaitingDevices);
        // Of the addresses that hold the most, the one whose newest device came last gives way;
        // an address that holds one device gives none.
        if (!row.gaveWay) {
            EXPECT_EQ(from(1000, kPhone), HoldRefusal::tooManyDevices);
            EXPECT_EQ(m_access->deviceStatus("device-0-0").pending, 1);
            continue;
        }
        EXPECT_EQ(from(1000, kPhone), std::nullopt);
        EXPECT_EQ(m_access->deviceStatus(kPhone).pending, 1);
        EXPECT_EQ(m_access->waitingDevices(), kMaxWaitingDevices);
        EXPECT_TRUE(m_access->deviceStatus(QLatin1String(row.gaveWay)).expired);
        // A second device fits only while its address holds less than its share, and another
        // address would still hold more than it after giving way.
        EXPECT_EQ(from(1000, kTablet),
            row.secondFits ? std::nullopt : std::optional(HoldRefusal::tooManyDevices));
    }
}

TEST_F(AccessManagerTest, ADeviceThatStoppedAskingGivesWayBeforeAnyThatAsks)
{
    reset("ask");
    const auto from = [&](int host, const QString& device) {
        PendingUpload held = upload(device);
        held.remoteAddress = QStringLiteral("10.0.%1.%2").arg(host / 256).arg(host % 256);
        return m_access->enqueue(held);
    };
    // Every place is taken by an address of its own; the first few stop asking, one after
    // another.
    for (int host = 0; host < kMaxWaitingDevices; ++host)
        ASSERT_EQ(from(host, QStringLiteral("device-%1").arg(host)), std::nullopt);
    for (int second = 0; second < 30; ++second) {
        m_clock.advance(1);
        for (int host = 0; host < kMaxWaitingDevices; ++host) {
            if (host >= 3 || second < 2 * host)
                m_access->devicePolled(QStringLiteral("device-%1").arg(host));
        }
    }
    // Quiet for 30, 28 and 26 seconds: the longest first, and only while one is quiet enough.
    int newcomer = 1000;
    for (const char* gone : {"device-0", "device-1", "device-2"}) {
        ASSERT_EQ(from(++newcomer, QString("new-") + gone), std::nullopt);
        EXPECT_TRUE(m_access->deviceStatus(QLatin1String(gone)).expired) << gone;
    }
    EXPECT_EQ(from(++newcomer, "one-too-many"), HoldRefusal::tooManyDevices);
    EXPECT_EQ(m_access->waitingDevices(), kMaxWaitingDevices);
}

TEST_F(AccessManagerTest, AskingKeepsAPlaceOnlyWhileTheNewestUploadIsYoung)
{
    reset("ask");
    hold(upload(kPhone));
    hold(upload(kTablet));
    const auto askFor = [&](qint64 seconds) {
        for (qint64 asked = 0; asked < seconds; asked += 2) {
            m_clock.advance(2);
            m_access->devicePolled(kPhone);
            m_access->devicePolled(kTablet);
            m_access->expireWaiting();
        }
    };
    askFor(kMaxWaitSeconds / 2);
    hold(upload(kTablet, "sent again"));
    askFor(kMaxWaitSeconds / 2 - 2);
    EXPECT_EQ(m_access->deviceStatus(kPhone).pending, 1) << "just within the limit";
    askFor(2);
    EXPECT_EQ(m_access->deviceStatus(kPhone), (DeviceStatus {false, false, 0, true}));
    EXPECT_EQ(m_access->deviceStatus(kTablet).pending, 2);
    askFor(kMaxWaitSeconds / 2);
    EXPECT_TRUE(m_access->deviceStatus(kTablet).expired);
    EXPECT_EQ(m_access->waitingDevices(), 0);
}

TEST_F(AccessManagerTest, APhoneThatAsksKeepsItsPlaceHoweverManyAddressesSendAndAsk)
{
    constexpr qsizetype kMiB = 1024 * 1024;
    const struct {
        int others; // addresses that send a new device every two seconds, and keep asking
        const char* network; // where every address is, the phones' included
        qsizetype otherBytes; // what each of their uploads holds
        qsizetype phoneBytes; // what each phone's upload holds
    } rows[] {{50, "10.0.0.%1", 0, 0}, {250, "10.0.0.%1", 0, 0}, {250, "fd00::%1", 0, 0},
        {250, "10.0.%1.1", kMiB, 4 * kMiB}, {250, "10.0.%1.1", kMiB, 8'000'000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.network) + " " + std::to_string(row.others) + " "
            + std::to_string(row.phoneBytes));
        reset("ask");
        // Buffers shared by every upload: each counts in full, the test holds it once.
        const QByteArray photo(row.otherBytes, 'o');
        const QByteArray phonePhoto(row.phoneBytes, 'p');
        const auto address = [&](int host) { return QString(row.network).arg(host); };
        const auto from = [&](int host, const QString& device, const QByteArray& data = {}) {
            PendingUpload held = upload(device, {}, data);
            held.remoteAddress = address(host);
            return m_access->enqueue(held);
        };
        ASSERT_EQ(from(1, kPhone, phonePhoto), std::nullopt);
        QStringList sent;
        qsizetype mostWaiting = 0;
        for (int second = 2; second < kMaxWaitSeconds; second += 2) {
            m_clock.advance(2);
            m_access->devicePolled(kPhone);
            m_access->devicePolled(kTablet);
            for (const QString& device : std::as_const(sent))
                m_access->devicePolled(device);
            m_access->expireWaiting();
            for (int host = 3; host < 3 + row.others; ++host) {
                sent.append(QStringLiteral("other-%1-%2").arg(host).arg(second));
                (void)from(host, sent.last(), photo);
            }
            mostWaiting = std::max(mostWaiting, m_access->waitingDevices());
            ASSERT_EQ(m_access->deviceStatus(kPhone).pending, 1) << second;
            // A phone that comes in the middle of it finds a place, and keeps it too.
            if (second == kMaxWaitSeconds / 2)
                ASSERT_EQ(from(2, kTablet, phonePhoto), std::nullopt);
            if (second > kMaxWaitSeconds / 2)
                ASSERT_EQ(m_access->deviceStatus(kTablet).pending, 1) << second;
        }
        EXPECT_LE(mostWaiting, kMaxWaitingDevices);
        EXPECT_LE(m_access->pending().size(), kMaxWaitingDevices);
        m_clock.advance(2);
        m_access->expireWaiting();
        EXPECT_TRUE(m_access->deviceStatus(kPhone).expired) << "its upload is too old to wait on";
        EXPECT_EQ(m_access->deviceStatus(kTablet).pending, 1);
    }
}

TEST_F(AccessManagerTest, WhenTheBytesRunOutOnlyWhatAnAddressCanSpareGivesWay)
{
    const QByteArray photo(60 * 1024 * 1024, 'x');
    const struct {
        const char* held; // per address, the uploads of each of its devices
        bool fits; // a 60 MiB photo from a new address
        const char* after; // each device's uploads, in the same order
    } rows[] {{"1 1 1 1 1 1 1 1", false, "1 1 1 1 1 1 1 1"}, {"8", true, "7"}, {"4,4", true, "4"},
        {"3 1,1 1 1 1", true, "3 1 1 1 1"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.held);
        reset("ask");
        const auto from = [&](int host, const QString& device) {
            PendingUpload held = upload(device, {}, photo);
            held.remoteAddress = QStringLiteral("10.0.0.%1").arg(host);
            return m_access->enqueue(held);
        };
        QStringList devices;
        const QStringList addresses = QString(row.held).split(u' ');
        for (int host = 0; host < addresses.size(); ++host) {
            const QStringList counts = addresses[host].split(u',');
            for (int d = 0; d < counts.size(); ++d) {
                devices.append(QStringLiteral("device-%1-%2").arg(host).arg(d));
                for (int i = 0; i < counts[d].toInt(); ++i)
                    ASSERT_EQ(from(host, devices.last()), std::nullopt);
            }
        }
        EXPECT_EQ(
            from(100, kPhone), row.fits ? std::nullopt : std::optional(HoldRefusal::tooManyBytes));
        QStringList after;
        for (const QString& device : std::as_const(devices)) {
            if (const qsizetype pending = m_access->deviceStatus(device).pending)
                after.append(QString::number(pending));
        }
        EXPECT_EQ(after.join(u' '), QLatin1String(row.after));
    }
}

TEST_F(AccessManagerTest, APassHoldsAtTheVeryAddressItWasEarnedAtOnly)
{
    reset("code");
    m_defaults->set("accessCode", "4711");
    const auto decide = [&](const char* address, const char* code = "4711") {
        return toString(m_access->decide(kPhone, QLatin1String(code), QLatin1String(address)));
    };
    ASSERT_EQ(decide("fd00::1"), "allow");
    ASSERT_EQ(decide("10.0.0.7"), "allow");
    for (int i = 0; i < GuessBudget::kMaxWrong; ++i) {
        m_access->decide({}, QString::number(1000 + i),
            QStringLiteral("10.1.%1.%2").arg(i / 250).arg(i % 250 + 1));
    }
    const struct {
        const char* address;
        const char* decision;
    } rows[] {{"fd00::1", "allow"}, {"fd00:0:0:0::1", "allow"}, {"::ffff:10.0.0.7", "allow"},
        {"fd00::2", "too-many-tries"}, {"10.0.0.8", "too-many-tries"}};
    for (const auto& row : rows)
        EXPECT_EQ(decide(row.address), row.decision) << row.address;
}
