#include "cli/CliOptions.h"

namespace korvane {

CliOptions CliOptions::parse(const QStringList& args)
{
    CliOptions options;
    for (const QString& arg : args) {
        if (arg == u"--json")
            options.json = true;
        else if (arg == u"--follow")
            options.follow = true;
        else if (arg == u"--help" || arg == u"-h")
            options.help = true;
        else if (arg == u"--version")
            options.version = true;
        else if (arg.startsWith(u'-'))
            options.error = QStringLiteral("unknown option '%1' (try --help)").arg(arg);
        else
            options.error = QStringLiteral("unexpected argument '%1' (try --help)").arg(arg);
        if (!options.error.isEmpty())
            break;
    }
    return options;
}

QString CliOptions::usage()
{
    return QStringLiteral("Usage: korvane-status [--json] [--follow]\n"
                          "Prints what your AI coding agents are doing, as Korvane's light shows it.\n"
                          "\n"
                          "  --json      one line of JSON for a waybar custom module: text, tooltip (one\n"
                          "              line per editor window), and class and alt set to the state:\n"
                          "              working, waiting, idle, error or unknown\n"
                          "  --follow    keep running and print a new line whenever the status changes\n"
                          "  -h, --help  show this help\n"
                          "  --version   show the version\n");
}

} // namespace korvane
