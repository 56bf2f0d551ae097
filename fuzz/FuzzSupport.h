#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Shared pieces of the libFuzzer targets. A failed check aborts, which libFuzzer
// reports as a crash and saves the input.
#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            ::korvane::fuzz::fail(__FILE__, __LINE__, #cond);                                                \
    } while (false)

namespace korvane::fuzz {

[[noreturn]] void fail(const char* file, int line, const char* condition);

// Points HOME and XDG_CONFIG_HOME at a private temporary directory, once per
// process, so that no target touches the real home. Returns it.
const QString& isolatedHome();

// Leaves dir existing and empty.
void emptyDirectory(const QString& dir);

bool writeFile(const QString& path, const QByteArray& bytes);
bool readFile(const QString& path, QByteArray& out);

} // namespace korvane::fuzz
