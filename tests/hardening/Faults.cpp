#include "Faults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/mount.h>
#include <unistd.h>

namespace korvane::test {

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() && f.flush();
}

TmpfsMount::TmpfsMount(const QString& dir, int kilobytes) : m_dir(dir)
{
    if (::geteuid() != 0) {
        m_error = QStringLiteral("mounting a tmpfs needs root");
        return;
    }
    QDir().mkpath(dir);
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
    if (::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, options.constData()) != 0) {
        m_error = QStringLiteral("mount -t tmpfs failed: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_mounted = true;
}

TmpfsMount::~TmpfsMount()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir).constData(), MNT_DETACH);
}

bool TmpfsMount::remountReadOnly()
{
    return m_mounted && ::mount("tmpfs", QFile::encodeName(m_dir).constData(), "tmpfs",
                                MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

bool TmpfsMount::remountWritable(const QString& dir)
{
    return ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", MS_REMOUNT, nullptr) == 0;
}

bool TmpfsMount::fill()
{
    QFile filler(m_dir + QStringLiteral("/.filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size()) {
    }
    // Also exhaust the last partial block.
    while (filler.write("x", 1) == 1) {
    }
    return true;
}

std::optional<Account> unprivilegedAccount()
{
    if (::geteuid() != 0)
        return std::nullopt;
    const passwd* pw = ::getpwnam("nobody");
    if (!pw)
        return std::nullopt;
    return Account{pw->pw_uid, pw->pw_gid};
}

bool chownTree(const QString& path, uid_t uid, gid_t gid)
{
    if (::lchown(QFile::encodeName(path).constData(), uid, gid) != 0)
        return false;
    const QFileInfo info(path);
    if (!info.isDir() || info.isSymLink())
        return true;
    const auto entries =
        QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        if (!chownTree(path + u'/' + name, uid, gid))
            return false;
    }
    return true;
}

QStringList ChildResult::lines() const
{
    return QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
}

ChildResult runChild(const QStringList& args, const QProcessEnvironment& env, std::optional<Account> as)
{
    QProcess child;
    child.setProcessEnvironment(env);
    if (as) {
        const Account account = *as;
        child.setChildProcessModifier([account] {
            // Between fork and exec: only async-signal-safe calls.
            if (::setgroups(0, nullptr) != 0 || ::setgid(account.gid) != 0 || ::setuid(account.uid) != 0)
                ::_exit(70);
        });
    }
    child.setWorkingDirectory(QDir::tempPath());
    child.start(QStringLiteral(KORVANE_CHILD), args);
    ChildResult result;
    if (!child.waitForStarted(10000))
        return result;
    if (!child.waitForFinished(30000)) {
        child.kill();
        child.waitForFinished();
        result.crashed = true;
    }
    result.crashed = result.crashed || child.exitStatus() == QProcess::CrashExit;
    result.exitCode = child.exitCode();
    result.out = child.readAllStandardOutput();
    result.err = child.readAllStandardError();
    return result;
}

} // namespace korvane::test
