#include "app/command_line.h"

#include <gtest/gtest.h>

using namespace vesker;
using Action = CommandLine::Action;

namespace {

const QString kInvite = QStringLiteral("vesker://invite/ABCD-EFGH");

} // namespace

TEST(CommandLineTest, OptionsAreAnsweredAndEverythingElseRuns)
{
    const struct {
        const char* name;
        QStringList arguments;
        Action action;
        int exitStatus;
        QString invite;
    } cases[] = {
        {"nothing", {}, Action::run, 0, {}},
        {"an invite link", {kInvite}, Action::run, 0, kInvite},
        // Only the first argument is taken as the link, and only when it looks like one, as a
        // desktop launches the program with one link or none.
        {"a link after another word", {"photo.jpg", kInvite}, Action::run, 0, {}},
        {"a word that is no link", {"https://example.com/"}, Action::run, 0, {}},
        {"help", {"--help"}, Action::print, 0, {}},
        {"version", {"--version"}, Action::print, 0, {}},
        {"help after the link", {kInvite, "--help"}, Action::print, 0, {}},
        // The first option decides.
        {"help, then an unknown one", {"--help", "--bogus"}, Action::print, 0, {}},
        {"unknown, then help", {"--bogus", "--help"}, Action::refuse, 2, {}},
        {"a short option", {"-h"}, Action::refuse, 2, {}},
        {"a lone dash", {"-"}, Action::refuse, 2, {}},
        {"the end of options", {"--", kInvite}, Action::refuse, 2, {}},
        {"an option with a value", {"--version=2"}, Action::refuse, 2, {}},
        {"Qt's own platform option", {"-platform", "offscreen"}, Action::refuse, 2, {}},
        {"an unknown option before the link", {"--new-window", kInvite}, Action::refuse, 2, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandLine command
            = CommandLine::parse(QStringList {"/usr/bin/vesker"} + c.arguments, "1.2.3");
        EXPECT_EQ(command.action, c.action);
        EXPECT_EQ(command.exitStatus, c.exitStatus);
        EXPECT_EQ(command.invite, c.invite);
        EXPECT_EQ(command.text.isEmpty(), c.action == Action::run);
    }
}

TEST(CommandLineTest, SaysWhatItPrints)
{
    EXPECT_EQ(CommandLine::parse({"vesker", "--version"}, "1.2.3").text, "vesker 1.2.3\n");

    const QString help = CommandLine::parse({"vesker", "--help"}, "1.2.3").text;
    EXPECT_EQ(help, CommandLine::help());
    EXPECT_TRUE(help.startsWith("Usage: vesker [vesker://INVITE-LINK]\n"));
    for (const char* option : {"--help", "--version"})
        EXPECT_TRUE(help.contains(QStringLiteral("\n  %1 ").arg(option))) << option;
    for (const QString& line : help.split('\n'))
        EXPECT_LE(line.size(), 80) << line.toStdString();

    // The option as typed, and where to look.
    EXPECT_EQ(CommandLine::parse({"vesker", "--verison"}, "1.2.3").text,
        "vesker: unknown option '--verison'\nTry 'vesker --help' for more information.\n");
}
