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

// claude.sh COMMAND OUT ARGS...: its exit status, and its stderr in *err.
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
        QVERIFY(HookInstaller::install());
        QCOMPARE(harness({"record", m_work.path()}), 0);
    }

    void turn_data()
    {
        QTest::addColumn<QString>("steps"); // claude.sh commands and their arguments, split at | and ;
        QTest::addColumn<QString>("calls"); // the hook calls, in this order among others
        const QString exit = "|type;/exit|wait;Pane is dead";
        QTest::newRow("text") << "serve;text|print;Say hello"
                              << "SessionStart=idle UserPromptSubmit=working Stop=idle SessionEnd=-";
        QTest::newRow("failing tool")
            << "serve;fail|print;Run it;--allowedTools;Bash"
            << "PreToolUse=working PostToolUseFailure=working Stop=idle SessionEnd=-";
        // Interactive: print mode ends before the error's hook has run.
        QTest::newRow("model error") << "serve;error|tui|type;Hi|answered" + exit
                                     << "UserPromptSubmit=working StopFailure=error SessionEnd=-";
        QTest::newRow("permission")
            << "serve;write|tui|type;Create hello.txt|wait;Do you want to|key;Enter|answered" + exit
            << "PreToolUse=working PermissionRequest=waiting PostToolUse=working Stop=idle SessionEnd=-";
    }
    void turn()
    {
        QFETCH(QString, steps);
        QFETCH(QString, calls);
        const QString out = m_work.filePath(QTest::currentDataTag());
        QFile log(m_work.filePath("calls"));
        log.remove();
        const auto stop = qScopeGuard([&] { harness({"stop", out}); });
        for (const QString& step : steps.split('|')) {
            QByteArray err;
            const QStringList args = step.split(';');
            const int rc = harness(QStringList{args.first(), out} + args.mid(1), &err);
            if (rc == 77)
                QSKIP(err.constData());
            QVERIFY2(rc == 0, qPrintable(step + " failed " + err));
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
        qsizetype at = 0;
        for (const QString& call : calls.split(' ')) {
            at = seen.indexOf(call, at) + 1;
            QVERIFY2(at > 0, qPrintable(call + " not in " + seen.join(", ")));
        }
        QCOMPARE(seen.last(), calls.section(' ', -1));
    }
};

KORVANE_TEST_MAIN(TestHookClient)
#include "tst_hookclient.moc"
