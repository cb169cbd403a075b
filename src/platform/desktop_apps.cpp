#include "platform/desktop_apps.h"

#include <QCollator>
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

// The escapes a desktop entry's string values may hold.
QString unescaped(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        switch (value.at(++i).unicode()) {
        case 's':
            out.append(QLatin1Char(' '));
            break;
        case 'n':
            out.append(QLatin1Char('\n'));
            break;
        case 't':
            out.append(QLatin1Char('\t'));
            break;
        case 'r':
            out.append(QLatin1Char('\r'));
            break;
        default:
            out.append(value.at(i));
            break;
        }
    }
    return out;
}

// "Name[de_DE]" beats "Name[de]", which beats "Name"; a smaller rank is a better match, and
// -1 is a key that is no name for this language.
int nameRank(const QString& key, const QLocale& locale)
{
    if (key == QLatin1String("Name"))
        return 2;
    if (!key.startsWith(QLatin1String("Name[")) || !key.endsWith(QLatin1Char(']')))
        return -1;
    QString wanted = key.mid(5, key.size() - 6);
    // A modifier ("sr@latin") is one we never ask for.
    if (wanted.contains(QLatin1Char('@')))
        return -1;
    const QString full = locale.name();
    const QString language = full.section(QLatin1Char('_'), 0, 0);
    if (wanted == full && full.contains(QLatin1Char('_')))
        return 0;
    if (wanted == language && language != QLatin1String("C"))
        return 1;
    return -1;
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
    const QString clean = QFileInfo(path).absoluteFilePath();
    QString name = QFileInfo(path).fileName();
    for (const QString& folder : folders()) {
        if (clean.startsWith(folder + QLatin1Char('/'))) {
            name = clean.mid(folder.size() + 1).replace(QLatin1Char('/'), QLatin1Char('-'));
            break;
        }
    }
    if (name.endsWith(QLatin1String(".desktop")))
        name.chop(8);
    return name;
}

std::optional<DesktopApp> DesktopAppIndex::readFile(
    const QString& path, const QString& id, const QLocale& locale)
{
    QFile file(path);
    if (file.size() > kMaxFileSize || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    DesktopApp app {.id = id, .filePath = path};
    bool inEntry = false;
    bool isApplication = false;
    bool hidden = false;
    int bestName = 3;
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
        const QString value = unescaped(line.mid(eq + 1).trimmed());
        const int rank = nameRank(key, locale);
        if (rank >= 0) {
            if (rank < bestName && !value.isEmpty()) {
                app.name = value;
                bestName = rank;
            }
        } else if (key == QLatin1String("Type"))
            isApplication = value == QLatin1String("Application");
        else if (key == QLatin1String("Icon"))
            app.iconName = value;
        else if (key == QLatin1String("StartupWMClass"))
            app.startupWmClass = value;
        else if (key == QLatin1String("Exec"))
            app.executable = executableOf(value);
        else if (key == QLatin1String("Hidden"))
            hidden = value == QLatin1String("true");
        else if (key == QLatin1String("NoDisplay"))
            app.noDisplay = value == QLatin1String("true");
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

QList<DesktopApp> DesktopAppIndex::listed()
{
    refreshIfChanged();
    QList<DesktopApp> apps;
    for (const DesktopApp& app : std::as_const(m_apps)) {
        if (!app.noDisplay)
            apps.append(app);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(),
        [&](const auto& a, const auto& b) { return collator.compare(a.name, b.name) < 0; });
    return apps;
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
