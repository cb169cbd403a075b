// What the Debian package says about itself, as a packager and Debian's own checker read it: the
// changelog and the AppStream metainfo tell one release, the copyright file names the licences
// the metainfo names, the manual page names what --help prints, and lintian finds no error and
// no warning in the package `make package` builds.
#include "app/command_line.h"
#include "installed.h"
#include "support/temp_env.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <iostream>

using namespace vesker;
using namespace vesker::install;

namespace {

struct Release {
    QString version;
    QString date;
    QStringList paragraphs;
};

// The one <release> of the installed metainfo, and the licences it names.
struct Metainfo {
    Release release;
    QString projectLicense;
    QString metadataLicense;
};

Metainfo readMetainfo(const QString& path)
{
    Metainfo metainfo;
    QXmlStreamReader xml(test::fileBytes(path));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"project_license") {
            metainfo.projectLicense = xml.readElementText();
        } else if (xml.name() == u"metadata_license") {
            metainfo.metadataLicense = xml.readElementText();
        } else if (xml.name() == u"release") {
            metainfo.release.version = xml.attributes().value("version").toString();
            metainfo.release.date = xml.attributes().value("date").toString();
        } else if (xml.name() == u"p" && !metainfo.release.version.isEmpty()) {
            metainfo.release.paragraphs.append(xml.readElementText().simplified());
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return metainfo;
}

// Debian's own reading of the changelog's newest entry: its version, its date and its items,
// each unwrapped into one line.
Release readChangelog(const QString& gzipped)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath("changelog");
    QFile file(plain);
    const Finished unpacked = run("gzip", {"-dc", gzipped});
    EXPECT_EQ(unpacked.exitCode, 0) << unpacked.output.toStdString();
    if (!file.open(QIODevice::WriteOnly) || file.write(unpacked.output.toUtf8()) < 0)
        return {};
    file.close();
    const auto field = [&](const char* name) {
        return run("dpkg-parsechangelog", {"-l", plain, "-S", name}).output.trimmed();
    };
    Release release {field("Version"),
        QDateTime::fromString(field("Date"), Qt::RFC2822Date).date().toString(Qt::ISODate)};
    for (const QString& line : field("Changes").split('\n')) {
        if (line.startsWith("  * "))
            release.paragraphs.append(line.mid(4));
        else if (line.startsWith("    ") && !release.paragraphs.isEmpty())
            release.paragraphs.last() += ' ' + line.trimmed();
    }
    return release;
}

// The copyright file's paragraphs, each as its fields (continuation lines joined to theirs).
QList<QMap<QString, QString>> readCopyright(const QString& path)
{
    QList<QMap<QString, QString>> paragraphs;
    QMap<QString, QString> paragraph;
    QString field;
    for (const QString& line : QString::fromUtf8(test::fileBytes(path)).split('\n')) {
        if (line.isEmpty()) {
            if (!paragraph.isEmpty())
                paragraphs.append(std::exchange(paragraph, {}));
        } else if (line.startsWith(' ')) {
            paragraph[field] += '\n' + line.mid(1);
        } else {
            field = line.section(':', 0, 0);
            paragraph[field] = line.section(':', 1).trimmed();
        }
    }
    if (!paragraph.isEmpty())
        paragraphs.append(paragraph);
    return paragraphs;
}

} // namespace

TEST_F(Installed, ChangelogTellsTheReleaseTheMetainfoTells)
{
    const QString changelog = usr("share/doc/vesker/changelog.gz");
    const Release metainfo
        = readMetainfo(usr("share/metainfo/" + kAppId + ".metainfo.xml")).release;
    const Release debian = readChangelog(changelog);
    EXPECT_EQ(debian.version, VESKER_VERSION);
    EXPECT_EQ(debian.version, metainfo.version);
    EXPECT_EQ(debian.date, metainfo.date);
    EXPECT_FALSE(debian.paragraphs.isEmpty());
    EXPECT_EQ(debian.paragraphs, metainfo.paragraphs);

    // Made with gzip -n: no file name and no time in the header, so two builds agree.
    const QByteArray bytes = test::fileBytes(changelog);
    ASSERT_GE(bytes.size(), 10);
    EXPECT_EQ(bytes[3] & 0x08, 0) << "a file name is stored";
    EXPECT_EQ(bytes.mid(4, 4), QByteArray(4, '\0')) << "a time is stored";
}

TEST_F(Installed, CopyrightNamesTheLicencesTheMetainfoNames)
{
    const auto paragraphs = readCopyright(usr("share/doc/vesker/copyright"));
    ASSERT_FALSE(paragraphs.isEmpty());
    EXPECT_EQ(paragraphs[0].value("Format"),
        "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/");

    QMap<QString, QString> licenceOf;
    QSet<QString> explained;
    for (const auto& paragraph : paragraphs) {
        const QString licence = paragraph.value("License").section('\n', 0, 0);
        if (paragraph.contains("Files")) {
            EXPECT_FALSE(paragraph.value("Copyright").isEmpty()) << paragraph.value("Files").toStdString();
            licenceOf[paragraph.value("Files")] = licence;
        }
        if (paragraph.value("License").contains('\n'))
            explained.insert(licence);
    }
    const Metainfo metainfo = readMetainfo(usr("share/metainfo/" + kAppId + ".metainfo.xml"));
    EXPECT_EQ(licenceOf.value("*"), metainfo.projectLicense);
    EXPECT_EQ(
        licenceOf.value("resources/" + kAppId + ".metainfo.xml.in"), metainfo.metadataLicense);
    // Each licence named is given, or pointed to, in the file itself.
    for (const QString& licence : licenceOf)
        EXPECT_TRUE(explained.contains(licence)) << licence.toStdString();
}

TEST_F(Installed, ManualPageNamesWhatHelpPrints)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MANWIDTH", "200");
    const Finished page
        = run("man", {"--warnings", "--nh", "--nj", "-l", usr("share/man/man1/vesker.1.gz")}, env);
    ASSERT_EQ(page.exitCode, 0) << page.output.toStdString();
    EXPECT_FALSE(page.output.contains("warning")) << page.output.toStdString();

    static const QRegularExpression option(
        QStringLiteral("^  (--[a-z-]+) "), QRegularExpression::MultilineOption);
    QStringList options;
    for (const auto& match : option.globalMatch(CommandLine::help()))
        options.append(match.captured(1));
    EXPECT_EQ(options, (QStringList {"--help", "--version"}));
    for (const QString& name : options)
        EXPECT_TRUE(page.output.contains("\n       " + name)) << name.toStdString();
    EXPECT_TRUE(page.output.contains("vesker " VESKER_VERSION));
}

TEST(Package, LintianFindsNoErrorOrWarning)
{
    ASSERT_FALSE(QStandardPaths::findExecutable("lintian").isEmpty())
        << "lintian is missing: scripts/install-deps installs it";
    // The package `make package` makes, written to a folder of this test's own.
    QTemporaryDir out(QDir::tempPath() + "/vesker-package-XXXXXX");
    const Finished pack = run(VESKER_CPACK,
        {"--config", VESKER_BUILD_DIR "/CPackConfig.cmake", "-G", "DEB", "-B", out.path()});
    ASSERT_EQ(pack.exitCode, 0) << pack.output.toStdString();
    const QStringList debs = QDir(out.path()).entryList({"vesker_*.deb"});
    ASSERT_EQ(debs.size(), 1) << pack.output.toStdString();

    const Finished lint = run("lintian",
        {"--fail-on", "error,warning", "--display-info", "--pedantic", out.filePath(debs[0])});
    // What remains (informational and pedantic tags) shows in the test's log.
    std::cout << lint.output.toStdString();
    EXPECT_EQ(lint.exitCode, 0);
    for (const QString& line : lint.output.split('\n'))
        EXPECT_FALSE(line.startsWith("E:") || line.startsWith("W:")) << line.toStdString();
}
