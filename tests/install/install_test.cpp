// The tree `cmake --install` makes, as a Linux desktop and a packager read it: the entry and the
// metainfo pass the desktop's own validators, the icon is found by the application id in the
// hicolor theme, and the installed program runs from there with the helper installed beside it.
#include "harness.h"
#include "installed.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QIcon>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <sys/mount.h>

using namespace vesker::e2e;
using namespace vesker::install;

TEST_F(Installed, DesktopEntryAndMetainfoPassTheDesktopsValidators)
{
    const struct {
        QString file;
        QString validator;
        QStringList arguments;
    } cases[] = {
        {"share/applications/" + kAppId + ".desktop", "desktop-file-validate", {}},
        {"share/metainfo/" + kAppId + ".metainfo.xml", "appstreamcli", {"validate", "--no-net"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        ASSERT_TRUE(QFile::exists(usr(c.file)));
        const Finished check = run(c.validator, c.arguments + QStringList {usr(c.file)});
        EXPECT_EQ(check.exitCode, 0) << check.output.toStdString();
    }

    // What a desktop matches up: the launchable named by the metainfo is the installed entry,
    // and the entry starts the installed program by name for the vesker:// links.
    const QByteArray metainfo
        = vesker::test::fileBytes(usr("share/metainfo/" + kAppId + ".metainfo.xml"));
    EXPECT_TRUE(metainfo.contains("<id>com.halvane.Vesker</id>"));
    EXPECT_TRUE(metainfo.contains(
        "<launchable type=\"desktop-id\">com.halvane.Vesker.desktop</launchable>"));
    EXPECT_TRUE(metainfo.contains("<release version=\"" VESKER_VERSION "\""));
    const QList<QByteArray> entry
        = vesker::test::fileBytes(usr("share/applications/" + kAppId + ".desktop")).split('\n');
    for (const QByteArray line :
        {"Exec=vesker %u", "Icon=com.halvane.Vesker", "MimeType=x-scheme-handler/vesker;"})
        EXPECT_TRUE(entry.contains(line)) << line.toStdString();
    EXPECT_TRUE(QFileInfo(usr("bin/vesker")).isExecutable());
}

TEST_F(Installed, IconIsFoundByTheApplicationIdInTheHicolorTheme)
{
    // As a desktop looks: the tree's share folder first among the XDG data folders, where the
    // theme's index comes from (hicolor-icon-theme).
    QIcon::setThemeSearchPaths(QStringList {usr("share/icons")}
        + QStandardPaths::locateAll(
            QStandardPaths::GenericDataLocation, "icons", QStandardPaths::LocateDirectory));
    QIcon::setThemeName("hicolor");
    ASSERT_TRUE(QIcon::hasThemeIcon(kAppId));
    const QIcon icon = QIcon::fromTheme(kAppId);
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(side);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(side, side)));
        const QString png
            = usr(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(side).arg(kAppId));
        EXPECT_EQ(QImage(png).size(), QSize(side, side)) << png.toStdString();
    }
    // A 16-pixel panel gets the drawing made for it, not the large one scaled down.
    EXPECT_EQ(icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32),
        QImage(usr("share/icons/hicolor/16x16/apps/" + kAppId + ".png"))
            .convertToFormat(QImage::Format_ARGB32));
    EXPECT_TRUE(QFile::exists(usr("share/icons/hicolor/scalable/apps/" + kAppId + ".svg")));
}

TEST_F(Installed, ProgramServesAndReadsCodesWithItsInstalledHelper)
{
    // The helper in the build tree would stand in for a missing installed one: this process and
    // the program see an empty file there instead, in a mount namespace of their own.
    if (geteuid() != 0)
        GTEST_SKIP() << "hiding the build tree's helper needs root";
    const QString blank = s_destdir->path() + "/blank";
    QFile(blank).open(QIODevice::WriteOnly);
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0) << strerror(errno);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0) << strerror(errno);
    ASSERT_EQ(::mount(QFile::encodeName(blank).constData(), VESKER_BARCODE_HELPER_BUILD_PATH,
                  nullptr, MS_BIND, nullptr),
        0)
        << strerror(errno);

    // Tesseract's worker threads spin while they wait; beside the other tests' recognition
    // they can take minutes over one photo; with one thread it takes seconds.
    qputenv("OMP_THREAD_LIMIT", "1");
    Vesker vesker({{"recognizeOnArrival", true}, {"allowBrowserScreens", true}});
    vesker.useProgram(usr("bin/vesker"));
    ASSERT_TRUE(vesker.start());
    EXPECT_EQ(QJsonDocument::fromJson(vesker.info().body)["inbox"].toInt(-1), 0);

    QImage page = vesker::test::whitePage(480, 360);
    QPainter(&page).drawImage(160, 100,
        vesker::test::barcodeImage(ZXing::BarcodeFormat::QRCode, "vesker install", 160, 160));
    QByteArray photo;
    QBuffer buffer(&photo);
    ASSERT_TRUE(page.save(&buffer, "JPG", 95));
    ASSERT_EQ(vesker.upload(Kind::photo, photo).status, 200);

    // Text recognition runs on the same photo first; beside the other tests' recognition on a
    // busy machine it has taken most of a minute.
    QStringList codes;
    const QDeadlineTimer deadline(90000);
    while (codes.isEmpty() && !deadline.hasExpired()) {
        QThread::msleep(100);
        const Reply items = exchange(vesker.port, kBoundMs,
            "GET /api/items HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        for (const QJsonValue& item : QJsonDocument::fromJson(items.body)["items"].toArray()) {
            for (const QJsonValue& code : item["barcodes"].toArray())
                codes.append(code.toString());
        }
    }
    EXPECT_EQ(codes, QStringList {"QR vesker install"});
}
