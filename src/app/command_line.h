#pragma once

#include <QString>
#include <QStringList>

namespace vesker {

// What the program's arguments ask for, decided before anything starts: no display, no running
// copy, no port and no file is touched to answer --help, --version or a mistyped option.
struct CommandLine {
    enum class Action {
        run, // start, or hand `invite` (may be empty) to the running copy
        print, // write `text` to standard output and exit with `exitStatus`
        refuse, // write `text` to standard error and exit with `exitStatus`
    };

    Action action = Action::run;
    QString invite;
    QString text;
    int exitStatus = 0;

    // `arguments` as main() receives them, the program's name first. Options are read left to
    // right and the first one decides; anything else that starts with "-" is refused (Qt's own
    // options included: the platform is chosen through QT_QPA_PLATFORM).
    static CommandLine parse(const QStringList& arguments, const QString& version);

    static QString help();
};

} // namespace vesker
