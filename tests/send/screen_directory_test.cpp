// The book of screens: nicknames and groups as written for the Send sheet and other copies of
// the program to read, without losing what was stored besides.
#include "platform/defaults.h"
#include "send/screen_directory.h"
#include "support/manual_clock.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace vesker;

namespace {

struct Book {
    QTemporaryDir dir;
    test::ManualClock clock;
    platform::Defaults defaults {dir.filePath(QStringLiteral("group.json")), clock};

    QJsonArray stored() const
    {
        return defaults.value(QString::fromLatin1(ScreenDirectory::kGroupsKey)).toArray();
    }
};

} // namespace

TEST(ScreenDirectory, NicknamesAreTrimmedBlankOnesGoAndAStrayValueCostsNoOtherScreen)
{
    Book book;
    const QString key = QString::fromLatin1(ScreenDirectory::kNicknamesKey);
    // Written by hand: one entry that is not text.
    book.defaults.set(key, QJsonObject {{"Studio", 7}, {"Hall", "Back hall"}});
    ScreenDirectory directory(book.defaults);
    QSignalSpy changed(&directory, &ScreenDirectory::nicknamesChanged);

    struct Row {
        const char* what;
        QString key;
        QString typed;
        QString shown; // displayName afterwards
    };
    const Row rows[] = {
        {"a nickname, trimmed", "Kitchen", "  Front desk \n", "Front desk"},
        {"the hand-written one kept", "Hall", "Back hall", "Back hall"},
        {"replaced", "Kitchen", "Till", "Till"},
        {"blank takes it away", "Kitchen", "   ", "Kitchen"},
        {"a screen by address",
            ScreenDirectory::remoteKey(
                QUuid::fromString(QStringLiteral("6f1c2b0a-3d4e-4f50-8a9b-0c1d2e3f4a5b"))),
            "Lab", "Lab"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        directory.setNickname(row.key, row.typed);
        EXPECT_EQ(directory.displayName(row.key, row.key), row.shown);
        EXPECT_EQ(book.defaults.value(key).toObject().value(row.key).toString(),
            row.shown == row.key ? QString() : row.shown);
    }
    EXPECT_EQ(book.defaults.value(key).toObject().value("Studio"), QJsonValue(7))
        << "an entry this program cannot read is left for whoever wrote it";
    EXPECT_EQ(ScreenDirectory::remoteKey(
                  QUuid::fromString(QStringLiteral("6f1c2b0a-3d4e-4f50-8a9b-0c1d2e3f4a5b"))),
        "remote:6F1C2B0A-3D4E-4F50-8A9B-0C1D2E3F4A5B");
    // Every step but the one that typed what was stored already.
    EXPECT_EQ(changed.count(), 4);
}

TEST(ScreenDirectory, GroupsAreMadeRenamedFilledAndDeletedWithoutLosingWhatElseIsStored)
{
    Book book;
    const QString key = QString::fromLatin1(ScreenDirectory::kGroupsKey);
    const QJsonObject unreadable {{"name", "no id"}};
    const QJsonObject synced {{"id", "0b7c3f6e-8a21-4d5e-9f10-2c3d4e5f6a7b"}, {"name", "Upstairs"},
        {"members", QJsonArray {"Attic"}}, {"colour", "blue"}};
    book.defaults.set(key, QJsonArray {unreadable, synced});
    ScreenDirectory directory(book.defaults);
    QSignalSpy changed(&directory, &ScreenDirectory::groupsChanged);
    ASSERT_EQ(directory.groups().size(), 1);
    const QUuid upstairs = directory.groups().first().id;

    EXPECT_FALSE(directory.addGroup(QStringLiteral("  \t")));
    const std::optional<QUuid> made = directory.addGroup(QStringLiteral(" Rooms "),
        {QStringLiteral("Kitchen"), QStringLiteral("Hall"), QStringLiteral("Kitchen")});
    ASSERT_TRUE(made);

    struct Step {
        const char* what;
        std::function<bool()> change;
        bool done;
    };
    const QUuid gone = QUuid::createUuid();
    const Step steps[] = {
        {"rename", [&] { return directory.renameGroup(*made, QStringLiteral("Meeting rooms")); },
            true},
        {"blank name refused", [&] { return directory.renameGroup(*made, QStringLiteral(" ")); },
            false},
        {"members, each once",
            [&] {
                return directory.setGroupMembers(*made,
                    {QStringLiteral("Hall"), QStringLiteral("Studio"), QStringLiteral("Hall")});
            },
            true},
        {"a group that is not there", [&] { return directory.removeGroup(gone); }, false},
        {"the synced one renamed",
            [&] { return directory.renameGroup(upstairs, QStringLiteral("Top floor")); }, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(step.change(), step.done);
    }

    ASSERT_EQ(directory.groups().size(), 2);
    const ScreenGroup rooms = directory.groups().last();
    EXPECT_EQ(rooms.id, *made);
    EXPECT_EQ(rooms.name, "Meeting rooms");
    EXPECT_EQ(rooms.members, QStringList({"Hall", "Studio"}));
    EXPECT_EQ(directory.groups().first().name, "Top floor");
    // Stored as it was read besides the change: the unreadable entry, a field not known here,
    // upper-case ids as every other copy writes them.
    const QJsonArray stored = book.stored();
    ASSERT_EQ(stored.size(), 3);
    EXPECT_EQ(stored.at(0).toObject(), unreadable);
    EXPECT_EQ(stored.at(1)["colour"].toString(), "blue");
    EXPECT_EQ(stored.at(2)["id"].toString(), made->toString(QUuid::WithoutBraces).toUpper());

    EXPECT_TRUE(directory.removeGroup(*made));
    EXPECT_EQ(directory.groups().size(), 1);
    EXPECT_EQ(book.stored().size(), 2);
    // Made, renamed, filled, the other renamed, removed: each once.
    EXPECT_EQ(changed.count(), 5);
}
