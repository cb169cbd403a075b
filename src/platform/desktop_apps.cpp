#include "platform/desktop_apps.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

namespace vesker::platform {

namespace {

// .desktop files are small; anything larger is not one we want to parse on the main thread.
constexpr qint64 kMaxFileSize = 256 * 1024;

// Exec= may start with "env VAR=value" and quote its program.
QString executableOf(const QString& exec)
{
    const QStringList words = QProcess::splitCommand(exec);
    for (const QString& word : words) {
        if (word == QLatin1String("env") || word.contains(QLatin1Char('=')))
            continue;
        return QFileInfo(word).fileName();
    }
    return {};
}

} // namespace

QStringList DesktopAppIndex::folders()
{
    QStringList dataDirs;
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    dataDirs.append(home.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : home);
    QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    if (system.isEmpty())
        system = QStringLiteral("/usr/local/share:/usr/share");
    dataDirs += system.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    QStringList result;
    for (const QString& dir : dataDirs)
        result.append(QDir::cleanPath(dir + QStringLiteral("/applications")));
    result.removeDuplicates();
    return result;
}

QString DesktopAppIndex::idOfFile(const QString& path)
{
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(QLatin1String(".desktop")))
        name.chop(8);
    return name;
}

std::optional<DesktopApp> DesktopAppIndex::readFile(const QString& path, const QString& id)
{
    QFile file(path);
    if (file.size() > kMaxFileSize || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    DesktopApp app {.id = id};
    bool inEntry = false;
    bool isApplication = false;
    bool hidden = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inEntry || eq <= 0 || line.startsWith(QLatin1Char('#')))
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Type"))
            isApplication = value == QLatin1String("Application");
        else if (key == QLatin1String("Name"))
            app.name = value;
        else if (key == QLatin1String("Icon"))
            app.iconName = value;
        else if (key == QLatin1String("StartupWMClass"))
            app.startupWmClass = value;
        else if (key == QLatin1String("Exec"))
            app.executable = executableOf(value);
        else if (key == QLatin1String("Hidden"))
            hidden = value == QLatin1String("true");
    }
    if (!isApplication || hidden)
        return std::nullopt;
    if (app.name.isEmpty())
        app.name = id;
    return app;
}

void DesktopAppIndex::refreshIfChanged()
{
    QList<std::pair<QString, QDateTime>> stamps;
    for (const QString& folder : folders())
        stamps.append({folder, QFileInfo(folder).lastModified()});
    if (m_loaded && stamps == m_stamps)
        return;
    m_stamps = stamps;
    m_loaded = true;
    m_apps.clear();
    m_byWmClass.clear();
    m_byId.clear();
    m_byExecutable.clear();

    QSet<QString> seenIds;
    for (const auto& [folder, stamp] : stamps) {
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files,
            QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext()) {
            const QString path = it.next();
            // A file in a subfolder "kde/app.desktop" has the id "kde-app".
            QString id = QDir(folder).relativeFilePath(path);
            id.chop(8);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            // The first folder that has an id owns it, even with a hiding entry.
            if (seenIds.contains(id))
                continue;
            seenIds.insert(id);
            const auto app = readFile(path, id);
            if (!app)
                continue;
            const qsizetype index = m_apps.size();
            m_apps.append(*app);
            if (!app->startupWmClass.isEmpty())
                m_byWmClass.insert(app->startupWmClass.toLower(), index);
            m_byId.insert(id.toLower(), index);
            if (!app->executable.isEmpty() && !m_byExecutable.contains(app->executable))
                m_byExecutable.insert(app->executable, index);
        }
    }
}

std::optional<DesktopApp> DesktopAppIndex::match(
    const QString& wmInstance, const QString& wmClass, const QString& executable)
{
    refreshIfChanged();
    for (const auto* table : {&m_byWmClass, &m_byId}) {
        for (const QString& name : {wmClass, wmInstance}) {
            if (name.isEmpty())
                continue;
            const auto it = table->constFind(name.toLower());
            if (it != table->constEnd())
                return m_apps.at(*it);
        }
    }
    if (!executable.isEmpty()) {
        const auto it = m_byExecutable.constFind(executable);
        if (it != m_byExecutable.constEnd())
            return m_apps.at(*it);
    }
    return std::nullopt;
}

std::optional<DesktopApp> DesktopAppIndex::find(const QString& id)
{
    refreshIfChanged();
    const auto it = m_byId.constFind(id.toLower());
    if (it == m_byId.constEnd())
        return std::nullopt;
    return m_apps.at(*it);
}

} // namespace vesker::platform
