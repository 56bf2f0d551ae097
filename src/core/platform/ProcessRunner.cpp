#include "platform/ProcessRunner.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace korvane {

QString ProcessRunner::environOf(qint64 pid, const QByteArray& name) const
{
    const QByteArray prefix = name + '=';
    for (const QByteArray& entry : readFile(QStringLiteral("/proc/%1/environ").arg(pid)).split('\0')) {
        if (entry.startsWith(prefix))
            return QString::fromUtf8(entry.mid(prefix.size()));
    }
    return {};
}

QList<std::pair<qint64, QString>> ProcessRunner::ancestry(qint64 pid) const
{
    QList<std::pair<qint64, QString>> chain;
    while (pid > 1 && chain.size() < 12) {
        const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
        const qsizetype open = stat.indexOf('('), close = stat.lastIndexOf(')');
        if (open < 0 || close < open)
            break;
        chain.append({pid, QString::fromUtf8(stat.mid(open + 1, close - open - 1))});
        bool ok = false;
        const qint64 parent = stat.mid(close + 2).split(' ').value(1).toLongLong(&ok);
        if (!ok || parent == pid)
            break;
        pid = parent;
    }
    return chain;
}

ProcessRunner::Result SystemProcessRunner::run(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForStarted(timeoutMs))
        return {};
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(100);
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput()};
}

bool SystemProcessRunner::startDetached(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.setStandardInputFile(QProcess::nullDevice());
    return p.startDetached();
}

QByteArray SystemProcessRunner::readFile(const QString& path) const
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return f.read(64 * 1024);
}

bool SystemProcessRunner::available(const QString& program) const
{
    if (program.contains(u'/'))
        return QFileInfo(program).isExecutable();
    return !QStandardPaths::findExecutable(program).isEmpty();
}

SystemProcessRunner& SystemProcessRunner::instance()
{
    static SystemProcessRunner runner;
    return runner;
}

} // namespace korvane
