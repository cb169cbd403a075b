// The update check against a manifest served on 127.0.0.1: what each answer makes of the
// status, the stored check time and the skipped version.
#include "app/update_texts.h"
#include "manifest_server.h"

#include <gtest/gtest.h>

using namespace vesker;
using State = UpdateStatus::State;

namespace {

const QString kLastCheck = QString::fromLatin1(Updater::kLastCheck);
const QString kSkipped = QString::fromLatin1(Updater::kSkippedVersion);

TEST(Updater, EachAnswerGivesItsStatusAndCountsAsACheckOnlyWhenTheServerAnswered)
{
    using test::ManifestServer;
    const QByteArray big = "{\"version\":\"3.0\",\"url\":\"https://a.example/\"}"
        + QByteArray(Updater::kMaxManifestBytes, ' ');
    const struct {
        const char* name;
        QByteArray reply; // none: the server is gone
        bool refused;
        State state;
        bool recorded;
    } rows[] = {
        {"newer", ManifestServer::manifest("2.10"), false, State::available, true},
        {"same with a zero piece", ManifestServer::manifest("2.0.0"), false, State::upToDate, true},
        {"no content", ManifestServer::answer("204 No Content", {}), false, State::upToDate, true},
        {"not found", ManifestServer::answer("404 Not Found", "{}"), false, State::unreachable,
            true},
        {"server error", ManifestServer::answer("500 Oops", {}), false, State::unreachable, true},
        {"over a MiB", ManifestServer::answer("200 OK", big), false, State::unreachable, true},
        {"over a MiB without a length", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + big, false,
            State::unreachable, true},
        {"malformed", ManifestServer::answer("200 OK", "{\"version\":"), false, State::unreachable,
            true},
        {"no url", ManifestServer::answer("200 OK", "{\"version\":\"3\"}"), false,
            State::unreachable, true},
        {"size of the wrong type", ManifestServer::manifest("3", ",\"size\":\"big\""), false,
            State::unreachable, true},
        {"plain http download",
            ManifestServer::answer("200 OK", "{\"version\":\"3\",\"url\":\"http://a.example/\"}"),
            false, State::unreachable, true},
        {"upper-case scheme",
            ManifestServer::answer("200 OK", "{\"version\":\"3\",\"url\":\"HTTPS://a.example/\"}"),
            false, State::unreachable, true},
        {"closed without an answer", {}, false, State::unreachable, false},
        {"connection refused", {}, true, State::unreachable, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::UpdaterFixture f;
        f.server.reply = row.reply;
        if (row.refused)
            f.server.close();
        EXPECT_EQ(f.checked(), row.state);
        EXPECT_EQ(f.defaults.contains(kLastCheck), row.recorded);
        if (row.recorded)
            EXPECT_EQ(f.defaults.doubleValue(kLastCheck, 0), f.clock.now().toSecsSinceEpoch());
        if (row.state == State::upToDate)
            EXPECT_EQ(f.updater.status().checkedAt, f.clock.now());
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
        test::UpdaterFixture f;
        const double now = f.clock.now().toMSecsSinceEpoch() / 1000.0;
        if (row.age)
            f.defaults.set(kLastCheck, now - *row.age);
        if (!row.automatic.isUndefined())
            f.defaults.set(QString::fromLatin1(Updater::kAutomatic), row.automatic);
        f.updater.start();
        QCoreApplication::processEvents();
        EXPECT_EQ(f.updater.status().state != State::idle, row.checks);
        EXPECT_EQ(f.updater.hasTimer(), row.automatic != QJsonValue(false));
    }
}

TEST(Updater, SkippingHidesThatVersionUntilAnotherComesOrTheUserChecks)
{
    test::UpdaterFixture f;
    f.server.reply = test::ManifestServer::manifest("2.1");
    ASSERT_EQ(f.checked(), State::available);
    f.updater.skipVersion(f.updater.status().release);
    EXPECT_FALSE(f.updater.pendingRelease());

    ASSERT_EQ(f.checked(), State::available);
    EXPECT_FALSE(f.updater.pendingRelease());
    EXPECT_EQ(f.defaults.string(kSkipped), "2.1");

    ASSERT_EQ(f.checked(true), State::available);
    EXPECT_EQ(f.updater.pendingRelease()->version, "2.1");
    f.updater.skipVersion(f.updater.status().release);

    f.server.reply = test::ManifestServer::manifest("2.2");
    ASSERT_EQ(f.checked(), State::available);
    EXPECT_EQ(f.updater.pendingRelease()->version, "2.2");
    EXPECT_FALSE(f.defaults.contains(kSkipped));
}

TEST(Updater, VersionsCompareNumberByNumber)
{
    const struct {
        const char* a;
        const char* b;
        bool newer;
    } rows[] = {
        {"1.10", "1.9", true},
        {"1.9", "1.10", false},
        {"1.2", "1.2.0", false},
        {"1.2.0", "1.2", false},
        {"1.2.1", "1.2", true},
        {"2.0-beta", "2.0", false},
        {"1..2", "1.2", false},
        {"2b", "1.9", true},
        {"beta", "0", false},
        {"1", "", true},
        {"", "0", false},
        {"9223372036854775807", "9223372036854775806", true},
        {"9223372036854775808", "1", false}, // past 64 bits: nothing
        {"\u0661", "0", false}, // another script's one
        {"2\u00b2", "1", false}, // a superscript in the run spoils it
        {"10a5", "9", true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(isVersionNewer(QString::fromUtf8(row.a), QString::fromUtf8(row.b)), row.newer)
            << row.a << " over " << row.b;
}

TEST(Updater, AnOfferedVersionReadsWithItsNotesAndSize)
{
    const struct {
        const char* extra;
        const char* button;
        const char* alertText;
    } rows[] = {
        {",\"notes\":\"Faster\",\"size\":12345678", "Download (12.3 MB)",
            "Faster\n\n12.3 MB download."},
        {",\"size\":0", "Download", "You are on 2.0."},
        {",\"size\":-5,\"notes\":\"\"", "Download", "You are on 2.0."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.extra);
        test::UpdaterFixture f;
        f.server.reply = test::ManifestServer::manifest("2.1", row.extra);
        ASSERT_EQ(f.checked(), State::available);
        const UpdateStatus status = f.updater.status();
        EXPECT_EQ(update_text::downloadTitle(status.release), row.button);
        const auto alert = update_text::resultAlert(status, f.updater.currentVersion());
        EXPECT_EQ(alert->message, "Version 2.1 is available");
        EXPECT_EQ(alert->informative, row.alertText);
    }
}

} // namespace
