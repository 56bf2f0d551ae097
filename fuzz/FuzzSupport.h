#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A failed check aborts: libFuzzer reports a crash and keeps the input.
#define FUZZ_CHECK(cond) ((cond) ? void() : ::korvane::fuzz::fail(__FILE__, __LINE__, #cond))

namespace korvane::fuzz {
[[noreturn]] void fail(const char* file, int line, const char* condition);
// HOME and XDG_CONFIG_HOME in a private temporary folder, once per process.
const QString& isolatedHome();
// Leaves dir existing and empty.
void emptyDirectory(const QString& dir);
bool writeFile(const QString& path, const QByteArray& bytes);
bool readFile(const QString& path, QByteArray& out);
// The input cut at each separator, into at most maxParts parts.
std::vector<QByteArray> split(const std::uint8_t* data, std::size_t size, const QByteArray& separator,
                              std::size_t maxParts);
} // namespace korvane::fuzz
