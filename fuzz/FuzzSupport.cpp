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
        if (!dir.isValid())
            fail(__FILE__, __LINE__, "temporary home");
        QDir().mkpath(dir.path() + QStringLiteral("/.config"));
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
    if (!f.open(QIODevice::ReadOnly))
        return false;
    out = f.readAll();
    return true;
}

} // namespace korvane::fuzz
