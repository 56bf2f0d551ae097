// The deployed hook under the real Claude Code client, driven through whole
// turns against a fake model server on loopback (the claude-harness tool).
// Skips when the client (scripts/setup-claude) or the harness is not there.

#include "TestMain.h"
#include "hooks/HookInstaller.h"
#include "status/StateRecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

using namespace korvane;

namespace {

QString fromEnvOr(const char* name, const QString& fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString shellQuote(const QString& s)
{
    return QLatin1Char('\'') + QString(s).replace(QLatin1String("'"), QLatin1String("'\\''")) +
           QLatin1Char('\'');
}

// The fake server's port changes from run to run.
QByteArray normalized(QByteArray text)
{
    return QString::fromUtf8(text)
        .replace(QRegularExpression(QStringLiteral("127\\.0\\.0\\.1:\\d+")), QStringLiteral("127.0.0.1:PORT"))
        .toUtf8();
}

// What one hook call did: the event, the script's exit status and output, and
// the state files right after it.
struct HookCall {
    QString event;
    int exitCode = -1;
    QByteArray out;
    QList<QByteArray> stateFiles;
    QString sessionId;
};

} // namespace

class TestHookClient : public QObject {
    Q_OBJECT

    QString m_claude;
    QString m_harness;
    QTemporaryDir m_work;
    QString m_wrapper;

    // Runs one scenario; `hook` empty registers no hooks at all.
    bool runHarness(const QString& scenario, const QString& out, const QString& hook)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList args{m_harness + QStringLiteral("/run.sh"),
                         QStringLiteral("-c"),
                         m_claude,
                         QStringLiteral("-o"),
                         out,
                         QStringLiteral("-t"),
                         QStringLiteral("90")};
        if (hook.isEmpty())
            args << QStringLiteral("-E") << QString();
        args << scenario;
        if (!hook.isEmpty())
            args << hook;
        process.start(QStringLiteral("/bin/sh"), args);
        if (!process.waitForFinished(300000)) {
            process.kill();
            process.waitForFinished();
            return false;
        }
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QList<HookCall> hookCalls(const QString& logDir)
    {
        QList<HookCall> calls;
        QDir dir(logDir);
        for (const QString& name : dir.entryList({QStringLiteral("*.call")}, QDir::Files, QDir::Name)) {
            const QString base = dir.filePath(name.chopped(5));
            HookCall call;
            const QByteArray payload = readFile(base + QStringLiteral(".in"));
            const auto json = nlohmann::json::parse(payload.constBegin(), payload.constEnd(), nullptr, false);
            if (json.is_object()) {
                call.event = QString::fromStdString(json.value("hook_event_name", ""));
                call.sessionId = QString::fromStdString(json.value("session_id", ""));
            }
            call.exitCode = readFile(base + QStringLiteral(".rc")).trimmed().toInt();
            call.out = readFile(base + QStringLiteral(".out"));
            const QDir states(base + QStringLiteral(".state"));
            for (const QString& f : states.entryList(QDir::Files | QDir::Hidden))
                call.stateFiles << readFile(states.filePath(f));
            calls << call;
        }
        return calls;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_claude =
            fromEnvOr("KORVANE_CLAUDE_BIN",
                      QStringLiteral(KORVANE_SOURCE_DIR "/.deps/claude-code/node_modules/.bin/claude"));
        m_harness = fromEnvOr("KORVANE_CLAUDE_HARNESS",
                              QStringLiteral(KORVANE_SOURCE_DIR "/../shared/tools/claude-harness"));
        if (!QFileInfo(m_claude).isExecutable())
            QSKIP(qPrintable(
                QStringLiteral("no Claude Code client at %1 (run scripts/setup-claude)").arg(m_claude)));
        if (!QFileInfo::exists(m_harness + QStringLiteral("/run.sh")))
            QSKIP(qPrintable(QStringLiteral("no claude-harness at %1").arg(m_harness)));
        if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
            QSKIP("the harness needs python3");

        QVERIFY(HookInstaller::install());
        // Calls the deployed script exactly as the client would and keeps, per
        // call, the payload, exit status, output and a copy of the state folder.
        m_wrapper = m_work.filePath(QStringLiteral("hook.sh"));
        QFile wrapper(m_wrapper);
        QVERIFY(wrapper.open(QIODevice::WriteOnly));
        wrapper.write(QStringLiteral("#!/bin/sh\n"
                                     "trap '' TERM HUP INT\n"
                                     "log=$HOOK_LOG\n"
                                     "base=\"$log/$(date +%s%N).$$\"\n"
                                     "cat >\"$base.in\"\n"
                                     "%1 <\"$base.in\" >\"$base.out\"\n"
                                     "echo $? >\"$base.rc\"\n"
                                     "mkdir \"$base.state\"\n"
                                     "for f in \"$HOME\"/.cursor/signalwick/state/*; do\n"
                                     "  [ -e \"$f\" ] && cp \"$f\" \"$base.state/\"\n"
                                     "done\n"
                                     "touch \"$base.call\"\n"
                                     "cat \"$base.out\"\n")
                          .arg(shellQuote(HookInstaller::scriptPath()))
                          .toUtf8());
        wrapper.close();
        QVERIFY(QFile::setPermissions(m_wrapper, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner));
    }

    void turn_data()
    {
        QTest::addColumn<QString>("scenario");
        // The states seen right after each of these events, in this order.
        QTest::addColumn<QStringList>("sequence");
        QTest::newRow("text") << "text"
                              << QStringList{"SessionStart=idle", "UserPromptSubmit=working", "Stop=idle",
                                             "SessionEnd=gone"};
        QTest::newRow("bash") << "bash" << QStringList{"SessionStart=idle",  "UserPromptSubmit=working",
                                                       "PreToolUse=working", "PostToolUse=working",
                                                       "Stop=idle",          "SessionEnd=gone"};
        QTest::newRow("error529") << "error529"
                                  << QStringList{"SessionStart=idle", "UserPromptSubmit=working",
                                                 "StopFailure=error", "SessionEnd=gone"};
    }
    void turn()
    {
        QFETCH(QString, scenario);
        QFETCH(QStringList, sequence);

        const QString plain = m_work.filePath(scenario + QStringLiteral("-plain"));
        const QString hooked = m_work.filePath(scenario + QStringLiteral("-hooked"));
        const QString log = m_work.filePath(scenario + QStringLiteral("-calls"));
        QVERIFY(QDir().mkpath(log));
        QVERIFY2(runHarness(scenario, plain, QString()), "the client did not finish the turn without hooks");
        const QString hookCommand =
            QStringLiteral("HOOK_LOG=%1 %2").arg(shellQuote(log), shellQuote(m_wrapper));
        QVERIFY2(runHarness(scenario, hooked, hookCommand),
                 "the client did not finish the turn with the hook");

        // The user sees no difference.
        for (const char* file : {"client.out", "client.err", "client.rc"}) {
            const QString name = QString::fromLatin1(file);
            QCOMPARE(normalized(readFile(hooked + QLatin1Char('/') + name)),
                     normalized(readFile(plain + QLatin1Char('/') + name)));
        }

        const QList<HookCall> calls = hookCalls(log);
        QVERIFY(!calls.isEmpty());
        const QString project = hooked + QStringLiteral("/home/project");
        QStringList seen;
        for (const HookCall& call : calls) {
            QCOMPARE(call.exitCode, 0);
            QCOMPARE(call.out, QByteArray()); // anything printed would reach the model
            QString state = QStringLiteral("gone");
            QVERIFY2(call.stateFiles.size() <= 1, qPrintable(call.event));
            if (!call.stateFiles.isEmpty()) {
                const auto record = StateRecord::decode(call.stateFiles.first());
                QVERIFY2(record, call.stateFiles.first().constData());
                QCOMPARE(record->conversationId, std::optional<QString>(call.sessionId));
                QCOMPARE(record->workspace, std::optional<QString>(project));
                state = record->state;
            }
            seen << call.event + QLatin1Char('=') + state;
        }
        // The expected calls appear in this order (a client may add others).
        qsizetype at = 0;
        for (const QString& step : sequence) {
            at = seen.indexOf(step, at);
            QVERIFY2(at >= 0,
                     qPrintable(QStringLiteral("%1 not in %2").arg(step, seen.join(QLatin1String(", ")))));
            ++at;
        }
        QCOMPARE(seen.last(), sequence.last());
    }
};

KORVANE_TEST_MAIN(TestHookClient)
#include "tst_hookclient.moc"
