#include "platform/launch_at_login.h"

#include "platform/app_id.h"
#include "platform/atomic_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace vesker::platform {

namespace {

QString autostartFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart");
}

QString earlierEntryPath()
{
    return autostartFolder() + QStringLiteral("/vesker.desktop");
}

bool removeIfThere(const QString& path, QString* error)
{
    if (!QFileInfo::exists(path) || QFile::remove(path))
        return true;
    if (error)
        *error = QStringLiteral("could not remove %1").arg(path);
    return false;
}

} // namespace

QString LaunchAtLogin::entryPath()
{
    return autostartFolder() + u'/' + QString::fromLatin1(kAppId) + QStringLiteral(".desktop");
}

bool LaunchAtLogin::isEnabled()
{
    return QFileInfo::exists(entryPath()) || QFileInfo::exists(earlierEntryPath());
}

QString LaunchAtLogin::execValue(const QString& program)
{
    // Two layers: inside the double quotes of an Exec argument '"', '`', '$' and '\' take a
    // backslash; then the whole value is a desktop-entry string, where '\' is doubled again.
    // '%' starts a field code anywhere in Exec, so a literal one is written "%%".
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    quoted.replace(u'%', QStringLiteral("%%"));
    return u'"' + quoted + u'"';
}

bool LaunchAtLogin::setEnabled(bool enabled, QString program, QString* error)
{
    const QString path = entryPath();
    if (!enabled)
        return removeIfThere(path, error) && removeIfThere(earlierEntryPath(), error);
    if (program.isEmpty())
        program = QCoreApplication::applicationFilePath();
    program = QFileInfo(program).absoluteFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error)
            *error = QStringLiteral("could not create %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Vesker\n"
                                         "Comment=Receive photos, texts and PDFs from phones\n"
                                         "Exec=%1\n"
                                         "Icon=%2\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execValue(program), QString::fromLatin1(kAppId));
    return writeFileAtomically(path, entry.toUtf8(), error)
        && removeIfThere(earlierEntryPath(), error);
}

} // namespace vesker::platform
