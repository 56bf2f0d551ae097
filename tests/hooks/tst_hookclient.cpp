// The installed hook under the real Claude Code client, driven through whole turns
// by tests/harness against its fake model server, in a home whose path needs
// quoting. Skips, with the reason, without the client.

#include "TestMain.h"
#include "hooks/HookInstaller.h"
#include "status/StateRecord.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

using namespace korvane;

namespace {

const QString kHarness = QStringLiteral(KORVANE_SOURCE_DIR "/tests/harness/");

QString quoted(QString s)
{
    return '\'' + s.replace('\'', "'\\''") + '\'';
}

// claude.sh COMMAND OUT ARGS...: its exit status; its stderr in *err.
int harness(const QStringList& args, QByteArray* err = nullptr)
{
    QProcess p;
    p.start("/bin/sh", QStringList{kHarness + "claude.sh"} + args);
    p.waitForFinished(180000);
    if (err)
        *err = p.readAllStandardError().trimmed();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

class TestHookClient : public QObject {
    Q_OBJECT
    QTemporaryDir m_work;

private Q_SLOTS:
    void initTestCase()
    {
        const QString home = m_work.filePath("it's a home");
        QVERIFY(QDir().mkpath(home + "/.claude"));
        qputenv("HOME", QFile::encodeName(home));
        qputenv("CLAUDE_HOME", QFile::encodeName(home));
        QByteArray err;
        const int rc = harness({"serve", m_work.filePath("probe"), "text"}, &err);
        harness({"stop", m_work.filePath("probe")});
        if (rc == 77)
            QSKIP(err.constData());
        QCOMPARE(rc, 0);
        QVERIFY(HookInstaller::install());
        // The installed command runs the recorder around the real script.
        const QString script = HookInstaller::scriptPath();
        QVERIFY(QFile::rename(script, script + ".real"));
        QFile wrapper(script);
        QVERIFY(wrapper.open(QIODevice::WriteOnly));
        wrapper.write(
            QStringLiteral("#!/bin/sh\ntrap '' TERM\nRECORD_HOOK=%1 RECORD_LOG=%2 exec /bin/sh %3\n")
                .arg(quoted(script + ".real"), quoted(m_work.filePath("calls")),
                     quoted(kHarness + "recorder.sh"))
                .toUtf8());
        wrapper.close();
        QVERIFY(QFile::setPermissions(script, QFile::permissions(script + ".real")));
    }

    void turn_data()
    {
        QTest::addColumn<QList<QStringList>>("steps"); // claude.sh commands after "serve"
        QTest::addColumn<QStringList>("calls");        // the hook calls, in this order among others
        const QList<QStringList> exit = {{"type", "/exit"}, {"wait", "Pane is dead"}};
        QTest::newRow("text") << QList<QStringList>{{"serve", "text"}, {"print", "Say hello"}}
                              << QStringList{"SessionStart=idle", "UserPromptSubmit=working", "Stop=idle",
                                             "SessionEnd=-"};
        QTest::newRow("failing tool")
            << QList<QStringList>{{"serve", "fail"}, {"print", "Run it", "--allowedTools", "Bash"}}
            << QStringList{"PreToolUse=working", "PostToolUseFailure=working", "Stop=idle", "SessionEnd=-"};
        // Interactive: print mode ends before the error's hook has run.
        QTest::newRow("model error")
            << QList<QStringList>{{"serve", "error"}, {"tui"}, {"type", "Hi"}, {"answered"}} + exit
            << QStringList{"UserPromptSubmit=working", "StopFailure=error", "SessionEnd=-"};
        QTest::newRow("permission")
            << QList<QStringList>{{"serve", "write"},         {"tui"},          {"type", "Create hello.txt"},
                                  {"wait", "Do you want to"}, {"key", "Enter"}, {"answered"}} +
                   exit
            << QStringList{"PreToolUse=working", "PermissionRequest=waiting", "PostToolUse=working",
                           "Stop=idle", "SessionEnd=-"};
    }
    void turn()
    {
        QFETCH(QList<QStringList>, steps);
        QFETCH(QStringList, calls);
        const QString out = m_work.filePath(QTest::currentDataTag());
        QFile log(m_work.filePath("calls"));
        log.remove();
        const auto stop = qScopeGuard([&] { harness({"stop", out}); });
        for (const QStringList& step : steps) {
            QByteArray err;
            const int rc = harness(QStringList{step.first(), out} + step.mid(1), &err);
            if (rc == 77)
                QSKIP(err.constData());
            QVERIFY2(rc == 0, qPrintable(step.join(' ') + " failed " + err));
        }
        QVERIFY(log.open(QIODevice::ReadOnly));
        QStringList seen;
        for (const QByteArray& line : log.readAll().trimmed().split('\n')) {
            const QList<QByteArray> f = line.split('\t'); // event, status, bytes printed, state
            QCOMPARE(f.size(), 4);
            QCOMPARE(f[1] + f[2], "00"); // anything printed would reach the model
            const auto record = StateRecord::decode(f[3].trimmed());
            QVERIFY2(f[3] == "-" || (record && record->workspace == out + "/project"), f[3].constData());
            seen << f[0] + '=' + (record ? record->state : "-");
        }
        for (qsizetype at = 0; const QString& call : calls) {
            at = seen.indexOf(call, at) + 1;
            QVERIFY2(at > 0, qPrintable(call + " not in " + seen.join(", ")));
        }
        QCOMPARE(seen.last(), calls.last());
    }
};

KORVANE_TEST_MAIN(TestHookClient)
#include "tst_hookclient.moc"
