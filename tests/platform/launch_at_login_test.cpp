#include "platform/launch_at_login.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace vesker::platform;

// The session starts exactly this program, whatever its folder is called: the entry passes the
// desktop's own validator and turning it off removes it.
TEST(LaunchAtLogin, WritesAValidEntryForAnyProgramPathAndRemovesIt)
{
    const struct {
        QString program;
        QString exec;
    } cases[] = {
        {"/opt/Vesker Apps/bin/vesker", R"(Exec="/opt/Vesker Apps/bin/vesker")"},
        {R"(/opt/a "b" $c `d` e\f 100%/vesker)",
            R"(Exec="/opt/a \\"b\\" \\$c \\`d\\` e\\\\f 100%%/vesker")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program.toStdString());
        QString error;
        ASSERT_TRUE(LaunchAtLogin::setEnabled(true, c.program, &error)) << error.toStdString();
        QFile entry(LaunchAtLogin::entryPath());
        ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(entry.readAll()).split(u'\n');
        EXPECT_TRUE(lines.contains(c.exec)) << lines.join(u'\n').toStdString();

        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(QStringLiteral("desktop-file-validate"), {entry.fileName()});
        ASSERT_TRUE(validate.waitForFinished(10000))
            << "desktop-file-validate (desktop-file-utils)";
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAll().toStdString();
        EXPECT_TRUE(LaunchAtLogin::isEnabled());
    }
    ASSERT_TRUE(LaunchAtLogin::setEnabled(false));
    EXPECT_FALSE(QFile::exists(LaunchAtLogin::entryPath()));
    EXPECT_TRUE(LaunchAtLogin::setEnabled(false)) << "turning off twice is no failure";
}

// Earlier versions wrote the entry as "vesker.desktop". A session that still has it starts the
// program from it, so it counts as on, and neither turning on nor off may leave it beside the new
// one: the program would start twice.
TEST(LaunchAtLogin, TakesOverTheEntryUnderItsEarlierName)
{
    const QString earlier
        = QFileInfo(LaunchAtLogin::entryPath()).absolutePath() + "/vesker.desktop";
    EXPECT_TRUE(LaunchAtLogin::entryPath().endsWith("/autostart/com.halvane.Vesker.desktop"));
    for (const bool turnOn : {true, false}) {
        SCOPED_TRACE(turnOn ? "turned on" : "turned off");
        ASSERT_TRUE(QDir().mkpath(QFileInfo(earlier).absolutePath()));
        QFile old(earlier);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("[Desktop Entry]\nType=Application\nName=Vesker\nExec=/opt/old/vesker\n");
        old.close();
        EXPECT_TRUE(LaunchAtLogin::isEnabled());

        ASSERT_TRUE(LaunchAtLogin::setEnabled(turnOn, "/usr/bin/vesker"));
        EXPECT_FALSE(QFile::exists(earlier));
        EXPECT_EQ(QFile::exists(LaunchAtLogin::entryPath()), turnOn);
        EXPECT_EQ(LaunchAtLogin::isEnabled(), turnOn);
    }
}
