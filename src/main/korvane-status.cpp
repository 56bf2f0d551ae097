#include "cli/CliOptions.h"
#include "cli/StatusPrinter.h"
#include "status/StatusStore.h"

#include <QCoreApplication>
#include <cstdio>

using namespace korvane;

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const CliOptions options = CliOptions::parse(args);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "korvane-status: %s\n", qUtf8Printable(options.error));
        return 2;
    }
    if (options.help) {
        std::fputs(qUtf8Printable(CliOptions::usage()), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("korvane-status " KORVANE_VERSION);
        return 0;
    }

    QCoreApplication app(argc, argv);
    StatusStore store;
    StatusPrinter printer(store, options.json ? StatusPrinter::Format::Json : StatusPrinter::Format::Text,
                          stdout);
    if (!options.follow) {
        store.refresh();
        return printer.printIfChanged() ? 0 : 1;
    }
    store.start();
    if (!printer.printIfChanged())
        return 1;
    printer.follow();
    QObject::connect(&printer, &StatusPrinter::outputFailed, &app, [] { QCoreApplication::exit(1); });
    return QCoreApplication::exec();
}
