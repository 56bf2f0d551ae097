#include "TestMain.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace korvane::test {

QString isolateHome()
{
    // Lives until the process ends; removed then by its destructor.
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/korvane-test-XXXXXX"));
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot create a temporary HOME\n");
        std::abort();
    }
    const QString path = home.path();
    const auto set = [&](const char* name, const QString& sub) {
        const QString dir = sub.isEmpty() ? path : path + sub;
        QDir().mkpath(dir);
        qputenv(name, QFile::encodeName(dir));
    };
    set("HOME", QString());
    set("XDG_CONFIG_HOME", QStringLiteral("/.config"));
    set("XDG_DATA_HOME", QStringLiteral("/.local/share"));
    set("XDG_CACHE_HOME", QStringLiteral("/.cache"));
    set("XDG_STATE_HOME", QStringLiteral("/.local/state"));
    set("XDG_RUNTIME_DIR", QStringLiteral("/run"));
    QFile::setPermissions(path + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                             QFileDevice::ExeOwner);
    return path;
}

} // namespace korvane::test
