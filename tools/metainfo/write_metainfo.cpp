// Writes the installed AppStream metainfo from its template, with <releases> taken from the
// program's own release notes, and the package's Debian changelog from the same notes, so that
// what a software centre shows as new, what the package says changed and what the program shows
// after an upgrade are one text:
//   vesker_write_metainfo <template> <metainfo out> <changelog out> <version> <maintainer>
//
// AppStream and Debian want a date on every release and the notes carry none, so only the
// release being built is listed, in both, dated by the source (SOURCE_DATE_EPOCH, as
// reproducible builds set it) or else by the day of the build.
#include "store/whats_new.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSaveFile>

#include <cstdio>

namespace {

QDateTime releaseTime()
{
    const QByteArray epoch = qgetenv("SOURCE_DATE_EPOCH");
    return epoch.isEmpty() ? QDateTime(QDateTime::currentDateTimeUtc().date(), {}, Qt::UTC)
                           : QDateTime::fromSecsSinceEpoch(epoch.toLongLong(), Qt::UTC);
}

QStringList paragraphs(const QString& version)
{
    return vesker::WhatsNew::notes(version)->split(QStringLiteral("\n\n"));
}

QString releases(const QString& version, const QDateTime& time)
{
    QString description;
    for (const QString& paragraph : paragraphs(version))
        description += QStringLiteral("\n        <p>%1</p>").arg(paragraph.toHtmlEscaped());
    return QStringLiteral("<releases>\n"
                          "    <release version=\"%1\" date=\"%2\">\n"
                          "      <description>%3\n"
                          "      </description>\n"
                          "    </release>\n"
                          "  </releases>")
        .arg(version.toHtmlEscaped(), time.date().toString(Qt::ISODate), description);
}

// One paragraph as a changelog item: "  * " then words, continued under the first, within 80
// columns (a word longer than a line stands alone).
QString changelogItem(const QString& paragraph)
{
    QString item;
    QString line = QStringLiteral("  *");
    for (const QString& word : paragraph.simplified().split(QLatin1Char(' '))) {
        if (line.size() + 1 + word.size() > 79 && line.size() > 4) {
            item += line + QLatin1Char('\n');
            line = QStringLiteral("   ");
        }
        line += QLatin1Char(' ') + word;
    }
    return item + line + QLatin1Char('\n');
}

QString changelog(const QString& version, const QDateTime& time, const QString& maintainer)
{
    QString items;
    for (const QString& paragraph : paragraphs(version))
        items += changelogItem(paragraph);
    return QStringLiteral("vesker (%1) unstable; urgency=medium\n\n%2\n -- %3  %4\n")
        .arg(version, items, maintainer,
            QLocale::c().toString(time, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss +0000")));
}

bool write(const QString& path, const QString& text)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit()) {
        std::fprintf(stderr, "vesker_write_metainfo: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 6) {
        std::fputs("usage: vesker_write_metainfo template metainfo changelog version maintainer\n",
            stderr);
        return 2;
    }
    const QString version = args[4];
    // The project's version is the newest release's (what's-new shows its notes on upgrade).
    if (vesker::WhatsNew::versions().value(0) != version) {
        std::fprintf(stderr,
            "vesker_write_metainfo: the newest release notes are for %s, the project is %s\n",
            qPrintable(vesker::WhatsNew::versions().value(0)), qPrintable(version));
        return 1;
    }
    QFile in(args[1]);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "vesker_write_metainfo: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    QString text = QString::fromUtf8(in.readAll());
    if (!text.contains(QLatin1String("@RELEASES@"))) {
        std::fprintf(stderr, "vesker_write_metainfo: no @RELEASES@ in %s\n", qPrintable(args[1]));
        return 1;
    }
    const QDateTime time = releaseTime();
    text.replace(QLatin1String("@RELEASES@"), releases(version, time));
    return write(args[2], text) && write(args[3], changelog(version, time, args[5])) ? 0 : 1;
}
