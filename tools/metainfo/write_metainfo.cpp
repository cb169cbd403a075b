// Writes the installed AppStream metainfo from its template, with <releases> taken from the
// program's own release notes, so that what a software centre shows as new is what the program
// shows after an upgrade:
//   vesker_write_metainfo <template> <out> <project version>
//
// AppStream wants a date on every release and the notes carry none, so only the release being
// built is listed, dated by the source (SOURCE_DATE_EPOCH, as reproducible builds set it) or
// else by the day of the build.
#include "store/whats_new.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

QString releases(const QString& version)
{
    const QByteArray epoch = qgetenv("SOURCE_DATE_EPOCH");
    const QDate date = epoch.isEmpty()
        ? QDateTime::currentDateTimeUtc().date()
        : QDateTime::fromSecsSinceEpoch(epoch.toLongLong(), Qt::UTC).date();
    QString description;
    for (const QString& paragraph : vesker::WhatsNew::notes(version)->split(QStringLiteral("\n\n")))
        description += QStringLiteral("\n        <p>%1</p>").arg(paragraph.toHtmlEscaped());
    return QStringLiteral("<releases>\n"
                          "    <release version=\"%1\" date=\"%2\">\n"
                          "      <description>%3\n"
                          "      </description>\n"
                          "    </release>\n"
                          "  </releases>")
        .arg(version.toHtmlEscaped(), date.toString(Qt::ISODate), description);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fputs("usage: vesker_write_metainfo template out version\n", stderr);
        return 2;
    }
    const QString version = args[3];
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
    text.replace(QLatin1String("@RELEASES@"), releases(version));
    QSaveFile out(args[2]);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit()) {
        std::fprintf(stderr, "vesker_write_metainfo: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
