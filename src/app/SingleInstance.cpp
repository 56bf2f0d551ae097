#include "app/SingleInstance.h"

#include "app/AppLog.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <unistd.h>

namespace korvane {

SingleInstance::SingleInstance(const QString& lockPath) : m_path(lockPath), m_lock(lockPath)
{
    // The lock is held for days; only a dead owner makes it stale, never its age.
    m_lock.setStaleLockTime(0);
}

SingleInstance::Result SingleInstance::tryAcquire()
{
    if (m_lock.isLocked())
        return Result::Acquired;
    if (m_lock.tryLock(0))
        return Result::Acquired;
    if (m_lock.error() == QLockFile::LockFailedError)
        return Result::AlreadyRunning;
    qCWarning(lcApp) << "cannot create the lock file" << m_path;
    return Result::Unavailable;
}

QString SingleInstance::defaultLockPath()
{
    const QString name = QStringLiteral("/korvane.lock");
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && QDir().mkpath(runtime))
        return runtime + name;
    // Per user, so that two users on one machine do not shut each other out.
    const QString fallback = QDir::tempPath() + QStringLiteral("/korvane-%1").arg(::getuid());
    if (QDir().mkpath(fallback))
        QFile::setPermissions(fallback,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return fallback + name;
}

} // namespace korvane
