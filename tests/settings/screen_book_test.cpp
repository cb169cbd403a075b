// Settings ▸ Screens as the book of the screens sent to: a nickname or a group made there is in
// the open Send sheet at once, and a group sends to its members.
#include "platform/dns_sd.h"
#include "screens/remote_screens_manager.h"
#include "send/screen_browser.h"
#include "send/screen_directory.h"
#include "send/send_sheet.h"
#include "send/uploader.h"
#include "settings_fixture.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTextDocument>
#include <QTreeWidget>

using namespace vesker;
using test::Screen;

namespace {

// The rows of the Send sheet's list, as "title" or "title | detail", in order.
QStringList rows(const SendSheet& sheet, const QString& toggle)
{
    QStringList shown;
    for (const QCheckBox* box : sheet.findChildren<QCheckBox*>(toggle)) {
        if (!box->isVisibleTo(&sheet))
            continue;
        QStringList texts;
        for (const QLabel* label : box->parentWidget()->findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                texts.append(label->text());
        }
        shown.append(texts.join(QStringLiteral(" | ")));
    }
    return shown;
}

template <typename T> T* withKey(const QWidget& window, const QString& name, const QString& key)
{
    for (T* widget : window.findChildren<T*>(name)) {
        if (widget->property("screenKey").toString() == key && widget->isVisibleTo(&window))
            return widget;
    }
    return nullptr;
}

// What a person reads: Qt takes a lone "&" in a button's title, or in a label's that has a buddy,
// for the key that presses it, and shows a tooltip that looks like markup as markup.
QString withoutMnemonics(const QString& text)
{
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'&' && ++i == text.size())
            break;
        shown.append(text.at(i));
    }
    return shown;
}

QString shown(const QLabel& label)
{
    return label.buddy() ? withoutMnemonics(label.text()) : label.text();
}

// What a widget has painted, which is what the screen shows of it.
struct PaintRecorder : QObject {
    explicit PaintRecorder(QWidget& widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            drawn += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion drawn;
};

QString shownToolTip(const QString& tip)
{
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}

} // namespace

class ScreenBookTest : public test::SettingsServicesTest {
protected:
    explicit ScreenBookTest(bool discover = false)
    {
        m_settings = std::make_unique<SettingsWindow>([this, discover] {
            SettingsWindowServices services = this->services();
            services.directory = &m_directory;
            services.discoverScreens = discover;
            return services;
        }());
        m_settings->show();
        QTabWidget& tabs = m_settings->tabs();
        for (int i = 0; i < tabs.count(); ++i) {
            if (tabs.tabText(i) == QLatin1String("Screens"))
                tabs.setCurrentIndex(i);
        }
    }

    std::unique_ptr<SendSheet> sheet(const QList<OutgoingItem>& items)
    {
        auto made = std::make_unique<SendSheet>(items,
            SendSheet::Services {.session = {.defaults = m_senderSettings,
                                     .uploader = &m_uploader,
                                     .directory = &m_directory,
                                     .clock = m_clock,
                                     .screenName = [] { return QStringLiteral("Desk"); }},
                .remote = &m_controller->remote(),
                .discover = false});
        made->show();
        return made;
    }

    QTemporaryDir m_groupDir;
    platform::Defaults m_group {m_groupDir.filePath(QStringLiteral("group.json")), m_clock};
    platform::Defaults m_senderSettings {
        m_groupDir.filePath(QStringLiteral("sender.json")), m_clock};
    ScreenDirectory m_directory {m_group};
    Uploader m_uploader {{.deviceID = "SENDER-1", .deviceName = "Desk", .pollIntervalMs = 10}};
    std::unique_ptr<SettingsWindow> m_settings;
};

TEST_F(ScreenBookTest, AGroupMadeInSettingsIsASendSheetRowThatReachesItsMembers)
{
    Screen kitchen;
    Screen hall;
    Screen studio;
    auto s = sheet({{.text = "for both rooms"}});
    // What discovery found; the sheet remembers the screens, and Settings lists them.
    s->session().setDiscovered(
        {kitchen.mac("Kitchen"), hall.mac("Hall & Stairs"), studio.mac("Studio")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return withKey<QCheckBox>(*m_settings, "groupMember", "Hall & Stairs"); }, 5000));
    EXPECT_TRUE(rows(*s, "groupToggle").isEmpty());

    QTest::keyClicks(m_settings->findChild<QLineEdit*>("groupName"), "Both rooms");
    withKey<QCheckBox>(*m_settings, "groupMember", "Kitchen")->click();
    QCheckBox* hallBox = withKey<QCheckBox>(*m_settings, "groupMember", "Hall & Stairs");
    EXPECT_EQ(hallBox->text(), "Hall && Stairs") << "a name from the network is no shortcut";
    hallBox->click();
    m_settings->findChild<QPushButton*>("addGroup")->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !rows(*s, "groupToggle").isEmpty(); }, 5000));
    EXPECT_EQ(rows(*s, "groupToggle"), QStringList {"Both rooms | 2 of 2 reachable"});
    ASSERT_EQ(m_directory.groups().size(), 1);
    EXPECT_EQ(m_directory.groups().first().members, QStringList({"Hall & Stairs", "Kitchen"}));

    s->findChild<QCheckBox*>("groupToggle")->click();
    EXPECT_EQ(s->session().selected(), QSet<QString>({"Kitchen", "Hall & Stairs"}));
    auto* send = s->findChild<QPushButton*>("sendButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return send->isEnabled(); }, 2000));
    send->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return kitchen.uploaded().size() == 1 && hall.uploaded().size() == 1; }, 15000));
    EXPECT_EQ(kitchen.uploaded().first().text, "for both rooms");
    EXPECT_EQ(hall.uploaded().first().text, "for both rooms");
    EXPECT_TRUE(studio.uploaded().isEmpty());
}

TEST_F(ScreenBookTest, RenamingAndDeletingAGroupAndChangingItsMembersShowInTheSheetAtOnce)
{
    Screen kitchen;
    Screen hall;
    m_directory.remember({"Kitchen", "Hall", "Attic"});
    m_directory.addGroup("Rooms", {"Kitchen", "Attic"});
    auto s = sheet({{.text = "hello"}});
    s->session().setDiscovered({kitchen.mac("Kitchen"), hall.mac("Hall")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rows(*s, "groupToggle") == QStringList {"Rooms | 1 of 2 reachable"}; }, 5000));

    auto* list = m_settings->findChild<QTreeWidget*>("groupList");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    list->topLevelItem(0)->setSelected(true);
    auto* name = m_settings->findChild<QLineEdit*>("groupName");
    EXPECT_EQ(name->text(), "Rooms");
    EXPECT_TRUE(withKey<QCheckBox>(*m_settings, "groupMember", "Attic")->isChecked());
    name->selectAll();
    QTest::keyClicks(name, "Ground floor");
    withKey<QCheckBox>(*m_settings, "groupMember", "Attic")->click();
    withKey<QCheckBox>(*m_settings, "groupMember", "Hall")->click();
    m_settings->findChild<QPushButton*>("saveGroup")->click();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return rows(*s, "groupToggle") == QStringList {"Ground floor | 2 of 2 reachable"}; },
        5000))
        << rows(*s, "groupToggle").join(u'\n').toStdString();

    // A blank name is refused, and says so; the group keeps its name.
    name->clear();
    m_settings->findChild<QPushButton*>("saveGroup")->click();
    EXPECT_TRUE(m_settings->findChild<QLabel*>("groupProblem")->isVisibleTo(m_settings.get()));
    EXPECT_EQ(m_directory.groups().first().name, "Ground floor");

    m_settings->findChild<QPushButton*>("deleteGroup")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows(*s, "groupToggle").isEmpty(); }, 5000));
    EXPECT_TRUE(m_directory.groups().isEmpty());
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_FALSE(m_settings->findChild<QPushButton*>("deleteGroup")->isEnabled());
}

// A person who picked a group, then typed a new name over it and pressed Add Group, looks at the
// list to see the new group; not seeing it there, they add it again.
TEST_F(ScreenBookTest, AGroupAddedWhileAnotherIsSelectedIsDrawnInView)
{
    for (const int before : {2, 7}) {
        SCOPED_TRACE(before);
        for (const ScreenGroup& group : m_directory.groups())
            m_directory.removeGroup(group.id);
        for (int i = 1; i <= before; ++i)
            m_directory.addGroup(QStringLiteral("Room %1").arg(i), {});
        auto* list = m_settings->findChild<QTreeWidget*>("groupList");
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->topLevelItemCount() == before; }, 5000));
        PaintRecorder painted(*list->viewport());
        QRegion& drawn = painted.drawn;
        const QRect picked = list->visualItemRect(list->topLevelItem(1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, picked.center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return drawn.contains(picked); }, 5000));
        auto* name = m_settings->findChild<QLineEdit*>("groupName");
        ASSERT_EQ(name->text(), "Room 2");
        name->selectAll();
        QTest::keyClicks(name, "Hall");

        drawn = {};
        m_settings->findChild<QPushButton*>("addGroup")->click();
        // Only the list's items until it is drawn: asking where a row is lays the rows out,
        // which would redraw them.
        const auto added = [&] { return list->topLevelItem(before); };
        ASSERT_TRUE(QTest::qWaitFor([&] { return added(); }, 5000));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return drawn.contains(
                    list->visualItemRect(added()).intersected(list->viewport()->rect()));
            },
            2000))
            << "drawn: " << qPrintable(QDebug::toString(drawn));
        EXPECT_TRUE(list->viewport()->rect().contains(list->visualItemRect(added())));
    }
}

TEST_F(ScreenBookTest, ANicknameTypedInSettingsNamesTheScreenInTheSheetAtOnce)
{
    Screen kitchen;
    const RemoteScreen lab {.id = QUuid::createUuid(),
        .name = QStringLiteral("Lab"),
        .url = QStringLiteral("127.0.0.1:%1").arg(kitchen.port())};
    m_defaults.set(
        QString::fromLatin1(RemoteScreensManager::kScreensKey), QJsonArray {lab.toJson()});
    auto s = sheet({{.text = "hello"}});
    s->session().setDiscovered({kitchen.mac("Kitchen")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return withKey<QLineEdit>(*m_settings, "nicknameField", "Kitchen")
                && withKey<QLineEdit>(
                    *m_settings, "nicknameField", ScreenDirectory::remoteKey(lab.id));
        },
        5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows(*s, "remoteToggle").size() == 1; }, 5000));
    EXPECT_EQ(rows(*s, "macToggle"), QStringList {"Kitchen"});

    const auto type = [&](const QString& key, const QString& text) {
        QLineEdit* field = withKey<QLineEdit>(*m_settings, "nicknameField", key);
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    };
    type("Kitchen", "  Front desk ");
    type(ScreenDirectory::remoteKey(lab.id), "Lab upstairs");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return rows(*s, "macToggle") == QStringList {"Front desk | Kitchen"}; }, 5000))
        << rows(*s, "macToggle").join(u'\n').toStdString();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QStringList remote = rows(*s, "remoteToggle");
            return remote.size() == 1 && remote.first().startsWith("Lab upstairs | Lab | ");
        },
        5000))
        << rows(*s, "remoteToggle").join(u'\n').toStdString();
    EXPECT_EQ(m_group.value("screenNicknames")["Kitchen"].toString(), "Front desk");

    // Emptied, the screen goes back to its own name.
    QLineEdit* field = withKey<QLineEdit>(*m_settings, "nicknameField", "Kitchen");
    field->setFocus();
    field->clear();
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return rows(*s, "macToggle") == QStringList {"Kitchen"}; }, 5000));
    EXPECT_FALSE(m_group.value("screenNicknames").toObject().contains("Kitchen"));
}

TEST_F(ScreenBookTest, NamesFromTheNetworkShowAsTyped)
{
    const QStringList names {"Tom & Jerry", "<b>Lab</b>", "A && B"};
    auto s = sheet({{.text = "hello"}});
    QList<DiscoveredScreen> found;
    for (const QString& name : names)
        found.append({.name = name, .endpoint = {"127.0.0.1", 9}});
    s->session().setDiscovered(found);
    for (const QString& name : names)
        m_directory.addGroup(QStringLiteral("Group %1").arg(names.indexOf(name)), {name});
    auto* groups = m_settings->findChild<QTreeWidget*>("groupList");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return groups->topLevelItemCount() == names.size()
                && std::all_of(names.begin(), names.end(), [&](const QString& name) {
                       return withKey<QWidget>(*m_settings, "nicknameRow", name)
                           && withKey<QCheckBox>(*m_settings, "groupMember", name);
                   });
        },
        5000));

    const auto sheetRow = [&](const QString& name) -> const QLabel* {
        for (const QCheckBox* box : s->findChildren<QCheckBox*>("macToggle")) {
            if (box->accessibleName() == name)
                return box->parentWidget()->findChild<QLabel*>("rowTitle");
        }
        return nullptr;
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QWidget* row = withKey<QWidget>(*m_settings, "nicknameRow", name);
        EXPECT_EQ(shown(*row->findChild<QLabel*>("nicknameScreen")), name);
        EXPECT_EQ(
            withoutMnemonics(withKey<QCheckBox>(*m_settings, "groupMember", name)->text()), name);
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheetRow(name); }, 5000));
        EXPECT_EQ(shown(*sheetRow(name)), name);
        EXPECT_EQ(shownToolTip(groups->topLevelItem(names.indexOf(name))->toolTip(1)), name);
    }

    // Nicknamed, a member shows its nickname and tells its own name when pointed at.
    for (const QString& name : names)
        m_directory.setNickname(name, QStringLiteral("Screen %1").arg(names.indexOf(name)));
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QCheckBox* box = withKey<QCheckBox>(*m_settings, "groupMember", name);
        ASSERT_TRUE(QTest::qWaitFor([&] { return box->text().startsWith("Screen"); }, 5000));
        EXPECT_EQ(shownToolTip(box->toolTip()), name);
    }
}

// Looking on the network itself, in the loopback-only avahi-daemon of the test services.
class ScreenBookDiscoveryTest : public ScreenBookTest {
protected:
    ScreenBookDiscoveryTest()
        : ScreenBookTest(true)
    { }
};

TEST_F(ScreenBookDiscoveryTest, TurningAdvertisingOffLeavesThisScreenOutOfTheScreensToName)
{
    if (qEnvironmentVariable("VESKER_TEST_SERVICES") != QLatin1String("1"))
        GTEST_SKIP() << "needs the loopback-only avahi-daemon of scripts/with-test-services";
    // Other tests publish into the same daemon.
    const QString tag = QStringLiteral(" %1-%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(QRandomGenerator::global()->bounded(100000));
    const auto knownHere = [&] {
        QStringList known = m_directory.knownScreens();
        known.removeIf([&](const QString& name) { return !name.endsWith(tag); });
        return known;
    };
    const QString own = QStringLiteral("Desk") + tag;
    m_controller->setScreenName(own);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_defaults.string(QStringLiteral("advertisedName")) == own; }, 10000));
    std::vector<std::unique_ptr<platform::DnsSdPublisher>> published;
    const auto publish = [&](const QString& name) {
        published.push_back(std::make_unique<platform::DnsSdPublisher>(platform::DnsSdService {
            name, ScreenBrowser::serviceType(), m_controller->port(m_defaults), {}}));
    };
    publish(QStringLiteral("Kitchen") + tag);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !knownHere().isEmpty(); }, 15000));

    // The daemon still reports this screen's advertisement for a moment after it is withdrawn.
    m_settings->findChild<QCheckBox*>("advertiseCheck")->click();
    ASSERT_FALSE(m_defaults.boolValue(QStringLiteral("advertiseOnNetwork"), true));
    publish(QStringLiteral("Later") + tag);
    ASSERT_TRUE(QTest::qWaitFor([&] { return knownHere().size() > 1; }, 15000));
    EXPECT_EQ(
        knownHere(), QStringList({QStringLiteral("Kitchen") + tag, QStringLiteral("Later") + tag}));
    EXPECT_FALSE(withKey<QLineEdit>(*m_settings, "nicknameField", own));
}
