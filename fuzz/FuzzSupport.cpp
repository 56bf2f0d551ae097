#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace korvane::fuzz {

void fail(const char* file, int line, const char* condition)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

const QString& isolatedHome()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/korvane-fuzz-XXXXXX"));
    static const QString path = [] {
        if (!dir.isValid())
            fail(__FILE__, __LINE__, "temporary home");
        const QString home = dir.path();
        QDir().mkpath(home + QStringLiteral("/.config"));
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
        return home;
    }();
    return path;
}

void emptyDirectory(const QString& dir)
{
    QDir d(dir);
    if (!d.exists()) {
        QDir().mkpath(dir);
        return;
    }
    const auto entries =
        d.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& info : entries) {
        if (info.isDir() && !info.isSymLink())
            QDir(info.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(info.absoluteFilePath());
    }
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
