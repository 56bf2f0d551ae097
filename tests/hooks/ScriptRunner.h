#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

namespace korvane::test {

// One way of running the hook script: a shell and the awk it finds on PATH.
struct ScriptRunner {
    QString name;
    QString shell; // absolute path, empty when not installed
    QStringList shellArgs;
    QString awk; // absolute path, empty when not installed
    bool isAwkApplet = false;

    bool available() const { return !shell.isEmpty() && !awk.isEmpty(); }

    // dash, bash and busybox sh with the system awk; dash with busybox awk and with
    // the original awk, the dialects that gawk-only habits break.
    static QList<ScriptRunner> all()
    {
        const QString busybox = QStandardPaths::findExecutable(QStringLiteral("busybox"));
        const QString systemAwk = QStandardPaths::findExecutable(QStringLiteral("awk"));
        const QString dash = QStandardPaths::findExecutable(QStringLiteral("dash"));
        return {
            {QStringLiteral("dash"), dash, {}, systemAwk},
            {QStringLiteral("bash"), QStandardPaths::findExecutable(QStringLiteral("bash")), {}, systemAwk},
            {QStringLiteral("busybox-sh"), busybox, {QStringLiteral("sh")}, systemAwk},
            {QStringLiteral("dash+busybox-awk"), dash, {}, busybox, true},
            {QStringLiteral("dash+original-awk"),
             dash,
             {},
             QStandardPaths::findExecutable(QStringLiteral("original-awk"))},
        };
    }
};

// The only programs the script may use, linked into a folder that becomes its
// whole PATH, so that a dependency on anything else fails the tests.
class ToolFolder {
public:
    explicit ToolFolder(const ScriptRunner& runner)
    {
        for (const char* tool : {"cat", "sed", "tr", "date", "mkdir", "mv", "rm", "printf"}) {
            const QString path = QStandardPaths::findExecutable(QString::fromLatin1(tool));
            if (!path.isEmpty())
                QFile::link(path, m_dir.filePath(QString::fromLatin1(tool)));
        }
        QFile::link(runner.awk, m_dir.filePath(QStringLiteral("awk")));
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

struct ScriptResult {
    int exitCode = -1;
    bool normalExit = false;
    bool allInputWritten = false;
    QByteArray out;
    QByteArray err;
};

inline ScriptResult runScript(const ScriptRunner& runner, const QString& script, const QByteArray& input,
                              const QProcessEnvironment& env, const QString& workDir = QString())
{
    QProcess process;
    process.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(runner.shell, runner.shellArgs + QStringList{script});
    ScriptResult result;
    if (!process.waitForStarted(10000))
        return result;
    process.write(input);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(60000);
    result.allInputWritten = process.error() != QProcess::WriteError && process.bytesToWrite() == 0;
    result.normalExit = finished && process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace korvane::test
