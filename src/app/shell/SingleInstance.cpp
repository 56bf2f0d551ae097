#include "shell/SingleInstance.h"

#include "shell/AppLog.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {
const QString kSocketName = QStringLiteral("/korvane.socket");
}

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), m_folder(folder), m_lock(folder + QStringLiteral("/korvane.lock"))
{
    // The lock is held for days; only a dead owner makes it stale, never its age.
    m_lock.setStaleLockTime(0);
}

SingleInstance::Result SingleInstance::tryAcquire()
{
    if (m_lock.isLocked())
        return Result::Acquired;
    if (!m_lock.tryLock(0)) {
        if (m_lock.error() != QLockFile::LockFailedError) {
            qCWarning(lcApp) << "cannot create the lock file in" << m_folder;
            return Result::Unavailable;
        }
        QLocalSocket socket;
        socket.connectToServer(m_folder + kSocketName);
        if (socket.waitForConnected(2000))
            socket.disconnectFromServer();
        return Result::AlreadyRunning;
    }
    // Whatever socket is left there belonged to a copy that is gone.
    QLocalServer::removeServer(m_folder + kSocketName);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_folder + kSocketName))
        qCWarning(lcApp) << "later launches cannot reach this one:" << m_server->errorString();
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection())
            socket->deleteLater();
        Q_EMIT showRequested();
    });
    return Result::Acquired;
}

QString SingleInstance::runtimeFolder(QString* error)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir().mkpath(runtime))
        return runtime;
    // Anyone may create this name first: use it only when it is ours and closed to others.
    const QString folder = QDir::tempPath() + QStringLiteral("/korvane-%1").arg(::getuid());
    const QByteArray path = QFile::encodeName(folder);
    ::mkdir(path.constData(), 0700);
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
        (info.st_mode & 077) != 0) {
        *error = QStringLiteral("Korvane: %1 must be a folder of yours that only you can open "
                                "(mode 0700); remove it, or set XDG_RUNTIME_DIR")
                     .arg(folder);
        return {};
    }
    return folder;
}

} // namespace korvane
