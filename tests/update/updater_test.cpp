// The update check against a manifest served on 127.0.0.1: what each answer makes of the
// status, the stored check time and the skipped version.
#include "manifest_server.h"

#include <gtest/gtest.h>

using namespace vesker;
using namespace vesker::test;
using State = UpdateStatus::State;

namespace {

const QString kLastCheck = QString::fromLatin1(Updater::kLastCheck);
const QString kSkipped = QString::fromLatin1(Updater::kSkippedVersion);

TEST(Updater, EachAnswerGivesItsStatusAndCountsAsACheckOnlyWhenTheServerAnswered)
{
    const QByteArray big
        = R"({"version":"3.0","url":"https://a.example/"})" + QByteArray(1024 * 1024, ' ');
    const struct {
        const char* name;
        QByteArray reply; // none: the server is gone, so no check is counted
        bool refused;
        State state;
    } rows[] = {
        {"newer", manifest("2.10"), false, State::available},
        {"same with a zero piece", manifest("2.0.0"), false, State::upToDate},
        {"no content", httpAnswer("204 No Content", {}), false, State::upToDate},
        {"not found", httpAnswer("404 Not Found", "{}"), false, State::unreachable},
        {"server error", httpAnswer("500 Oops", {}), false, State::unreachable},
        {"over a MiB", httpAnswer("200 OK", big), false, State::unreachable},
        {"over a MiB unannounced", "HTTP/1.1 200 OK\r\n\r\n" + big, false, State::unreachable},
        {"malformed", httpAnswer("200 OK", R"({"version":)"), false, State::unreachable},
        {"no url", httpAnswer("200 OK", R"({"version":"3"})"), false, State::unreachable},
        {"http download", manifest("3", {}, "http://a.example/"), false, State::unreachable},
        {"upper-case scheme", manifest("3", {}, "HTTPS://a.example/"), false, State::unreachable},
        {"closed without an answer", {}, false, State::unreachable},
        {"connection refused", {}, true, State::unreachable},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UpdaterFixture f;
        f.reply = row.reply;
        if (row.refused)
            f.server.close();
        EXPECT_EQ(f.checked(), row.state);
        const QJsonValue now(double(f.clock.now().toSecsSinceEpoch()));
        EXPECT_EQ(f.defaults.value(kLastCheck), row.reply.isEmpty() ? QJsonValue::Undefined : now);
        EXPECT_EQ(f.updater.status().checkedAt,
            row.state == State::upToDate ? f.clock.now() : QDateTime());
    }
}

TEST(Updater, StartChecksAtOnceOnlyWhenTheLastAnswerIsOverTwentyHoursOldOrInTheFuture)
{
    const struct {
        const char* name;
        std::optional<double> age; // seconds before now; none: never checked
        QJsonValue automatic;
        bool checks;
    } rows[] = {
        {"never checked", std::nullopt, {}, true},
        {"exactly twenty hours", 72000, {}, false},
        {"just over", 72000.001, {}, true},
        {"in the future", -3600, {}, true},
        {"automatic stored as text", std::nullopt, QStringLiteral("no"), true},
        {"automatic off", std::nullopt, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UpdaterFixture f;
        if (row.age)
            f.defaults.set(kLastCheck, f.clock.now().toMSecsSinceEpoch() / 1000.0 - *row.age);
        if (!row.automatic.isUndefined())
            f.defaults.set(QString::fromLatin1(Updater::kAutomatic), row.automatic);
        f.updater.start();
        QCoreApplication::processEvents();
        EXPECT_EQ(f.updater.status().state != State::idle, row.checks);
    }
}

TEST(Updater, SkippingHidesThatVersionUntilAnotherComes)
{
    UpdaterFixture f;
    f.reply = manifest("2.1");
    ASSERT_EQ(f.checked(), State::available);
    f.updater.skipVersion(f.updater.status().release);
    EXPECT_FALSE(f.updater.pendingRelease());

    ASSERT_EQ(f.checked(), State::available);
    EXPECT_FALSE(f.updater.pendingRelease());
    EXPECT_EQ(f.defaults.string(kSkipped), "2.1");

    f.reply = manifest("2.2");
    ASSERT_EQ(f.checked(), State::available);
    EXPECT_EQ(f.updater.pendingRelease()->version, "2.2");
    EXPECT_FALSE(f.defaults.contains(kSkipped));
}

TEST(Updater, VersionsCompareNumberByNumber)
{
    // The first of each pair is newer than the second.
    const char* newer[][2] = {{"1.10", "1.9"}, {"1.2.1", "1.2"}, {"2b", "1.9"}, {"1", ""},
        {"10a5", "9"}, {"9223372036854775807", "9223372036854775806"}};
    // Neither of a pair is newer: equal pieces, and pieces that count as nothing (past 64 bits,
    // another script's digit, a superscript in the run).
    const char* same[][2] = {{"1.2", "1.2.0"}, {"2.0-beta", "2.0"}, {"1..2", "1.2"}, {"beta", "0"},
        {"", "0"}, {"9223372036854775808", "0"}, {"\u0661", "0"}, {"2\u00b2", "0"}};
    for (const auto& [a, b] : newer) {
        EXPECT_TRUE(isVersionNewer(QString::fromUtf8(a), QString::fromUtf8(b))) << a << " " << b;
        EXPECT_FALSE(isVersionNewer(QString::fromUtf8(b), QString::fromUtf8(a))) << b << " " << a;
    }
    for (const auto& [a, b] : same) {
        EXPECT_FALSE(isVersionNewer(QString::fromUtf8(a), QString::fromUtf8(b))) << a << " " << b;
        EXPECT_FALSE(isVersionNewer(QString::fromUtf8(b), QString::fromUtf8(a))) << b << " " << a;
    }
}

} // namespace
