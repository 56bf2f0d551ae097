// A prompt's choices and the decision each prints; the helper prints the decision chosen, else nothing
// at once; the socket hears only its user and well-formed requests.
#include "TestMain.h"
#include "ask/AskServer.h"
#include "ask/PermissionRequest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <nlohmann/json.hpp>
#include <unistd.h>

using namespace korvane;
using nlohmann::json;
Q_DECLARE_METATYPE(nlohmann::json)

namespace {

const QByteArray kPayload =
    R"({"session_id":"s1","hook_event_name":"PermissionRequest","tool_name":"Bash","tool_input":{"command":"ls"}})";
const QByteArray kDeny = R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":)"
                         R"({"behavior":"deny","message":"Denied from Korvane"}}})"
                         "\n";

struct Run {
    QByteArray out;
    int exitCode = -1;
    qint64 ms = 0;
};

Run runHelper(const QString& socket, const QByteArray& clientPid = {})
{
    QProcess helper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CLAUDE_PID"),
               QString::fromLatin1(clientPid.isEmpty() ? QByteArray::number(getpid()) : clientPid));
    helper.setProcessEnvironment(env);
    QSignalSpy finished(&helper, &QProcess::finished);
    QElapsedTimer timer;
    timer.start();
    helper.start(QStringLiteral(KORVANE_ASK_HELPER), {socket});
    helper.write(kPayload);
    helper.closeWriteChannel();
    if (!finished.wait(10000))
        helper.kill();
    return {helper.readAllStandardOutput(), helper.exitCode(), timer.elapsed()};
}

} // namespace

class TestAskServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void request_data()
    {
        QTest::addColumn<json>("c");
        const QByteArray table = test::contentsOf(KORVANE_ASK_TEST_DATA "/requests.json");
        for (const json& c : json::parse(table.constBegin(), table.constEnd()))
            QTest::newRow(c["name"].get<std::string>().c_str()) << c;
    }
    void request()
    {
        QFETCH(json, c);
        const json& p = c["payload"];
        const PermissionRequest r = PermissionRequest::parse(
            QByteArray::fromStdString(p.is_string() ? p.get<std::string>() : p.dump()));
        QStringList choices;
        for (const std::string s : c["choices"])
            choices << QString::fromStdString(s);
        QCOMPARE(r.choices(), choices);
        QCOMPARE(r.isValid(), !choices.isEmpty());
        if (!r.isValid())
            return;
        QCOMPARE(r.conversation(), QString::fromStdString(p["session_id"]));
        QCOMPARE(r.summary(), QString::fromStdString(c["summary"]));
        for (const auto& [choice, decision] : c["answers"].items()) {
            const json want = {
                {"hookSpecificOutput", {{"hookEventName", "PermissionRequest"}, {"decision", decision}}}};
            const QByteArray bytes = r.answer(QString::fromStdString(choice));
            QCOMPARE(
                QString::fromStdString(bytes.isEmpty() ? "null" : json::parse(bytes.toStdString()).dump()),
                QString::fromStdString(decision.is_null() ? "null" : want.dump()));
        }
    }

    void helper_data()
    {
        // how: what the server side does once the request is there ("answer", "withdraw", "quit"),
        // or how it is reached ("none": no socket, "link": through a link, "stranger": it hears
        // another user only, "dead client"); "reply:<bytes>": a bare socket replies that.
        QTest::addColumn<QString>("how");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<bool>("heard");
        QTest::newRow("answered") << "answer" << kDeny << true;
        QTest::newRow("withdrawn") << "withdraw" << QByteArray() << true;
        QTest::newRow("Korvane quits mid-question") << "quit" << QByteArray() << true;
        QTest::newRow("no socket") << "none" << QByteArray() << false;
        QTest::newRow("a link to the socket") << "link" << QByteArray() << false;
        QTest::newRow("another user's socket") << "stranger" << QByteArray() << false;
        QTest::newRow("the client is gone") << "dead client" << QByteArray() << false;
        QTest::newRow("the client ends mid-question") << "client ends" << QByteArray() << true;
        QTest::newRow("keys in another order")
            << R"(reply:{"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})"
            << QByteArray(
                   R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})"
                   "\n")
            << false;
        QTest::newRow("ask is no decision")
            << R"(reply:{"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"ask"}}})"
            << QByteArray() << false;
        QTest::newRow("cut short")
            << R"(reply:{"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"allow"})"
            << QByteArray() << false;
    }
    void helper()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, out);
        QFETCH(bool, heard);
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/k/ask.sock");
        auto server =
            std::make_unique<AskServer>(path, how == QLatin1String("stranger") ? geteuid() + 1 : geteuid());
        QLocalServer bare;
        QByteArray request;
        if (how.startsWith(QLatin1String("reply:"))) {
            QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/k")));
            QVERIFY(bare.listen(path));
            connect(&bare, &QLocalServer::newConnection, this, [&] {
                QLocalSocket* s = bare.nextPendingConnection();
                connect(s, &QLocalSocket::readyRead, s, [&, s] {
                    request += s->readAll();
                    if (request.endsWith('}')) {
                        s->write(how.mid(6).toUtf8());
                        s->disconnectFromServer();
                    }
                });
            });
        } else if (how != QLatin1String("none")) {
            QVERIFY(server->listen());
        }
        QProcess client; // stands for the agent whose prompt it is
        client.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(client.waitForStarted());
        const QByteArray clientPid = QByteArray::number(client.processId());
        bool seen = false;
        connect(server.get(), &AskServer::pendingChanged, this, [&] {
            if (server->pending().isEmpty())
                return;
            seen = true;
            const quint64 id = server->pending().constFirst().id;
            QCOMPARE(server->pending().constFirst().request.summary(), QStringLiteral("Bash: ls"));
            if (how == QLatin1String("answer"))
                QVERIFY(server->answer(id, QStringLiteral("Deny")));
            else if (how == QLatin1String("withdraw"))
                server->withdraw(id);
            else if (how == QLatin1String("client ends"))
                client.close(); // killed and reaped: its pid is gone
            else
                QTimer::singleShot(0, this, [&] { server.reset(); });
        });
        QString target = path;
        if (how == QLatin1String("link")) {
            target = dir.path() + QStringLiteral("/link.sock");
            QVERIFY(QFile::link(path, target));
        }
        const Run run = runHelper(target, how == QLatin1String("dead client") ? "999999999" : clientPid);
        QCOMPARE(run.out, out);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(seen, heard);
        if (!heard && !how.startsWith(QLatin1String("reply:")))
            QVERIFY2(run.ms < 1000, qPrintable(QString::number(run.ms)));
        if (how == QLatin1String("client ends")) // it looks once a second
            QVERIFY2(run.ms < 2500, qPrintable(QString::number(run.ms)));
        client.close();
        if (how.startsWith(
                QLatin1String("reply:"))) { // what the helper asked: its pid, the client's, the payload
            const QList<QByteArray> head = request.left(request.indexOf('\n')).split(' ');
            QCOMPARE(head.size(), 5);
            QCOMPARE(head[3], clientPid);
            QCOMPARE(head[4], QByteArray::number(kPayload.size()));
            QCOMPARE(request.mid(request.indexOf('\n') + 1), kPayload);
        }
    }

    // The hook script asks only for an attended Claude Code prompt outside bypassPermissions, with
    // the helper beside it; the conversation's record says it waits before the question comes.
    void hook_data()
    {
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("attended");
        QTest::addColumn<bool>("helper");
        QTest::addColumn<bool>("asked");
        const QByteArray bypass = QByteArray(kPayload).replace(
            "\"tool_name\"", "\"permission_mode\":\"bypassPermissions\",\"tool_name\"");
        const QByteArray plan =
            QByteArray(kPayload).replace("\"tool_name\"", "\"permission_mode\":\"plan\",\"tool_name\"");
        QTest::newRow("a prompt") << "claude-code" << plan << QByteArray("1") << true << true;
        QTest::newRow("no attended flag") << "claude-code" << kPayload << QByteArray() << true << true;
        QTest::newRow("print mode or the SDK")
            << "claude-code" << kPayload << QByteArray("0") << true << false;
        QTest::newRow("bypassPermissions") << "claude-code" << bypass << QByteArray("1") << true << false;
        QTest::newRow("no helper") << "claude-code" << kPayload << QByteArray("1") << false << false;
        QTest::newRow("another event")
            << "claude-code" << QByteArray(kPayload).replace("PermissionRequest", "PreToolUse")
            << QByteArray("1") << true << false;
        QTest::newRow("Codex waits for its hook") << "codex" << kPayload << QByteArray("1") << true << false;
    }
    void hook()
    {
        QFETCH(QString, agent);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, attended);
        QFETCH(bool, helper);
        QFETCH(bool, asked);
        QTemporaryDir dir;
        const QString hooks = dir.path() + QStringLiteral("/hooks/");
        QVERIFY(QDir().mkpath(hooks) &&
                QFile::copy(QStringLiteral(KORVANE_HOOK_SCRIPT), hooks + "signalwick.sh"));
        QVERIFY(!helper || QFile::copy(QStringLiteral(KORVANE_ASK_HELPER), hooks + "signalwick-ask"));
        AskServer server(dir.path() + QStringLiteral("/run/korvane/ask.sock"), geteuid());
        QVERIFY(server.listen());
        QByteArray record;
        connect(&server, &AskServer::pendingChanged, this, [&] {
            if (server.pending().isEmpty())
                return;
            record = test::contentsOf(dir.path() + QStringLiteral("/.cursor/signalwick/state/s1.json"));
            server.answer(server.pending().constFirst().id, QStringLiteral("Deny"));
        });
        QProcess sh;
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path() + QStringLiteral("/run"));
        if (!attended.isEmpty())
            env.insert(QStringLiteral("CLAUDE_CODE_SESSION_ATTENDED"), QString::fromLatin1(attended));
        sh.setProcessEnvironment(env);
        QSignalSpy finished(&sh, &QProcess::finished);
        sh.start(QStringLiteral("/bin/sh"), {hooks + "signalwick.sh", agent});
        sh.write(payload);
        sh.closeWriteChannel();
        QVERIFY(finished.wait(10000));
        QCOMPARE(!record.isEmpty(), asked);
        QVERIFY2(!asked || record.contains("\"state\":\"waiting\""), record.constData());
        QCOMPARE(sh.readAllStandardOutput().contains("Denied from Korvane"), asked);
        QCOMPARE(sh.exitCode(), 0);
        QVERIFY(QDir(dir.path() + QStringLiteral("/.cursor/signalwick/state"))
                    .entryList({"*.ask", "*.tmp"})
                    .isEmpty());
    }

    // Two prompts at once: each answer reaches its own helper alone.
    void parallel()
    {
        QTemporaryDir dir;
        AskServer server(dir.path() + QStringLiteral("/ask.sock"), geteuid());
        QVERIFY(server.listen());
        QProcess first, second;
        for (QProcess* helper : {&first, &second}) {
            helper->start(QStringLiteral(KORVANE_ASK_HELPER), {server.path()});
            helper->write(kPayload);
            helper->closeWriteChannel();
            QTRY_COMPARE(server.pending().size(), helper == &first ? 1 : 2);
        }
        QVERIFY(server.answer(server.pending().at(1).id, QStringLiteral("Deny")));
        QVERIFY(second.waitForFinished(3000));
        QCOMPARE(second.readAllStandardOutput(), kDeny);
        QCOMPARE(server.pending().size(), 1);
        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(!server.answer(server.pending().at(0).id, QStringLiteral("Maybe")));
        QVERIFY(server.answer(server.pending().at(0).id, QStringLiteral("Allow")));
        QVERIFY(first.waitForFinished(3000));
        QCOMPARE(
            first.readAllStandardOutput(),
            R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"allow"}}})"
            "\n");
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("garbage") << QByteArray("hello\n");
        QTest::newRow("no end of line") << QByteArray(200, 'K');
        QTest::newRow("another version")
            << "KORVANE-ASK 2 1 1 " + QByteArray::number(kPayload.size()) + "\n" + kPayload;
        QTest::newRow("oversize") << QByteArray("KORVANE-ASK 1 1 1 2000000\n") + kPayload;
        QTest::newRow("a negative size") << QByteArray("KORVANE-ASK 1 1 1 -5\n") + kPayload;
        QTest::newRow("more than it said")
            << "KORVANE-ASK 1 1 1 " + QByteArray::number(kPayload.size()) + "\n" + kPayload + "x";
        QTest::newRow("not a prompt") << QByteArray("KORVANE-ASK 1 1 1 2\n{}");
    }
    void refusals()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        AskServer server(dir.path() + QStringLiteral("/ask.sock"), geteuid());
        QVERIFY(server.listen());
        QLocalSocket client;
        QSignalSpy gone(&client, &QLocalSocket::disconnected);
        client.connectToServer(server.path());
        QVERIFY(client.waitForConnected(2000));
        client.write(bytes);
        QVERIFY(gone.wait(3000));
        QVERIFY(client.readAll().isEmpty());
        QVERIFY(server.pending().isEmpty());
    }
};

KORVANE_TEST_MAIN(TestAskServer)
#include "tst_askserver.moc"
