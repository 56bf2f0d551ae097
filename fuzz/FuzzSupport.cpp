#include "FuzzSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace korvane::fuzz {

void fail(const char* file, int line, const char* condition)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

const QString& isolatedHome()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/korvane-fuzz-XXXXXX"));
    static const QString path = [] {
        FUZZ_CHECK(dir.isValid() && QDir().mkpath(dir.path() + QStringLiteral("/.config")));
        qputenv("HOME", QFile::encodeName(dir.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/.config")));
        return dir.path();
    }();
    return path;
}

void emptyDirectory(const QString& dir)
{
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

bool readFile(const QString& path, QByteArray& out)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && (out = f.readAll(), true);
}

std::vector<QByteArray> split(const std::uint8_t* data, std::size_t size, const QByteArray& separator,
                              std::size_t maxParts)
{
    const QByteArray all(reinterpret_cast<const char*>(data), qsizetype(size));
    std::vector<QByteArray> parts;
    qsizetype from = 0;
    for (qsizetype at = 0; parts.size() + 1 < maxParts && (at = all.indexOf(separator, from)) >= 0;
         from = at + separator.size())
        parts.push_back(all.mid(from, at - from));
    parts.push_back(all.mid(from));
    return parts;
}

} // namespace korvane::fuzz
