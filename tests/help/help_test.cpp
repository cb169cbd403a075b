// The help window on the offscreen platform: its search, the page it keeps, the Help menu's
// topics and its frame across runs.
#include "app/menu_commands.h"
#include "help/help_window.h"
#include "platform/defaults.h"
#include "support/manual_clock.h"
#include "update/updater.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

QStringList titles(const QList<HelpTopic>& topics)
{
    QStringList found;
    for (const HelpTopic& topic : topics)
        found.append(topic.title);
    return found;
}

TEST(HelpSearch, FindsTopicsByTheWordsOnTheirPages)
{
    const struct {
        const char* query;
        QStringList expected;
    } cases[] = {
        {"relay", {"Getting started", "Over the internet", "Who may send to you", "Privacy"}},
        {"ARCHIVE", {"When something arrives", "Who may send to you"}},
        {" \tgot it ", {"When something arrives"}}, // trimmed ends, inner space kept
        {"ctrl+shift+v", {"Sending from this computer"}}, // key blocks are searched
        {"wi-fi", {}}, // the pages write it with a non-breaking hyphen
        {"sparkles", {}}, // symbols and ids are not searched
        {"start", {"Getting started"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            titles(filterHelpTopics(HelpTopic::all(), QString::fromUtf8(c.query))), c.expected)
            << c.query;
    EXPECT_EQ(filterHelpTopics(HelpTopic::all(), QStringLiteral("   ")).size(), 14);
}

// The pages say what this program does: no Settings tab that is not there, no relay that keeps
// items, no internet limits or replies of a connection this computer does not have.
TEST(HelpTopics, NameOnlySettingsTabsAndWaysThatExist)
{
    const QStringList tabs {
        u"General"_s, u"Display"_s, u"Access"_s, u"Screens"_s, u"Hosted"_s, u"Remote"_s};
    const QStringList promises {u"seven days"_s, u"internet senders"_s, u"25 MB"_s,
        u"marked with a globe"_s, u"wait on the relay"_s};
    const QRegularExpression settingsTab(u"Settings ▸ (\\w+)"_s);
    for (const HelpTopic& topic : HelpTopic::all()) {
        for (const HelpBlock& block : topic.blocks) {
            for (const QString& line : block.strings) {
                SCOPED_TRACE(line.toStdString());
                for (const QString& promise : promises)
                    EXPECT_FALSE(line.contains(promise, Qt::CaseInsensitive));
                for (auto match = settingsTab.globalMatch(line); match.hasNext();)
                    EXPECT_TRUE(tabs.contains(match.next().captured(1)));
            }
        }
    }
}

class HelpWindowTest : public ::testing::Test {
protected:
    QString page() const
    {
        auto* title = m_help.window()->findChild<QLabel*>(QStringLiteral("helpPageTitle"));
        return title && title->isVisibleTo(m_help.window()) ? title->text() : QString();
    }
    QListWidget& list() const
    {
        return *m_help.window()->findChild<QListWidget*>(QStringLiteral("helpTopicList"));
    }
    QString row() const { return list().currentItem() ? list().currentItem()->text() : "none"; }
    void search(const QString& text)
    {
        m_help.window()->findChild<QLineEdit*>(QStringLiteral("helpSearch"))->setText(text);
    }

    QTemporaryDir m_dir;
    test::ManualClock m_clock;
    platform::Defaults m_defaults {m_dir.filePath(QStringLiteral("defaults.json")), m_clock};
    HelpSelection m_selection;
    HelpWindowController m_help {m_selection, m_defaults};
};

TEST_F(HelpWindowTest, SearchNarrowsTheListAndLeavesThePageBeingRead)
{
    m_help.show(QStringLiteral("media"));
    search(QStringLiteral("relay"));
    ASSERT_EQ(list().count(), 4);
    EXPECT_EQ(page(), "Photos, text and PDFs") << "the page being read went with the search";
    EXPECT_EQ(row(), "none") << "a row is marked that the reader did not pick";

    search(QStringLiteral("pdf"));
    EXPECT_EQ(row(), "Photos, text and PDFs");
    EXPECT_EQ(page(), "Photos, text and PDFs");

    auto* nothing = m_help.window()->findChild<QWidget*>(QStringLiteral("helpNothingFound"));
    auto* pick = m_help.window()->findChild<QWidget*>(QStringLiteral("helpPickTopic"));
    EXPECT_FALSE(nothing->isVisible());
    search(QStringLiteral("zzzq"));
    EXPECT_TRUE(nothing->isVisible());
    EXPECT_FALSE(pick->isVisible());
    EXPECT_EQ(page(), "Photos, text and PDFs");

    search(QString());
    EXPECT_EQ(page(), "Photos, text and PDFs");
    EXPECT_EQ(row(), page());
    list().setCurrentRow(0);
    EXPECT_EQ(page(), "Getting started") << "a row picked after the search opens its page";
}

TEST_F(HelpWindowTest, HelpMenuSwitchesTheOpenWindowToItsTopics)
{
    QMenuBar bar;
    Updater updater {m_defaults, m_clock, {.manifestUrl = QUrl()}};
    MenuCommands commands(bar, *bar.addMenu(QStringLiteral("File")),
        {.defaults = m_defaults, .updater = updater, .help = m_help});
    commands.help()->trigger();
    HelpWindow* window = m_help.window();
    ASSERT_TRUE(window && window->isVisible());
    EXPECT_EQ(page(), "Getting started");

    list().setCurrentRow(5);
    commands.keyboardShortcuts()->trigger();
    EXPECT_EQ(page(), "When something arrives");
    commands.troubleshooting()->trigger();
    EXPECT_EQ(page(), "Troubleshooting");
    window->close();
    commands.help()->trigger();
    EXPECT_EQ(m_help.window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(page(), "Troubleshooting");

    m_help.show(QStringLiteral("no-such-topic"));
    EXPECT_EQ(page(), "Getting started");
    EXPECT_EQ(row(), page()) << "the page shown is marked in the list";
}

TEST_F(HelpWindowTest, FrameSurvivesARestart)
{
    m_help.show();
    const QRect frame(40, 50, 820, 530);
    m_help.window()->setGeometry(frame);
    m_help.window()->close();

    HelpWindowController later(m_selection, m_defaults);
    later.show();
    EXPECT_EQ(later.window()->geometry(), frame);
}

} // namespace
