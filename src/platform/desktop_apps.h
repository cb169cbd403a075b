#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>

#include <optional>

namespace vesker::platform {

// What a .desktop file says about one application.
struct DesktopApp {
    QString id; // the file's desktop-file id, "org.gnome.Nautilus"
    QString name; // in the user's language where the file has it
    QString iconName; // a theme icon's name, or an absolute file
    QString startupWmClass;
    QString executable; // file name of the program Exec= starts
    QString filePath;
    // Installed but kept out of menus (helpers, handlers of links): still matched to windows.
    bool noDisplay = false;
};

// The applications installed for this user, read from the applications folders of
// $XDG_DATA_HOME and $XDG_DATA_DIRS. A window is tied to its .desktop file the way task bars do
// it: by StartupWMClass, then by a desktop-file id equal to its WM_CLASS, then by the program.
class DesktopAppIndex {
public:
    // Reads the folders again only when one of them changed, so asking at every arrival stays
    // cheap.
    std::optional<DesktopApp> match(
        const QString& wmInstance, const QString& wmClass, const QString& executable);
    std::optional<DesktopApp> find(const QString& id);
    // What a menu of applications offers: every installed one that menus show, by name.
    QList<DesktopApp> listed();

    // One file on its own; `id` is its desktop-file id. Nothing for a file that is not an
    // application or that a user's copy hides.
    static std::optional<DesktopApp> readFile(
        const QString& path, const QString& id, const QLocale& locale = QLocale());
    // Its path below an applications folder with "/" as "-", or else its file name, without
    // ".desktop".
    static QString idOfFile(const QString& path);

private:
    void refreshIfChanged();
    static QStringList folders();

    QList<std::pair<QString, QDateTime>> m_stamps;
    bool m_loaded = false;
    QList<DesktopApp> m_apps; // in the folders' order of precedence
    QHash<QString, qsizetype> m_byWmClass; // lower-case StartupWMClass
    QHash<QString, qsizetype> m_byId; // lower-case id
    QHash<QString, qsizetype> m_byExecutable;
};

} // namespace vesker::platform
