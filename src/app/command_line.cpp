#include "app/command_line.h"

#include "app/single_instance.h"

namespace vesker {

QString CommandLine::help()
{
    return QStringLiteral(
        "Usage: vesker [vesker://INVITE-LINK]\n"
        "Turns this computer into a screen that phones, browsers and other computers send\n"
        "photos, short texts and PDFs to over the local network.\n"
        "\n"
        "With an invite link, the running copy of Vesker opens it; if none runs, Vesker\n"
        "starts and opens it.\n"
        "\n"
        "  --help     print this help and exit\n"
        "  --version  print the version and exit\n"
        "\n"
        "Items are kept in ~/Pictures/Vesker, settings in $XDG_CONFIG_HOME/Vesker.\n"
        "See vesker(1) for more.\n");
}

CommandLine CommandLine::parse(const QStringList& arguments, const QString& version)
{
    for (const QString& argument : arguments.mid(1)) {
        if (!argument.startsWith(QLatin1Char('-')))
            continue;
        if (argument == QLatin1String("--help"))
            return {.action = Action::print, .text = help()};
        if (argument == QLatin1String("--version"))
            return {.action = Action::print, .text = QStringLiteral("vesker %1\n").arg(version)};
        return {.action = Action::refuse,
            .text = QStringLiteral("vesker: unknown option '%1'\n"
                                   "Try 'vesker --help' for more information.\n")
                        .arg(argument),
            .exitStatus = 2};
    }
    return {.invite = SingleInstance::inviteArgument(arguments)};
}

} // namespace vesker
