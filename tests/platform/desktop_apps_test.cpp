#include "platform/desktop_apps.h"

#include "support/temp_env.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

} // namespace

// What a menu of installed applications offers, read from the files of the user's and the
// system's applications folders, in a German session.
TEST(DesktopApps, MenusListWhatTheFilesSay)
{
    // Each file's id and what follows "[Desktop Entry]".
    const QList<std::pair<const char*, QByteArray>> files {
        {"org.example.Slides", "Type=Application\nName=Slides\nIcon=slides\n"},
        {"call", "Name[de]=Anruf\nName=Call\nName[de_DE]=Telefonat\nType=Application\n"},
        {"notes", "Type=Application\nName[fr]=Notes FR\nName[de]=Notizen\nName=Notes\n"},
        {"escaped", "Type=Application\nName=two\\sWords\n"},
        {"no-name", "Type=Application\nIcon=/opt/x.png\n"},
        // An action's name is not the application's.
        {"actions", "Type=Application\nName=Mail\n[Desktop Action new]\nName=New Message\n"},
        {"helper", "Type=Application\nName=Helper\nNoDisplay=true\n"},
        {"removed", "Type=Application\nName=Removed\nHidden=true\n"},
        {"link", "Type=Link\nName=Web Site\n"},
        {"nothing-typed", "Name=Untyped\n"},
    };
    const QString system = test::testHome() + u"/system-data"_s;
    qputenv("XDG_DATA_DIRS", system.toLocal8Bit());
    const QString userApps = qEnvironmentVariable("XDG_DATA_HOME") + u"/applications/"_s;
    for (const auto& [id, body] : files)
        writeFile(system + u"/applications/"_s + id + u".desktop"_s, "[Desktop Entry]\n" + body);
    writeFile(system + u"/applications/garbage.desktop"_s, QByteArray("\x00\xff[Desktop", 10));
    writeFile(system + u"/applications/huge.desktop"_s,
        "[Desktop Entry]\nType=Application\nName=Huge\n" + QByteArray(300 * 1024, '#'));
    // The user's own copy hides the system's; one in a subfolder has the folder in its id.
    writeFile(system + u"/applications/shadowed.desktop"_s,
        "[Desktop Entry]\nType=Application\nName=Old\n");
    writeFile(userApps + u"shadowed.desktop"_s, "[Desktop Entry]\nType=Application\nHidden=true\n");
    writeFile(
        userApps + u"kde/viewer.desktop"_s, "[Desktop Entry]\nType=Application\nName=Viewer\n");

    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    platform::DesktopAppIndex index;
    const QList<platform::DesktopApp> listed = index.listed();
    QLocale::setDefault(before);

    QStringList seen;
    for (const auto& app : listed)
        seen.append(app.name + u'|' + app.iconName);
    EXPECT_EQ(seen,
        QStringList({u"Mail|"_s, u"no-name|/opt/x.png"_s, u"Notizen|"_s, u"Slides|slides"_s,
            u"Telefonat|"_s, u"two Words|"_s, u"Viewer|"_s}));
    const auto viewer = index.find(u"kde-viewer"_s);
    ASSERT_TRUE(viewer);
    EXPECT_EQ(platform::DesktopAppIndex::idOfFile(viewer->filePath), u"kde-viewer"_s);
    // Kept out of menus, yet its windows are still known by it.
    EXPECT_TRUE(index.find(u"helper"_s));
    EXPECT_FALSE(index.find(u"shadowed"_s));
}
