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
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

// What a menu of installed applications offers, read from the files of the user's and the
// system's applications folders, in a German session.
TEST(DesktopApps, MenusListWhatTheFilesSay)
{
    struct Row {
        const char* id;
        QByteArray body; // after "[Desktop Entry]\n"
        QString listedAs; // empty: not offered
        QString icon = {};
    };
    const QList<Row> rows {
        {"org.example.Slides", "Type=Application\nName=Slides\nIcon=slides\n", u"Slides"_s,
            u"slides"_s},
        {"call", "Name[de]=Anruf\nName=Call\nName[de_DE]=Telefonat\nType=Application\n",
            u"Telefonat"_s},
        {"notes", "Type=Application\nName[fr]=Notes FR\nName[de]=Notizen\nName=Notes\n",
            u"Notizen"_s},
        {"escaped", "Type=Application\nName=two\\sWords\n", u"two Words"_s},
        {"no-name", "Type=Application\nIcon=/opt/x.png\n", u"no-name"_s, u"/opt/x.png"_s},
        // An action's name is not the application's.
        {"actions", "Type=Application\nName=Mail\n[Desktop Action new]\nName=New Message\n",
            u"Mail"_s},
        {"helper", "Type=Application\nName=Helper\nNoDisplay=true\n", {}},
        {"removed", "Type=Application\nName=Removed\nHidden=true\n", {}},
        {"link", "Type=Link\nName=Web Site\nURL=http://127.0.0.1/\n", {}},
        {"nothing-typed", "Name=Untyped\n", {}},
    };
    const QString system = test::testHome() + u"/system-data"_s;
    qputenv("XDG_DATA_DIRS", system.toLocal8Bit());
    const QString userApps = qEnvironmentVariable("XDG_DATA_HOME") + u"/applications/"_s;
    for (const Row& row : rows)
        writeFile(system + u"/applications/"_s + QLatin1String(row.id) + u".desktop"_s,
            "[Desktop Entry]\n" + row.body);
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

    QStringList names;
    for (const auto& app : listed)
        names.append(app.name);
    EXPECT_EQ(names,
        QStringList({u"Mail"_s, u"no-name"_s, u"Notizen"_s, u"Slides"_s, u"Telefonat"_s,
            u"two Words"_s, u"Viewer"_s}));
    for (const Row& row : rows) {
        const auto app = std::find_if(listed.begin(), listed.end(),
            [&](const auto& a) { return a.id == QLatin1String(row.id); });
        if (app != listed.end())
            EXPECT_EQ(app->iconName, row.icon) << row.id;
    }
    const auto viewer = index.find(u"kde-viewer"_s);
    ASSERT_TRUE(viewer);
    EXPECT_EQ(platform::DesktopAppIndex::idOfFile(viewer->filePath), u"kde-viewer"_s);
    // Kept out of menus, yet its windows are still known by it.
    EXPECT_TRUE(index.find(u"helper"_s));
    EXPECT_FALSE(index.find(u"shadowed"_s));
}
