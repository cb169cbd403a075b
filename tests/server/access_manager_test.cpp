#include "platform/defaults.h"
#include "relay_manager/vouched_devices.h"
#include "server/access_manager.h"
#include "support/manual_clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
    QList<PendingUpload> m_accepted;
    int m_pendingCalls = 0;

    void SetUp() override { reset(); }
    void TearDown() override { clearVouchedDeviceIDs(); }

    // A fresh start: new settings file, clock back at its start, nothing vouched.
    void reset()
    {
        clearVouchedDeviceIDs();
        m_clock.set(ManualClock().now());
        m_access.reset();
        m_defaults = std::make_unique<platform::Defaults>(
            m_dir.filePath(QStringLiteral("config-%1/defaults.json").arg(++m_generation)), nullptr,
            &m_clock);
        m_accepted.clear();
        m_pendingCalls = 0;
        reopen();
    }

    // A new manager over the same settings, as after a relaunch.
    void reopen()
    {
        m_access = std::make_unique<AccessManager>(*m_defaults, m_clock);
        m_access->onAccepted = [this](const PendingUpload& u) { m_accepted.append(u); };
        m_access->onPendingChanged = [this] { ++m_pendingCalls; };
    }

    void setPolicy(const char* raw) { m_defaults->set(QStringLiteral("accessPolicy"), raw); }
    void setCode(const QString& code) { m_defaults->set(QStringLiteral("accessCode"), code); }

    PendingUpload upload(const QString& deviceID, const QString& note = {}, QByteArray data = {})
    {
        PendingUpload u;
        u.id = QUuid::createUuid();
        u.deviceID = deviceID;
        u.deviceName = deviceID + QStringLiteral(" name");
        u.receivedAt = m_clock.now();
        u.note = note;
        u.imageData = std::move(data);
        return u;
    }

    void hold(const PendingUpload& u) { ASSERT_EQ(m_access->enqueue(u), std::nullopt); }

    QStringList acceptedNotes() const
    {
        QStringList notes;
        for (const PendingUpload& u : m_accepted)
            notes.append(u.note);
        return notes;
    }

    // The stored list under `key` as JSON records, decoded from its data value.
    QJsonArray stored(const char* key) const
    {
        return QJsonDocument::fromJson(m_defaults->bytes(QLatin1String(key))).array();
    }

    QStringList asideKeys() const
    {
        QFile file(m_defaults->filePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList keys = QJsonDocument::fromJson(file.readAll()).object().keys();
        keys.removeIf([](const QString& k) { return !k.contains(QStringLiteral(".unreadable-")); });
        return keys;
    }
};

enum class Given {
    none,
    blocked,
    vouched,
    blockedAndVouched,
    liveGrant,
    expiredGrant,
    forever,
    declined
};

struct DecisionRow {
    const char* name;
    const char* policy; // nullptr: not stored
    QString storedCode;
    Given given;
    QString deviceID;
    QString offeredCode;
    AccessDecision expected;
};

} // namespace

TEST_F(AccessManagerTest, DecisionTable)
{
    const QString dev = kPhone;
    const QList<DecisionRow> rows {
        {"no policy stored reads as anyone", nullptr, {}, Given::none, dev, {},
            AccessDecision::allow},
        {"unknown policy reads as anyone", "everyone", {}, Given::none, dev, {},
            AccessDecision::allow},
        {"anyone: new device", "anyone", {}, Given::none, dev, {}, AccessDecision::allow},
        {"anyone: no device id", "anyone", {}, Given::none, {}, {}, AccessDecision::allow},
        {"anyone: blocked", "anyone", {}, Given::blocked, dev, {}, AccessDecision::refuse},
        {"anyone: blocked beats own device", "anyone", {}, Given::blockedAndVouched, dev, {},
            AccessDecision::refuse},
        {"code: own device with a wrong code", "code", QStringLiteral("4711"), Given::vouched, dev,
            QStringLiteral("0000"), AccessDecision::allow},
        {"code: no code stored", "code", {}, Given::none, dev, QStringLiteral("x"),
            AccessDecision::allow},
        {"code: only spaces stored", "code", QStringLiteral("  \t"), Given::none, dev, {},
            AccessDecision::allow},
        {"code: trimmed on both sides", "code", QStringLiteral(" 123456 "), Given::none, dev,
            QStringLiteral("123456\r\n"), AccessDecision::allow},
        {"code: letter case counts", "code", QStringLiteral("AbCd"), Given::none, dev,
            QStringLiteral("abcd"), AccessDecision::refuse},
        {"code: wrong code", "code", QStringLiteral("123456"), Given::none, dev,
            QStringLiteral("123457"), AccessDecision::refuse},
        {"code: blocked with the right code", "code", QStringLiteral("1"), Given::blocked, dev,
            QStringLiteral("1"), AccessDecision::refuse},
        {"code: no device id, right code", "code", QStringLiteral("1"), Given::none, {},
            QStringLiteral("1"), AccessDecision::allow},
        {"code: no device id, no code", "code", QStringLiteral("1"), Given::none, {}, {},
            AccessDecision::refuse},
        {"ask: new device", "ask", {}, Given::none, dev, {}, AccessDecision::ask},
        {"ask: no device id", "ask", {}, Given::none, {}, {}, AccessDecision::refuse},
        {"ask: own device without a grant", "ask", {}, Given::vouched, dev, {},
            AccessDecision::allow},
        {"ask: live grant", "ask", {}, Given::liveGrant, dev, {}, AccessDecision::allow},
        {"ask: expired grant", "ask", {}, Given::expiredGrant, dev, {}, AccessDecision::ask},
        {"ask: grant without end", "ask", {}, Given::forever, dev, {}, AccessDecision::allow},
        {"ask: declined", "ask", {}, Given::declined, dev, {}, AccessDecision::refuse},
        {"ask: blocked", "ask", {}, Given::blocked, dev, {}, AccessDecision::refuse},
    };
    for (const DecisionRow& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        if (row.policy)
            setPolicy(row.policy);
        setCode(row.storedCode);
        switch (row.given) {
        case Given::none:
            break;
        case Given::blocked:
            m_access->block(dev, QStringLiteral("Phone"));
            break;
        case Given::vouched:
            replaceVouchedDeviceIDs({dev});
            break;
        case Given::blockedAndVouched:
            m_access->block(dev, QStringLiteral("Phone"));
            replaceVouchedDeviceIDs({dev});
            break;
        case Given::liveGrant:
            m_access->approve(dev, QStringLiteral("Phone"), GrantDuration::thirtyMinutes);
            m_clock.advance(60);
            break;
        case Given::expiredGrant:
            m_access->approve(dev, QStringLiteral("Phone"), GrantDuration::thirtyMinutes);
            m_clock.advance(7200);
            break;
        case Given::forever:
            m_access->approve(dev, QStringLiteral("Phone"), GrantDuration::forever);
            m_clock.advance(10LL * 365 * 86400);
            break;
        case Given::declined:
            m_access->deny(dev);
            break;
        }
        EXPECT_EQ(
            toString(m_access->decide(row.deviceID, row.offeredCode)), toString(row.expected));
    }
}

TEST_F(AccessManagerTest, CodeIsRequiredOnlyUnderCodeWithACodeSet)
{
    struct Row {
        const char* policy;
        QString code;
        bool required;
    };
    for (const Row& row : {Row {"code", QStringLiteral(" 042 \n"), true},
             Row {"code", QStringLiteral(" \n"), false}, Row {"ask", QStringLiteral("042"), false},
             Row {"anyone", QStringLiteral("042"), false}}) {
        SCOPED_TRACE(row.policy);
        setPolicy(row.policy);
        setCode(row.code);
        EXPECT_EQ(m_access->codeRequired(), row.required);
        EXPECT_EQ(m_access->accessCode(), row.code.trimmed());
    }
}

TEST_F(AccessManagerTest, GrantsLastTheirDurationToTheSecond)
{
    struct Row {
        GrantDuration duration;
        qint64 seconds;
    };
    for (const Row& row :
        {Row {GrantDuration::thirtyMinutes, 1800}, Row {GrantDuration::oneDay, 86400}}) {
        SCOPED_TRACE(toString(row.duration).toStdString());
        reset();
        setPolicy("ask");
        m_access->approve(kPhone, QStringLiteral("Phone"), row.duration);
        m_clock.advance(row.seconds - 1);
        EXPECT_EQ(m_access->decide(kPhone, {}), AccessDecision::allow);
        EXPECT_TRUE(m_access->deviceStatus(kPhone).approved);
        m_clock.advance(1);
        EXPECT_EQ(m_access->decide(kPhone, {}), AccessDecision::ask);
        EXPECT_FALSE(m_access->deviceStatus(kPhone).approved);
        // Expired grants stay listed until pruned.
        ASSERT_EQ(m_access->grants().size(), 1);
        EXPECT_EQ(m_access->grants().first().expiryText(m_clock.now()), QStringLiteral("Expired"));
    }
}

TEST_F(AccessManagerTest, OnceReleasesTheHeldUploadsAndStoresNothing)
{
    setPolicy("ask");
    hold(upload(kPhone, QStringLiteral("first")));
    m_access->approve(kPhone, QStringLiteral("Phone"), GrantDuration::once);

    EXPECT_EQ(acceptedNotes(), QStringList {QStringLiteral("first")});
    EXPECT_TRUE(m_access->grants().isEmpty());
    EXPECT_FALSE(m_defaults->contains(QStringLiteral("deviceGrants")));
    EXPECT_EQ(m_access->decide(kPhone, {}), AccessDecision::ask);
}

TEST_F(AccessManagerTest, ADeviceMovesThroughItsStates)
{
    setPolicy("ask");
    auto state = [this] {
        const DeviceStatus s = m_access->deviceStatus(kPhone);
        return QStringLiteral("%1 approved=%2 denied=%3 pending=%4")
            .arg(toString(m_access->decide(kPhone, {})))
            .arg(s.approved)
            .arg(s.denied)
            .arg(s.pending)
            .toStdString();
    };
    EXPECT_EQ(state(), "ask approved=0 denied=0 pending=0") << "new";
    hold(upload(kPhone));
    EXPECT_EQ(state(), "ask approved=0 denied=0 pending=1") << "waiting";
    m_access->approve(kPhone, QStringLiteral("Phone"), GrantDuration::thirtyMinutes);
    EXPECT_EQ(state(), "allow approved=1 denied=0 pending=0") << "approved";
    m_clock.advance(1800);
    EXPECT_EQ(state(), "ask approved=0 denied=0 pending=0") << "expired";
    hold(upload(kPhone));
    m_access->deny(kPhone);
    EXPECT_EQ(state(), "refuse approved=0 denied=1 pending=0") << "declined";
    EXPECT_TRUE(m_access->grants().isEmpty()) << "declining forgets the grant";
    m_access->approve(kPhone, QStringLiteral("Phone"), GrantDuration::forever);
    EXPECT_EQ(state(), "allow approved=1 denied=0 pending=0") << "approving clears the decline";
    m_access->block(kPhone, QStringLiteral("Phone"));
    EXPECT_EQ(state(), "refuse approved=0 denied=1 pending=0") << "blocked";
    EXPECT_TRUE(m_access->grants().isEmpty()) << "blocking forgets the grant";
    m_access->unblock(kPhone);
    EXPECT_EQ(state(), "ask approved=0 denied=0 pending=0") << "unblocked is new again";
    EXPECT_TRUE(m_access->blocked().isEmpty());

    m_access->deny(kPhone);
    reopen();
    EXPECT_EQ(state(), "ask approved=0 denied=0 pending=0") << "a relaunch forgets declines";
}

TEST_F(AccessManagerTest, HeldUploadsAreReleasedInOrderOrDropped)
{
    enum class Answer { approve, deny, block };
    for (Answer answer : {Answer::approve, Answer::deny, Answer::block}) {
        SCOPED_TRACE(static_cast<int>(answer));
        reset();
        setPolicy("ask");
        QSignalSpy published(m_access.get(), &AccessManager::pendingChanged);
        hold(upload(kPhone, QStringLiteral("p1")));
        hold(upload(kTablet, QStringLiteral("t1")));
        hold(upload(kPhone, QStringLiteral("p2")));
        EXPECT_EQ(m_pendingCalls, 3);
        EXPECT_EQ(published.size(), 3);
        m_pendingCalls = 0;

        switch (answer) {
        case Answer::approve:
            m_access->approve(kPhone, QStringLiteral("Phone"), GrantDuration::oneDay);
            EXPECT_EQ(acceptedNotes(), (QStringList {QStringLiteral("p1"), QStringLiteral("p2")}));
            break;
        case Answer::deny:
            m_access->deny(kPhone);
            EXPECT_TRUE(m_accepted.isEmpty());
            break;
        case Answer::block:
            m_access->block(kPhone, QStringLiteral("Phone"));
            EXPECT_TRUE(m_accepted.isEmpty());
            break;
        }
        EXPECT_EQ(m_pendingCalls, 1);
        EXPECT_EQ(published.size(), 4);
        ASSERT_EQ(m_access->pending().size(), 1);
        EXPECT_EQ(m_access->pending().first().note, QStringLiteral("t1"));
        EXPECT_EQ(m_access->deviceStatus(kPhone).pending, 0);
    }
}

TEST_F(AccessManagerTest, PendingGroupsFollowEachDevicesFirstUpload)
{
    PendingUpload t1 = upload(kTablet, QStringLiteral("t1"));
    PendingUpload p1 = upload(kPhone, QStringLiteral("p1"));
    PendingUpload t2 = upload(kTablet, QStringLiteral("t2"));
    t2.deviceName = QStringLiteral("renamed since");
    for (const PendingUpload& u : {t1, p1, t2})
        hold(u);

    const QList<PendingGroup> groups = m_access->pendingGroups();
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(groups[0].deviceID, kTablet);
    EXPECT_EQ(groups[0].deviceName, t1.deviceName);
    EXPECT_EQ(groups[0].uploads, (QList<PendingUpload> {t1, t2}));
    EXPECT_EQ(groups[1].deviceID, kPhone);
    EXPECT_EQ(groups[1].uploads, QList<PendingUpload> {p1});
}

TEST_F(AccessManagerTest, BlockingTwiceKeepsOneEntryAndStillDropsUploads)
{
    QSignalSpy published(m_access.get(), &AccessManager::blockedChanged);
    m_access->block(kPhone, QStringLiteral("Phone"));
    const QDateTime firstBlock = m_clock.now();
    m_clock.advance(60);
    hold(upload(kPhone, QStringLiteral("late")));
    m_access->block(kPhone, QStringLiteral("Phone again"));

    ASSERT_EQ(m_access->blocked().size(), 1);
    EXPECT_EQ(m_access->blocked().first(),
        (DeviceGrant {kPhone, QStringLiteral("Phone"), firstBlock, std::nullopt}));
    EXPECT_EQ(published.size(), 1);
    EXPECT_TRUE(m_access->pending().isEmpty());
    EXPECT_TRUE(m_accepted.isEmpty());
    EXPECT_EQ(stored("blockedDevices").size(), 1);
    // A page still polling learns that its upload was dropped, not that it is still waiting.
    EXPECT_TRUE(m_access->deviceStatus(kPhone).denied);
}

TEST_F(AccessManagerTest, BlockingWithoutADeviceIdDoesNothing)
{
    m_access->block({}, QStringLiteral("Nobody"));
    EXPECT_TRUE(m_access->blocked().isEmpty());
    EXPECT_FALSE(m_defaults->contains(QStringLiteral("blockedDevices")));
    EXPECT_FALSE(m_access->deviceStatus({}).denied);
}

TEST_F(AccessManagerTest, ApprovingTwiceKeepsTheNewerGrant)
{
    m_access->approve(kPhone, QStringLiteral("Old name"), GrantDuration::thirtyMinutes);
    m_clock.advance(100);
    m_access->approve(kPhone, QStringLiteral("New name"), GrantDuration::forever);

    ASSERT_EQ(m_access->grants().size(), 1);
    EXPECT_EQ(m_access->grants().first(),
        (DeviceGrant {kPhone, QStringLiteral("New name"), m_clock.now(), std::nullopt}));
    EXPECT_EQ(stored("deviceGrants").size(), 1);
}

TEST_F(AccessManagerTest, StatusTable)
{
    struct Row {
        const char* name;
        const char* policy;
        Given given;
        bool approved;
        bool denied;
    };
    const QList<Row> rows {
        {"anyone, blocked", "anyone", Given::blocked, true, true},
        {"code, blocked", "code", Given::blocked, true, true},
        {"ask, new", "ask", Given::none, false, false},
        {"ask, own device", "ask", Given::vouched, true, false},
        {"ask, live grant", "ask", Given::liveGrant, true, false},
        {"ask, declined", "ask", Given::declined, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        setPolicy(row.policy);
        setCode(QStringLiteral("1234"));
        if (row.given == Given::blocked)
            m_access->block(kPhone, QStringLiteral("Phone"));
        if (row.given == Given::vouched)
            replaceVouchedDeviceIDs({kPhone});
        if (row.given == Given::liveGrant)
            m_access->approve(kPhone, QStringLiteral("Phone"), GrantDuration::oneDay);
        if (row.given == Given::declined)
            m_access->deny(kPhone);
        hold(upload(kTablet));
        hold(upload(kTablet));
        const DeviceStatus status = m_access->deviceStatus(kPhone);
        EXPECT_EQ(status, (DeviceStatus {row.approved, row.denied, 0}));
        EXPECT_EQ(m_access->deviceStatus(kTablet).pending, 2);
    }
    EXPECT_EQ(QJsonDocument(DeviceStatus {true, false, 2}.toJson()).toJson(QJsonDocument::Compact),
        QByteArray(R"({"approved":true,"denied":false,"pending":2})"));
}

TEST_F(AccessManagerTest, PruningRemovesOnlyExpiredGrantsAndSavesOnlyThen)
{
    m_access->approve(kPhone, QStringLiteral("Phone"), GrantDuration::thirtyMinutes);
    m_access->approve(kTablet, QStringLiteral("Tablet"), GrantDuration::oneDay);

    // A marker in place of the stored list shows whether a prune wrote it.
    m_clock.advance(1799);
    m_defaults->setBytes(QStringLiteral("deviceGrants"), "[]");
    m_access->pruneExpiredGrants();
    EXPECT_EQ(m_access->grants().size(), 2);
    EXPECT_EQ(m_defaults->bytes(QStringLiteral("deviceGrants")), QByteArray("[]"));

    m_clock.advance(1);
    m_access->pruneExpiredGrants();
    ASSERT_EQ(m_access->grants().size(), 1);
    EXPECT_EQ(m_access->grants().first().deviceID, kTablet);
    ASSERT_EQ(stored("deviceGrants").size(), 1);
    EXPECT_EQ(stored("deviceGrants")[0][QStringLiteral("deviceID")], kTablet);
}

TEST_F(AccessManagerTest, ListsSurviveARelaunchInTheirJsonForm)
{
    m_access->approve(kPhone, QStringLiteral("Ann's phone"), GrantDuration::thirtyMinutes);
    m_access->approve(kTablet, QStringLiteral("Tablet"), GrantDuration::forever);
    m_access->block(QStringLiteral("bad"), QStringLiteral("Intruder"));
    const QList<DeviceGrant> grants = m_access->grants();
    const QList<DeviceGrant> blocked = m_access->blocked();

    const QJsonArray records = stored("deviceGrants");
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0].toObject(),
        (QJsonObject {{QStringLiteral("deviceID"), kPhone},
            {QStringLiteral("name"), QStringLiteral("Ann's phone")},
            {QStringLiteral("grantedAt"), QStringLiteral("2025-03-01T09:30:00Z")},
            {QStringLiteral("expiresAt"), QStringLiteral("2025-03-01T10:00:00Z")}}));
    EXPECT_FALSE(records[1].toObject().contains(QStringLiteral("expiresAt")));
    EXPECT_FALSE(stored("blockedDevices")[0].toObject().contains(QStringLiteral("expiresAt")));

    m_access.reset();
    m_defaults = std::make_unique<platform::Defaults>(m_defaults->filePath(), nullptr, &m_clock);
    reopen();
    EXPECT_EQ(m_access->grants(), grants);
    EXPECT_EQ(m_access->blocked(), blocked);
}

TEST_F(AccessManagerTest, AListWrittenByHandAsAPlainArrayIsRead)
{
    m_defaults->set(QStringLiteral("blockedDevices"),
        QJsonArray {QJsonObject {{QStringLiteral("name"), QStringLiteral("X")},
            {QStringLiteral("grantedAt"), QStringLiteral("2025-01-01T00:00:00Z")},
            {QStringLiteral("deviceID"), kPhone}}});
    reopen();
    ASSERT_EQ(m_access->blocked().size(), 1);
    EXPECT_EQ(m_access->decide(kPhone, {}), AccessDecision::refuse);
}

TEST_F(AccessManagerTest, UnreadableStoredListsAreKeptAsideBeforeTheyAreOverwritten)
{
    const QByteArray good = R"({"deviceID":"a","name":"A","grantedAt":"2025-01-01T00:00:00Z"})";
    struct Row {
        const char* name;
        QJsonValue value; // stored as it is; null: `bytes` stored as a data value
        QByteArray bytes;
    };
    const QList<Row> rows {
        {"not JSON", {}, "{{nope"},
        {"an object, not a list", {}, good},
        {"one good record and one without a name", {},
            "[" + good + R"(,{"deviceID":"b","grantedAt":"2025-01-01T00:00:00Z"}])"},
        {"a date that is not a date", {},
            R"([{"deviceID":"a","name":"A","grantedAt":"yesterday"}])"},
        {"an end that is not a date", {},
            R"([{"deviceID":"a","name":"A","grantedAt":"2025-01-01T00:00:00Z","expiresAt":5}])"},
        {"a string", QStringLiteral("[]"), {}},
        {"a number", 42, {}},
    };
    for (const char* key : {"deviceGrants", "blockedDevices"}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(key) + ": " + row.name);
            reset();
            if (row.value.isNull())
                m_defaults->setBytes(QLatin1String(key), row.bytes);
            else
                m_defaults->set(QLatin1String(key), row.value);
            const QJsonValue raw = m_defaults->value(QLatin1String(key));
            reopen();
            EXPECT_TRUE(m_access->grants().isEmpty());
            EXPECT_TRUE(m_access->blocked().isEmpty());
            EXPECT_TRUE(asideKeys().isEmpty()) << "nothing is written before a save";

            m_access->approve(kPhone, QStringLiteral("Phone"), GrantDuration::forever);
            m_access->block(kTablet, QStringLiteral("Tablet"));
            const QString aside = QLatin1String(key) + ".unreadable-2025-03-01T09-30-00Z";
            EXPECT_EQ(asideKeys(), QStringList {aside});
            EXPECT_EQ(m_defaults->value(aside), raw);
            reopen();
            EXPECT_EQ(m_access->grants().size(), 1);
            EXPECT_EQ(m_access->blocked().size(), 1);
        }
    }
}

TEST_F(AccessManagerTest, AFailureInTheSameSecondKeepsTheFirstCopyAside)
{
    m_defaults->setBytes(QStringLiteral("deviceGrants"), "first");
    reopen();
    m_access->save();
    m_defaults->setBytes(QStringLiteral("deviceGrants"), "second");
    reopen();
    m_access->save();
    const QString base = QStringLiteral("deviceGrants.unreadable-2025-03-01T09-30-00Z");
    EXPECT_EQ(m_defaults->bytes(base), QByteArray("first"));
    EXPECT_EQ(m_defaults->bytes(base + QStringLiteral("-2")), QByteArray("second"));
}

TEST_F(AccessManagerTest, HeldUploadsAreBoundedPerDevice)
{
    setPolicy("ask");
    m_access->deny(kPhone);
    for (int i = 0; i < 20; ++i)
        hold(upload(kPhone));
    EXPECT_FALSE(m_access->deviceStatus(kPhone).denied) << "holding clears a decline";
    m_access->deny(kPhone);
    for (int i = 0; i < 20; ++i)
        hold(upload(kPhone));
    const int callsBefore = m_pendingCalls;

    EXPECT_EQ(m_access->enqueue(upload(kPhone)), HoldRefusal::tooManyFromDevice);
    EXPECT_EQ(m_access->deviceStatus(kPhone).pending, 20);
    EXPECT_EQ(m_pendingCalls, callsBefore) << "a refused upload changes nothing";
    hold(upload(kTablet));

    m_access->approve(kPhone, QStringLiteral("Phone"), GrantDuration::once);
    EXPECT_EQ(m_accepted.size(), 20);
    hold(upload(kPhone));
}

TEST_F(AccessManagerTest, HeldUploadsAreBoundedInBytes)
{
    // One buffer shared by every upload: each counts in full, the test holds it once.
    const QByteArray photo(60 * 1024 * 1024, 'x');
    for (int i = 0; i < 8; ++i)
        hold(upload(QStringLiteral("device-%1").arg(i), {}, photo));
    EXPECT_EQ(m_access->enqueue(upload(kPhone, {}, photo)), HoldRefusal::tooManyBytes);
    // A small text still fits in what is left.
    hold(upload(kPhone, QStringLiteral("a text")));

    m_access->deny(QStringLiteral("device-0"));
    hold(upload(kTablet, {}, photo));
    EXPECT_EQ(m_access->enqueue(upload(kTablet, {}, photo)), HoldRefusal::tooManyBytes);
}

TEST_F(AccessManagerTest, ExpiryText)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QDateTime now = m_clock.now();
    DeviceGrant grant {kPhone, QStringLiteral("Phone"), now, std::nullopt};
    EXPECT_EQ(grant.expiryText(now, english), QStringLiteral("Always"));
    grant.expiresAt = now;
    EXPECT_EQ(grant.expiryText(now, english), QStringLiteral("Expired"));
    grant.expiresAt = now.addSecs(3600);
    const QString text = grant.expiryText(now, english);
    // 10:30 UTC is still the 1st of March in every time zone a test machine is likely in.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Until Mar 1, 2025 \\d{1,2}:\\d\\d\\s(AM|PM)$"))
                    .match(text)
                    .hasMatch())
        << text.toStdString();
}
