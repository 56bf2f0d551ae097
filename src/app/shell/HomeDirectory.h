#pragma once

#include <QString>

namespace korvane {

// Everything Korvane keeps lives under the home directory, which Qt takes from
// HOME alone: without it (a root shell, a service) that would be "/".
class HomeDirectory {
public:
    // Sets HOME from the password database when it is unset or empty. False,
    // with the reason in `error`, when the account has no home folder either.
    static bool ensure(QString* error);
};

} // namespace korvane
