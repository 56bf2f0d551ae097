#include "TestMain.h"

#include <QTemporaryDir>

namespace korvane::test {

QString isolateHome()
{
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/korvane-test-XXXXXX"));
    if (!home.isValid())
        qFatal("cannot create a temporary HOME");
    for (const char* sub : {"", "/.config", "/run"}) {
        QDir().mkpath(home.path() + QLatin1String(sub));
        QFile::setPermissions(home.path() + QLatin1String(sub),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path() + QStringLiteral("/run")));
    return home.path();
}

QByteArray contentsOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace korvane::test
