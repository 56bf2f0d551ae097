// The hook script as Cursor and Claude Code run it: a payload in, the answer the
// tool expects out, and the state record it leaves, read with the store's decoder.

#include "TestMain.h"
#include "status/StateRecord.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

using namespace korvane;
using nlohmann::json;

namespace {

// A shell, and the awk that the script finds as the only one on its PATH.
struct Runner {
    const char* name;
    const char* shell;
    const char* awk;
};
const QList<Runner> kShells = {
    {"dash", "dash", "awk"}, {"bash", "bash", "awk"}, {"busybox", "busybox", "awk"}};
// The awks differ in splitting and matching, which only the parser rows exercise.
const QList<Runner> kAwks = {{"busybox-awk", "dash", "busybox"}, {"original-awk", "dash", "original-awk"}};

using Env = QMap<QString, QString>; // "<unset>" removes the variable

struct Case {
    QByteArray payload;
    QByteArray out; // the whole of standard output
    QString state;  // "" nothing changes, "-" the conversation's file is removed
    QString conv;   // conversation_id written
    QString ws;     // workspace written; "<null>" for null
    Env env;
};

const QByteArray kAllow = "{\"permission\":\"allow\"}\n";
const QString kClaudeId = QStringLiteral("5e55a0b1-1111-4222-8333-944455556666");
const QString kCursorId = QStringLiteral("c0a1b2c3-0000-4000-8000-00000000c0de");

QByteArray dump(const json& j)
{
    return QByteArray::fromStdString(j.dump(-1, ' ', false, json::error_handler_t::replace)) + '\n';
}

// The members every event carries, and `extra`.
json claude(const char* event, const json& extra = json::object())
{
    json p = {{"session_id", kClaudeId.toStdString()},
              {"transcript_path", "/home/user/.claude/projects/p/x.jsonl"},
              {"cwd", "/home/user/project"},
              {"hook_event_name", event}};
    p.update(extra);
    return p;
}

json cursor(const char* event, const json& extra = json::object())
{
    json p = {{"conversation_id", kCursorId.toStdString()},
              {"generation_id", "g-1"},
              {"hook_event_name", event},
              {"cursor_version", "3.1.7"},
              {"workspace_roots", json::array({"/home/user/cursor-project"})},
              {"user_email", nullptr}};
    p.update(extra);
    return p;
}

Runner runnerNamed(const QString& name)
{
    for (const Runner& r : kShells + kAwks) {
        if (name == QLatin1String(r.name))
            return r;
    }
    return {};
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestHookScript : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_script;

    struct Result {
        int rc = -1;
        QByteArray out, err;
    };

    // Runs the script with only awk, mkdir, mv, rm and cat on PATH.
    Result run(const Runner& r, const QString& home, const QByteArray& input, const Env& env = {}) const
    {
        QTemporaryDir bin;
        for (const char* tool : {"mkdir", "mv", "rm", "cat"})
            QFile::link(QStandardPaths::findExecutable(QString::fromLatin1(tool)), bin.filePath(tool));
        QFile::link(QStandardPaths::findExecutable(QString::fromLatin1(r.awk)), bin.filePath("awk"));
        QProcessEnvironment pe;
        pe.insert("HOME", home);
        pe.insert("PATH", bin.path());
        pe.insert("LANG", "C.UTF-8");
        for (auto it = env.begin(); it != env.end(); ++it)
            it.value() == "<unset>" ? pe.remove(it.key()) : pe.insert(it.key(), it.value());
        QProcess p;
        p.setProcessEnvironment(pe);
        p.setWorkingDirectory(home);
        const QStringList args =
            qstrcmp(r.shell, "busybox") ? QStringList{m_script} : QStringList{"sh", m_script};
        p.start(QStandardPaths::findExecutable(QString::fromLatin1(r.shell)), args);
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return {};
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }

    static QStringList stateFiles(const QString& home)
    {
        return QDir(home + "/.cursor/signalwick/state").entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    static void addRows(const QList<Runner>& runners, const char* name, const Case& c)
    {
        for (const Runner& r : runners)
            QTest::addRow("%s/%s", r.name, name) << r.name << c;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The script under test is the one compiled into the program.
        m_script = m_dir.filePath("signalwick.sh");
        QVERIFY(QFile::copy(":/hooks/signalwick.sh", m_script));
        for (const Runner& r : kShells + kAwks) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(r.shell)).isEmpty() ||
                QStandardPaths::findExecutable(QString::fromLatin1(r.awk)).isEmpty())
                QFAIL(qPrintable(QStringLiteral("%1 is needed (scripts/setup --test)").arg(r.name)));
        }
    }

    void events_data()
    {
        QTest::addColumn<QString>("runner");
        QTest::addColumn<Case>("c");
        // Every payload captured from the real client; the idle notification changes nothing.
        const QMap<QString, QString> stateOf = {
            {"SessionStart", "idle"},   {"UserPromptSubmit", "working"},  {"PreToolUse", "working"},
            {"PostToolUse", "working"}, {"PermissionRequest", "waiting"}, {"Notification", "waiting"},
            {"Stop", "idle"},           {"StopFailure", "error"},         {"SessionEnd", "-"}};
        const QDir fixtures(QStringLiteral(KORVANE_HOOK_TEST_DATA "/claude-code"));
        for (const QString& name : fixtures.entryList({"*.json"}, QDir::Files)) {
            const QByteArray bytes = readAll(fixtures.filePath(name));
            const json p = json::parse(bytes.constBegin(), bytes.constEnd());
            const QString event = name.section('-', 0, 0);
            QVERIFY2(stateOf.contains(event), qPrintable(name));
            addRows(kShells, qPrintable(name),
                    {bytes,
                     "",
                     name.contains("Notification-tui-idle") ? "" : stateOf[event],
                     QString::fromStdString(p["session_id"]),
                     QString::fromStdString(p["cwd"]),
                     {}});
        }

        const QString pj = QStringLiteral("/home/user/project"),
                      cj = QStringLiteral("/home/user/cursor-project");
        const auto row = [&](const char* name, const json& p, const char* state, const QByteArray& out = "",
                             Env env = {}, QString ws = {}, QString conv = {}) {
            const bool isCursor = p.contains("cursor_version");
            addRows(kShells, name,
                    {dump(p), out, state, conv.isNull() ? (isCursor ? kCursorId : kClaudeId) : conv,
                     ws.isNull() ? (isCursor ? cj : pj) : ws, env});
        };
        row("compaction changes nothing", claude("SessionStart", {{"source", "compact"}}), "");
        row("question to the user", claude("PreToolUse", {{"tool_name", "AskUserQuestion"}}), "waiting");
        row("plan approval", claude("PreToolUse", {{"tool_name", "ExitPlanMode"}}), "waiting");
        row("elicitation", claude("Notification", {{"notification_type", "elicitation_dialog"}}), "waiting");
        row("other notification", claude("Notification", {{"notification_type", "auth_success"}}), "");
        row("old client's permission message",
            claude("Notification", {{"message", "Claude needs your permission to use Bash"}}), "waiting");
        row("tool failure", claude("PostToolUseFailure", {{"tool_name", "Bash"}}), "working");
        row("project folder over cwd", claude("Stop"), "idle", "", {{"CLAUDE_PROJECT_DIR", "/root"}},
            "/root");
        json noId = claude("UserPromptSubmit");
        noId.erase("session_id");
        row("session id from the environment", noId, "working", "", {{"CLAUDE_CODE_SESSION_ID", "env-id"}},
            {}, "env-id");

        row("sessionStart", cursor("sessionStart"), "idle", "{}\n");
        row("beforeSubmitPrompt", cursor("beforeSubmitPrompt", {{"prompt", "x"}}), "working",
            "{\"continue\":true}\n");
        row("sandboxed command", cursor("beforeShellExecution", {{"sandbox", true}}), "working", kAllow);
        row("command that may ask", cursor("beforeShellExecution", {{"sandbox", false}}), "pending", kAllow);
        row("MCP call", cursor("beforeMCPExecution", {{"tool_name", "s"}}), "pending", kAllow);
        row("preToolUse from Claude Code's settings", cursor("preToolUse", {{"cwd", ""}}), "working", kAllow);
        row("file edit", cursor("afterFileEdit"), "working", "{}\n");
        row("stop", cursor("stop", {{"status", "completed"}}), "idle", "{}\n");
        row("stop with an error", cursor("stop", {{"status", "error"}}), "error", "{}\n");
        row("sessionEnd", cursor("sessionEnd", {{"reason", "completed"}}), "-", "{}\n");
        row("unknown event", cursor("afterAgentThought"), "", "{}\n");
        json noRoot = cursor("afterFileEdit", {{"cwd", "/cwd"}});
        noRoot["workspace_roots"] = json::array();
        row("no workspace root", noRoot, "working", "{}\n", {{"CURSOR_PROJECT_DIR", "/env"}}, "/env");
        row("no usable home", cursor("preToolUse"), "", kAllow, {{"HOME", "relative"}});

        // Input whose parsing differs between awks.
        const auto parse = [&](const char* name, const QByteArray& payload, const char* state,
                               const QByteArray& out, QString conv, QString ws, Env env = {}) {
            addRows(kShells + kAwks, name, {payload, out, state, conv, ws, env});
        };
        parse("BOM, CRLF, pretty-printed",
              "\xEF\xBB\xBF" +
                  QByteArray::fromStdString(cursor("beforeShellExecution").dump(4)).replace("\n", "\r\n"),
              "pending", kAllow, kCursorId, cj);
        parse("not JSON", "hello\n", "", "", {}, {});
        parse("not JSON, from Cursor", "{\"hook_event_name\":\"stop\"", "", "{}\n", {}, {},
              {{"CURSOR_VERSION", "3.1.7"}});
        json nested =
            claude("PreToolUse", {{"tool_input", {{"hook_event_name", "Stop"}, {"session_id", "evil"}}},
                                  {"x", "\",\"session_id\":\"evil2\",\"y\":\""}});
        parse("look-alike members inside values", dump(nested), "working", "", kClaudeId, pj);
        const std::string nasty = "q\"uo\\te\nnew\tline\x01 \xC3\xA9\xF0\x9F\x98\x80 /../ \\u0041";
        json odd = claude("Stop", {{"session_id", nasty}, {"cwd", nasty}});
        parse("awkward characters", dump(odd), "idle", "", QString::fromStdString(nasty),
              QString::fromStdString(nasty));
        parse("lone surrogates, bytes that are not UTF-8",
              "{\"hook_event_name\":\"Stop\",\"session_id\":\"a\\ud800b\xC3(\",\"cwd\":\"\\ud83d\\ude00\"}",
              "idle", "", QStringLiteral("a\uFFFDb\uFFFD("), QStringLiteral("\U0001F600"));
        json big = claude("PostToolUse", {{"tool_response", std::string(1 << 20, '"')}});
        parse("a megabyte of quotes", dump(big), "working", "", kClaudeId, pj);
    }
    void events()
    {
        QFETCH(QString, runner);
        QFETCH(Case, c);
        const Runner r = runnerNamed(runner);
        QTemporaryDir home;
        const QString dir = home.path() + "/.cursor/signalwick/state/";
        // Where the event should change nothing or remove the file, a turn comes first.
        const json p = json::parse(c.payload.constBegin(), c.payload.constEnd(), nullptr, false);
        QByteArray planted;
        const bool unchanged = c.state.isEmpty() || c.state == "-";
        if (unchanged && p.is_object() && !c.env.contains("HOME") &&
            (p.contains("session_id") || p.contains("conversation_id"))) {
            json turn = p;
            turn["hook_event_name"] =
                p.contains("cursor_version") ? "beforeSubmitPrompt" : "UserPromptSubmit";
            QCOMPARE(run(r, home.path(), dump(turn), c.env).rc, 0);
            QCOMPARE(stateFiles(home.path()).size(), 1);
            planted = readAll(dir + stateFiles(home.path()).first());
        }
        const double before = QDateTime::currentSecsSinceEpoch();
        const Result res = run(r, home.path(), c.payload, c.env);
        QCOMPARE(res.rc, 0);
        QCOMPARE(res.out, c.out);
        QCOMPARE(res.err, QByteArray());
        const QStringList files = stateFiles(home.path());
        if (unchanged) {
            QStringList all; // nothing written anywhere else either
            for (QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
                 it.hasNext();)
                all << it.next();
            QCOMPARE(all.size(), int(!planted.isEmpty() && c.state.isEmpty()));
            if (!all.isEmpty())
                QCOMPARE(readAll(all.first()), planted);
            return;
        }
        QCOMPARE(files.size(), 1);
        const QByteArray text = readAll(dir + files.first());
        const auto record = StateRecord::decode(text);
        QVERIFY2(record, text.constData());
        QCOMPARE(record->state, c.state);
        QVERIFY2(record->ts >= before && record->ts <= QDateTime::currentSecsSinceEpoch() + 1,
                 text.constData());
        QCOMPARE(record->conversationId, std::optional(c.conv));
        QCOMPARE(record->workspace, c.ws == "<null>" ? std::nullopt : std::optional(c.ws));
    }

    // No conversation id can put a file outside the state folder, hide it, or
    // take the file of another id; a session's end removes its own file only.
    void conversationIds_data()
    {
        QTest::addColumn<QString>("runner");
        for (const Runner& r : kShells + kAwks)
            QTest::newRow(r.name) << r.name;
    }
    void conversationIds()
    {
        QFETCH(QString, runner);
        const Runner r = runnerNamed(runner);
        const std::string longId(5000, 'x');
        const std::vector<std::string> ids = {"../x",
                                              "a/b",
                                              "a_2Fb",
                                              "a%2Fb",
                                              "",
                                              ".",
                                              "..",
                                              "/etc/passwd",
                                              "-rf",
                                              ".hidden",
                                              "A",
                                              "a",
                                              "a b",
                                              "a_20b",
                                              "a\nb",
                                              "\xE4\xBC\x9A",
                                              longId,
                                              longId + "y",
                                              std::string(200, '/'),
                                              "x.json",
                                              "x.tmp"};
        QTemporaryDir home;
        QSet<QString> expected;
        for (const std::string& id : ids) {
            QCOMPARE(run(r, home.path(), dump(cursor("afterFileEdit", {{"conversation_id", id}}))).out,
                     "{}\n");
            expected.insert(QString::fromStdString(id));
        }
        const auto seen = [&] {
            QSet<QString> ids;
            QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QFileInfo f(it.next());
                if (f.path() != home.path() + "/.cursor/signalwick/state" || f.fileName().startsWith('.') ||
                    !f.fileName().endsWith(".json") || f.fileName().size() > 200)
                    ids.insert("stray file " + f.filePath());
                else if (const auto rec = StateRecord::decode(readAll(f.filePath()));
                         rec && rec->conversationId)
                    ids.insert(*rec->conversationId);
            }
            return ids;
        };
        QCOMPARE(seen(), expected);
        QCOMPARE(run(r, home.path(), dump(cursor("sessionEnd", {{"conversation_id", "a"}}))).rc, 0);
        expected.remove("a");
        QCOMPARE(seen(), expected);
    }
};

KORVANE_TEST_MAIN(TestHookScript)
#include "tst_hookscript.moc"
