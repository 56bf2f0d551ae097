// The installed hook under the real Claude Code client, driven through whole
// turns by tests/harness against its fake model server, in a home whose path
// needs quoting. Skips, with the reason, when the client is not installed.

#include "TestMain.h"
#include "hooks/HookInstaller.h"
#include "status/StateRecord.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

using namespace korvane;

namespace {

const QString kHarness = QStringLiteral(KORVANE_SOURCE_DIR "/tests/harness/");

QString quoted(QString s)
{
    return '\'' + s.replace('\'', "'\\''") + '\'';
}

} // namespace

class TestHookClient : public QObject {
    Q_OBJECT
    QTemporaryDir m_work;
    QString m_home, m_log;

    // claude.sh COMMAND OUT ARGS...; its exit status, its stderr in *err.
    int harness(const QStringList& args, QByteArray* err = nullptr)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CLAUDE_HOME", m_home);
        p.setProcessEnvironment(env);
        p.start("/bin/sh", QStringList{kHarness + "claude.sh"} + args);
        if (!p.waitForFinished(180000))
            p.kill();
        if (err)
            *err = p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_home = m_work.filePath("home");
        QVERIFY(QDir().mkpath(m_home + "/.claude"));
        qputenv("HOME", QFile::encodeName(m_home));
        QByteArray err;
        const int rc = harness({"serve", m_work.filePath("probe"), "text"}, &err);
        harness({"stop", m_work.filePath("probe")});
        if (rc == 77)
            QSKIP(err.trimmed().constData());
        QCOMPARE(rc, 0);

        QVERIFY(HookInstaller::install());
        // The installed command runs the recorder around the real script.
        const QString script = HookInstaller::scriptPath();
        QVERIFY(QFile::rename(script, script + ".real"));
        m_log = m_work.filePath("calls");
        QFile wrapper(script);
        QVERIFY(wrapper.open(QIODevice::WriteOnly));
        wrapper.write(QStringLiteral("#!/bin/sh\nRECORD_HOOK=%1 RECORD_LOG=%2 exec /bin/sh %3\n")
                          .arg(quoted(script + ".real"), quoted(m_log), quoted(kHarness + "recorder.sh"))
                          .toUtf8());
        wrapper.close();
        QVERIFY(QFile::setPermissions(script, QFile::permissions(script + ".real")));
    }

    void turn_data()
    {
        QTest::addColumn<QStringList>("args");  // scenario, prompt, client arguments
        QTest::addColumn<QStringList>("calls"); // in this order, among others
        QTest::newRow("text") << QStringList{"text", "Say hello"}
                              << QStringList{"SessionStart=idle", "UserPromptSubmit=working", "Stop=idle",
                                             "SessionEnd=-"};
        QTest::newRow("tool") << QStringList{"bash", "Run echo hi", "--allowedTools", "Bash"}
                              << QStringList{"UserPromptSubmit=working", "PreToolUse=working",
                                             "PostToolUse=working", "Stop=idle", "SessionEnd=-"};
        QTest::newRow("model error") << QStringList{"error", "Say hello"}
                                     << QStringList{"UserPromptSubmit=working", "StopFailure=error",
                                                    "SessionEnd=-"};
    }
    void turn()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, calls);
        const QString out = m_work.filePath(QTest::currentDataTag());
        QFile::remove(m_log);
        QCOMPARE(harness({"serve", out, args.takeFirst()}), 0);
        const int rc = harness(QStringList{"print", out} + args);
        harness({"stop", out});
        QCOMPARE(rc, 0);

        QFile log(m_log);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QStringList seen;
        for (const QByteArray& line : log.readAll().split('\n')) {
            const QList<QByteArray> f = line.split('\t'); // event, status, bytes printed, state
            if (f.size() != 4)
                continue;
            QCOMPARE(f[1] + f[2], "00"); // anything printed would reach the model
            QString state = "-";
            if (f[3] != "-") {
                const auto record = StateRecord::decode(f[3].trimmed());
                QVERIFY2(record && record->workspace == out + "/project", f[3].constData());
                state = record->state;
            }
            seen << f[0] + '=' + state;
        }
        qsizetype at = 0;
        for (const QString& call : calls) {
            at = seen.indexOf(call, at) + 1;
            QVERIFY2(at > 0, qPrintable(call + " not in " + seen.join(", ")));
        }
        QCOMPARE(seen.last(), calls.last());
    }
};

KORVANE_TEST_MAIN(TestHookClient)
#include "tst_hookclient.moc"
