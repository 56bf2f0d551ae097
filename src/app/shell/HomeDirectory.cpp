#include "shell/HomeDirectory.h"

#include <QFileInfo>
#include <pwd.h>
#include <unistd.h>

namespace korvane {

bool HomeDirectory::ensure(QString* error)
{
    if (!qEnvironmentVariableIsEmpty("HOME"))
        return true;
    const passwd* account = ::getpwuid(::getuid());
    const QString home = account && account->pw_dir ? QFile::decodeName(account->pw_dir) : QString();
    if (home.isEmpty() || home == u"/" || !QFileInfo(home).isDir()) {
        *error = QStringLiteral("Korvane: HOME is not set and the account has no home folder; set HOME");
        return false;
    }
    qputenv("HOME", QFile::encodeName(home));
    return true;
}

} // namespace korvane
