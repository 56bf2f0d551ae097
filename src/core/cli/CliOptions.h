#pragma once

#include <QString>
#include <QStringList>

namespace korvane {

// The command line of korvane-status.
struct CliOptions {
    bool json = false;
    bool follow = false;
    bool help = false;
    bool version = false;
    // One line for standard error; empty when the arguments are fine.
    QString error;

    // The arguments without the program name.
    static CliOptions parse(const QStringList& args);
    static QString usage();
};

} // namespace korvane
