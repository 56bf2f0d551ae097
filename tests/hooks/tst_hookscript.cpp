// The hook script as Cursor and Claude Code run it: what it prints, its exit
// status, and the state file it leaves, read back with the store's own decoder.

#include "ScriptRunner.h"
#include "TestMain.h"
#include "status/StateRecord.h"
#include "status/StatusStore.h"

#include <QDateTime>
#include <QDirIterator>
#include <QThread>
#include <nlohmann/json.hpp>
#include <optional>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/types.h>
#endif

using namespace korvane;
using namespace korvane::test;
using nlohmann::json;

namespace {

const QByteArray kAllow = "{\"permission\":\"allow\"}\n";
const QByteArray kContinue = "{\"continue\":true}\n";
const QByteArray kEmptyObject = "{}\n";
// Stands for the folder the hook runs in (check() runs it in its HOME).
const QString kHookFolder = QStringLiteral("<hook folder>");

// What one run should leave behind.
struct ScriptCase {
    QByteArray payload;
    QMap<QString, QString> env; // on top of HOME, PATH and LANG
    QString state;              // the "state" written; "" nothing written, "-" the file removed
    QByteArray out;             // standard output, exactly
    QString conversation;       // expected conversation_id when a file is written
    std::optional<QString> workspace;
    bool plant = false; // run a turn of the same conversation first, to see it kept or removed
};

QByteArray dumpJson(const json& value)
{
    const std::string text = value.dump(-1, ' ', false, json::error_handler_t::replace);
    return QByteArray(text.data(), static_cast<qsizetype>(text.size())) + '\n';
}

QString fromJson(const json& value)
{
    return QString::fromStdString(value.get<std::string>());
}

QString dataDir()
{
    return QStringLiteral(KORVANE_HOOK_TEST_DATA);
}

json loadFixture(const QString& name)
{
    QFile file(dataDir() + QStringLiteral("/claude-code/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    const QByteArray bytes = file.readAll();
    return json::parse(bytes.constBegin(), bytes.constEnd());
}

// A documented Cursor payload: the fields every event carries, plus `extra`.
json cursorPayload(const char* event, json extra = json::object())
{
    json p = {{"conversation_id", "c0a1b2c3-0000-4000-8000-00000000c0de"},
              {"generation_id", "g-1"},
              {"model", "default"},
              {"hook_event_name", event},
              {"cursor_version", "3.1.7"},
              {"workspace_roots", json::array({"/home/user/cursor-project"})},
              {"user_email", nullptr},
              {"transcript_path", nullptr}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        p[it.key()] = it.value();
    return p;
}

// A Claude Code payload as the client writes it (see the captured fixtures).
json claudePayload(const char* event, json extra = json::object())
{
    json p = {{"session_id", "5e55a0b1-1111-4222-8333-944455556666"},
              {"transcript_path", "/home/user/.claude/projects/-home-user-project/x.jsonl"},
              {"cwd", "/home/user/project"},
              {"hook_event_name", event}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        p[it.key()] = it.value();
    return p;
}

QStringList stateFiles(const QString& home)
{
    return QDir(home + QStringLiteral("/.cursor/signalwick/state")).entryList(QDir::Files | QDir::Hidden);
}

// Every file below `root`, relative to it.
QStringList allFiles(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(ScriptCase)
Q_DECLARE_METATYPE(korvane::test::ScriptRunner)

class TestHookScript : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_scriptDir;
    QString m_script;

    QProcessEnvironment baseEnv(const QString& home, const ToolFolder& tools) const
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("PATH"), tools.path());
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        return env;
    }

    // One row per runner for each case; `shellsOnly`: only the shells, with the system awk.
    void addRows(const char* name, const ScriptCase& c, bool shellsOnly = false)
    {
        for (const ScriptRunner& runner : ScriptRunner::all()) {
            if (!shellsOnly || runner.awk == QStandardPaths::findExecutable(QStringLiteral("awk")))
                QTest::addRow("%s/%s", qPrintable(runner.name), name) << runner << c;
        }
    }

    void addColumns()
    {
        QTest::addColumn<ScriptRunner>("runner");
        QTest::addColumn<ScriptCase>("c");
    }

    // Runs the case and checks output, status and the state file.
    void check(const ScriptRunner& runner, const ScriptCase& c)
    {
        if (!runner.available())
            QSKIP("this shell or awk is not installed");
        const ToolFolder tools(runner);
        QTemporaryDir home;
        QProcessEnvironment env = baseEnv(home.path(), tools);
        for (auto it = c.env.begin(); it != c.env.end(); ++it)
            env.insert(it.key(), it.value());
        const QString dir = home.path() + QStringLiteral("/.cursor/signalwick/state");

        QByteArray planted;
        if (c.plant) {
            json turn = json::parse(c.payload.constBegin(), c.payload.constEnd());
            const bool cursor = turn.contains("cursor_version");
            turn["hook_event_name"] = cursor ? "beforeSubmitPrompt" : "UserPromptSubmit";
            const ScriptResult first = runScript(runner, m_script, dumpJson(turn), env, home.path());
            QCOMPARE(first.exitCode, 0);
            QCOMPARE(stateFiles(home.path()).size(), 1);
            planted = readFile(dir + QLatin1Char('/') + stateFiles(home.path()).first());
            QVERIFY(planted.contains("\"working\""));
        }

        const double before = std::floor(QDateTime::currentMSecsSinceEpoch() / 1000.0);
        const ScriptResult r = runScript(runner, m_script, c.payload, env, home.path());
        const double after = std::ceil(QDateTime::currentMSecsSinceEpoch() / 1000.0);
        QVERIFY(r.normalExit);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.allInputWritten, "the script must read all of its input");
        QCOMPARE(r.out, c.out);
        QCOMPARE(r.err, QByteArray());

        const QStringList files = stateFiles(home.path());
        for (const QString& f : files)
            QVERIFY2(f.endsWith(QLatin1String(".json")), qPrintable(QStringLiteral("left behind: ") + f));
        if (c.state.isEmpty()) {
            if (c.plant) {
                QCOMPARE(files.size(), 1);
                QCOMPARE(readFile(dir + QLatin1Char('/') + files.first()), planted);
            } else {
                QCOMPARE(files, QStringList());
            }
            return;
        }
        if (c.state == QLatin1String("-")) {
            QCOMPARE(files, QStringList());
            return;
        }
        QCOMPARE(files.size(), 1);
        const QByteArray content = readFile(dir + QLatin1Char('/') + files.first());
        const std::optional<StateRecord> record = StateRecord::decode(content);
        QVERIFY2(record.has_value(), content.constData());
        QCOMPARE(record->state, c.state);
        QVERIFY2(record->ts >= before && record->ts <= after, content.constData());
        QCOMPARE(record->conversationId.value_or(QStringLiteral("<absent>")), c.conversation);
        QCOMPARE(record->workspace,
                 c.workspace == kHookFolder ? std::optional(QDir(home.path()).canonicalPath()) : c.workspace);
        // What the user sees: "pending" shows as working until its grace period ends.
        const double age = QDateTime::currentMSecsSinceEpoch() / 1000.0 - record->ts;
        const AgentState shown = StatusStore::resolve(*record, age);
        const AgentState expected =
            c.state == QLatin1String("pending") ? AgentState::Working : *agentStateFromRaw(c.state);
        QCOMPARE(shown, expected);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The script under test is the one compiled into the library.
        QFile resource(QStringLiteral(":/hooks/signalwick.sh"));
        QVERIFY2(resource.open(QIODevice::ReadOnly), "the hook script resource is not linked in");
        m_script = m_scriptDir.filePath(QStringLiteral("signalwick.sh"));
        QFile out(m_script);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(resource.readAll());
        out.close();
        QVERIFY(QFile::setPermissions(m_script, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ExeOwner));
        QVERIFY2(ScriptRunner::all().first().available(), "dash and awk are needed");
    }

    // Every payload captured from the real Claude Code client.
    void claudeFixtures_data()
    {
        addColumns();
        // A SessionEnd removes the file; the idle notification changes nothing.
        const QMap<QString, QString> stateOf = {
            {"SessionStart", "idle"},   {"UserPromptSubmit", "working"},  {"PreToolUse", "working"},
            {"PostToolUse", "working"}, {"PermissionRequest", "waiting"}, {"Notification", "waiting"},
            {"Stop", "idle"},           {"StopFailure", "error"},         {"SessionEnd", "-"}};
        const QMap<QString, QString> exceptions = {{"Notification-tui-idle.json", ""}};

        const QStringList names = QDir(dataDir() + QStringLiteral("/claude-code"))
                                      .entryList({QStringLiteral("*.json")}, QDir::Files);
        QVERIFY(names.size() >= 70);
        for (const QString& name : names) {
            const QString event = name.section(QLatin1Char('-'), 0, 0);
            QVERIFY2(stateOf.contains(event), qPrintable(name));
            const json payload = loadFixture(name);
            ScriptCase c;
            c.payload = dumpJson(payload);
            c.state = exceptions.value(name, stateOf.value(event));
            c.out = QByteArray(); // Claude Code would hand any output to the model
            c.conversation = fromJson(payload["session_id"]);
            c.workspace = fromJson(payload["cwd"]);
            c.plant = c.state.isEmpty() || c.state == QLatin1String("-") || c.state == QLatin1String("idle");
            // Byte for byte as captured: one compact line and a newline.
            QFile raw(dataDir() + QStringLiteral("/claude-code/") + name);
            QVERIFY(raw.open(QIODevice::ReadOnly));
            c.payload = raw.readAll();
            addRows(qPrintable(name.chopped(5)), c, true);
        }
    }
    void claudeFixtures()
    {
        QFETCH(ScriptRunner, runner);
        QFETCH(ScriptCase, c);
        check(runner, c);
    }

    // Claude Code events and members the captured runs did not reach.
    void claudeEvents_data()
    {
        addColumns();
        const auto row = [this](const char* name, json payload, const char* state, bool plant = false,
                                QMap<QString, QString> env = {},
                                std::optional<QString> workspace = QStringLiteral("/home/user/project"),
                                QString conversation =
                                    QStringLiteral("5e55a0b1-1111-4222-8333-944455556666")) {
            ScriptCase c;
            c.payload = dumpJson(payload);
            c.state = QString::fromLatin1(state);
            c.conversation = conversation;
            c.workspace = workspace;
            c.env = env;
            c.plant = plant;
            addRows(name, c);
        };
        row("compaction mid-turn changes nothing", claudePayload("SessionStart", {{"source", "compact"}}), "",
            true);
        row("resume starts idle", claudePayload("SessionStart", {{"source", "resume"}}), "idle");
        row("clear starts idle", claudePayload("SessionStart", {{"source", "clear"}}), "idle");
        row("question to the user", claudePayload("PreToolUse", {{"tool_name", "AskUserQuestion"}}),
            "waiting");
        row("plan approval", claudePayload("PreToolUse", {{"tool_name", "ExitPlanMode"}}), "waiting");
        row("MCP tool", claudePayload("PreToolUse", {{"tool_name", "mcp__github__search"}}), "working");
        row("elicitation dialog",
            claudePayload("Notification", {{"notification_type", "elicitation_dialog"}, {"message", "x"}}),
            "waiting");
        row("auth success changes nothing",
            claudePayload("Notification", {{"notification_type", "auth_success"}, {"message", "ok"}}), "",
            true);
        row("old client: permission message",
            claudePayload("Notification", {{"message", "Claude needs your permission to use Bash"}}),
            "waiting");
        row("old client: idle message changes nothing",
            claudePayload("Notification", {{"message", "Claude is waiting for your input"}}), "", true);
        row("failure of any kind", claudePayload("StopFailure", {{"error", "max_output_tokens"}}), "error");
        row("tool failure keeps working", claudePayload("PostToolUseFailure", {{"tool_name", "Bash"}}),
            "working");
        row("unregistered event changes nothing", claudePayload("SubagentStop"), "", true);
        row("project folder wins over cwd", claudePayload("Stop"), "idle", false,
            {{"CLAUDE_PROJECT_DIR", "/home/user/root"}}, QStringLiteral("/home/user/root"));
        row("empty project folder falls back to cwd", claudePayload("Stop"), "idle", false,
            {{"CLAUDE_PROJECT_DIR", ""}});
        json noCwd = claudePayload("Stop");
        noCwd.erase("cwd");
        row("no cwd: the hook's folder", noCwd, "idle", false, {}, kHookFolder);
        json noSession = claudePayload("UserPromptSubmit");
        noSession.erase("session_id");
        row("no session id: the client's variable", noSession, "working", false,
            {{"CLAUDE_CODE_SESSION_ID", "from-env"}}, QStringLiteral("/home/user/project"),
            QStringLiteral("from-env"));
        row("no session id at all", noSession, "working", false, {}, QStringLiteral("/home/user/project"),
            QString());
    }
    void claudeEvents()
    {
        QFETCH(ScriptRunner, runner);
        QFETCH(ScriptCase, c);
        check(runner, c);
    }

    // Documented Cursor payloads, also those of Claude Code's hooks that Cursor runs.
    void cursorEvents_data()
    {
        addColumns();
        const auto row = [this](const char* name, json payload, const char* state, const QByteArray& out,
                                QMap<QString, QString> env = {},
                                std::optional<QString> workspace =
                                    QStringLiteral("/home/user/cursor-project"),
                                bool plant = false) {
            ScriptCase c;
            c.payload = dumpJson(payload);
            c.state = QString::fromLatin1(state);
            c.out = out;
            c.conversation = QStringLiteral("c0a1b2c3-0000-4000-8000-00000000c0de");
            c.workspace = workspace;
            c.env = env;
            c.plant = plant;
            addRows(name, c);
        };
        row("sessionStart",
            cursorPayload("sessionStart", {{"session_id", "c0a1b2c3-0000-4000-8000-00000000c0de"},
                                           {"is_background_agent", false},
                                           {"composer_mode", "agent"}}),
            "idle", kEmptyObject);
        row("beforeSubmitPrompt",
            cursorPayload("beforeSubmitPrompt", {{"prompt", "fix it"}, {"attachments", json::array()}}),
            "working", kContinue);
        row("beforeShellExecution sandboxed",
            cursorPayload("beforeShellExecution", {{"command", "ls"}, {"cwd", "/x"}, {"sandbox", true}}),
            "working", kAllow);
        row("beforeShellExecution not sandboxed",
            cursorPayload("beforeShellExecution",
                          {{"command", "rm -rf build"}, {"cwd", "/x"}, {"sandbox", false}}),
            "pending", kAllow);
        row("beforeShellExecution, sandbox unknown",
            cursorPayload("beforeShellExecution", {{"command", "make"}}), "pending", kAllow);
        row("beforeShellExecution, sandbox as a string",
            cursorPayload("beforeShellExecution", {{"command", "make"}, {"sandbox", "true"}}), "pending",
            kAllow);
        row("beforeMCPExecution",
            cursorPayload(
                "beforeMCPExecution",
                {{"tool_name", "search"}, {"tool_input", "{\"q\":\"x\"}"}, {"url", "https://mcp.example"}}),
            "pending", kAllow);
        row("afterShellExecution",
            cursorPayload("afterShellExecution",
                          {{"command", "ls"}, {"output", "a\nb"}, {"duration", 12}, {"sandbox", false}}),
            "working", kEmptyObject);
        row("afterMCPExecution",
            cursorPayload(
                "afterMCPExecution",
                {{"tool_name", "search"}, {"tool_input", "{}"}, {"result_json", "{}"}, {"duration", 3}}),
            "working", kEmptyObject);
        row("postToolUse",
            cursorPayload("postToolUse", {{"tool_name", "Shell"},
                                          {"tool_input", {{"command", "ls"}}},
                                          {"tool_output", "{}"},
                                          {"tool_use_id", "t1"},
                                          {"cwd", "/x"},
                                          {"duration", 5}}),
            "working", kEmptyObject);
        row("postToolUseFailure",
            cursorPayload("postToolUseFailure",
                          {{"error_message", "no"}, {"failure_type", "permission_denied"}}),
            "working", kEmptyObject);
        row("afterFileEdit",
            cursorPayload("afterFileEdit",
                          {{"file_path", "/x/a.c"},
                           {"edits", json::array({{{"old_string", "a"}, {"new_string", "b"}}})}}),
            "working", kEmptyObject);
        row("afterAgentResponse", cursorPayload("afterAgentResponse", {{"text", "Done."}}), "working",
            kEmptyObject);
        row("stop completed", cursorPayload("stop", {{"status", "completed"}, {"loop_count", 0}}), "idle",
            kEmptyObject);
        row("stop aborted", cursorPayload("stop", {{"status", "aborted"}, {"loop_count", 0}}), "idle",
            kEmptyObject);
        row("stop error", cursorPayload("stop", {{"status", "error"}, {"loop_count", 0}}), "error",
            kEmptyObject);
        row("sessionEnd",
            cursorPayload("sessionEnd", {{"session_id", "s"},
                                         {"reason", "completed"},
                                         {"duration_ms", 10},
                                         {"is_background_agent", false},
                                         {"final_status", "completed"}}),
            "-", kEmptyObject, {}, std::nullopt, true);
        row("preToolUse from Claude Code's settings",
            cursorPayload("preToolUse", {{"tool_name", "Shell"},
                                         {"tool_input", {{"command", "ls"}}},
                                         {"tool_use_id", "t1"},
                                         {"cwd", ""},
                                         {"agent_message", "running ls"}}),
            "working", kAllow);
        row("beforeReadFile is allowed", cursorPayload("beforeReadFile", {{"file_path", "/x/a"}}), "",
            kAllow);
        row("unknown event answers {}", cursorPayload("afterAgentThought", {{"text", "hmm"}}), "",
            kEmptyObject);

        json imported = cursorPayload("preToolUse", {{"tool_name", "Shell"}});
        imported.erase("cursor_version");
        row("imported hook without cursor_version", imported, "working", kAllow);
        json onlyConversation = {{"hook_event_name", "beforeShellExecution"},
                                 {"conversation_id", "c0a1b2c3-0000-4000-8000-00000000c0de"},
                                 {"command", "ls"}};
        row("bare payload", onlyConversation, "pending", kAllow, {}, std::nullopt);

        json noRoots = cursorPayload("afterFileEdit", {{"cwd", "/from/cwd"}});
        noRoots["workspace_roots"] = json::array();
        row("no workspace root: CURSOR_PROJECT_DIR", noRoots, "working", kEmptyObject,
            {{"CURSOR_PROJECT_DIR", "/from/env"}, {"CLAUDE_PROJECT_DIR", "/alias"}},
            QStringLiteral("/from/env"));
        row("no workspace root, no variable: cwd", noRoots, "working", kEmptyObject,
            {{"CLAUDE_PROJECT_DIR", "/alias"}}, QStringLiteral("/from/cwd"));
        row("workspace root wins over the variables", cursorPayload("afterFileEdit"), "working", kEmptyObject,
            {{"CURSOR_PROJECT_DIR", "/from/env"}, {"CLAUDE_PROJECT_DIR", "/alias"}});
        json secondRoot = cursorPayload("afterFileEdit");
        secondRoot["workspace_roots"] = json::array({"/first", "/second"});
        row("first of several roots", secondRoot, "working", kEmptyObject, {}, QStringLiteral("/first"));

        json bySession =
            cursorPayload("sessionStart", {{"session_id", "c0a1b2c3-0000-4000-8000-00000000c0de"}});
        bySession.erase("conversation_id");
        row("session_id when there is no conversation_id", bySession, "idle", kEmptyObject);
    }
    void cursorEvents()
    {
        QFETCH(ScriptRunner, runner);
        QFETCH(ScriptCase, c);
        check(runner, c);
    }

    // What Cursor on Windows and cursor-agent send, and other layouts of the same JSON.
    void inputForms_data()
    {
        addColumns();
        const QByteArray bom = "\xEF\xBB\xBF";
        const json shell = cursorPayload("beforeShellExecution", {{"command", "ls"}, {"sandbox", false}});
        const auto row = [this](const char* name, const QByteArray& payload, const char* state,
                                const QByteArray& out) {
            ScriptCase c;
            c.payload = payload;
            c.state = QString::fromLatin1(state);
            c.out = out;
            c.conversation = QStringLiteral("c0a1b2c3-0000-4000-8000-00000000c0de");
            c.workspace = QStringLiteral("/home/user/cursor-project");
            addRows(name, c);
        };
        row("byte-order mark", bom + dumpJson(shell), "pending", kAllow);
        std::string pretty = shell.dump(4);
        row("pretty-printed", QByteArray::fromStdString(pretty), "pending", kAllow);
        QByteArray crlf = QByteArray::fromStdString(pretty).replace("\n", "\r\n");
        row("CRLF lines, no final newline", bom + crlf, "pending", kAllow);
        row("no final newline", dumpJson(shell).chopped(1), "pending", kAllow);
        QByteArray spaced = dumpJson(shell);
        spaced.replace(":", " \t: ").replace(",", " ,\n ");
        row("space around every colon", spaced, "pending", kAllow);
    }
    void inputForms()
    {
        QFETCH(ScriptRunner, runner);
        QFETCH(ScriptCase, c);
        check(runner, c);
    }

    // Input that no client should send, but that must never make the script fail,
    // print the wrong thing, or write a file the store cannot read.
    void hostileInput_data()
    {
        addColumns();
        const auto row = [this](const char* name, const QByteArray& payload, const char* state,
                                const QByteArray& out, const QString& conversation = QString(),
                                std::optional<QString> workspace = std::nullopt,
                                QMap<QString, QString> env = {}) {
            ScriptCase c;
            c.payload = payload;
            c.state = QString::fromLatin1(state);
            c.out = out;
            c.conversation = conversation;
            c.workspace = workspace;
            c.env = env;
            addRows(name, c);
        };
        row("empty input", QByteArray(), "", QByteArray());
        row("only whitespace", "  \n\n", "", QByteArray());
        row("not JSON", "hello world\n", "", QByteArray());
        row("truncated JSON", "{\"hook_event_name\":\"Stop\",\"session_id\":\"ab", "", QByteArray());
        row("a JSON array", "[{\"hook_event_name\":\"Stop\",\"session_id\":\"x\"}]\n", "", QByteArray());
        row("null", "null\n", "", QByteArray());
        row("binary", QByteArray("\x00\xff\xfe{\"\x01", 7), "", QByteArray());
        row("not JSON, inside Cursor", "garbage", "", kEmptyObject, QString(), std::nullopt,
            {{"CURSOR_VERSION", "3.1.7"}});
        row("event name not a string", "{\"hook_event_name\":7,\"session_id\":\"x\"}", "", QByteArray());
        json noEvent = claudePayload("Stop");
        noEvent.erase("hook_event_name");
        row("no event name", dumpJson(noEvent), "", QByteArray());

        // Members that only look like the event's inside nested values or strings.
        json nested = claudePayload("PreToolUse", {{"tool_name", "Bash"},
                                                   {"tool_input",
                                                    {{"hook_event_name", "StopFailure"},
                                                     {"session_id", "evil"},
                                                     {"command", "echo \"hook_event_name\":\"Stop\""}}}});
        row("look-alike members inside values", dumpJson(nested), "working", QByteArray(),
            QStringLiteral("5e55a0b1-1111-4222-8333-944455556666"), QStringLiteral("/home/user/project"));
        json inString =
            claudePayload("Stop", {{"last_assistant_message", "\",\"session_id\":\"evil\",\"x\":\""}});
        row("look-alike members inside a string", dumpJson(inString), "idle", QByteArray(),
            QStringLiteral("5e55a0b1-1111-4222-8333-944455556666"), QStringLiteral("/home/user/project"));
        row("duplicate member: the last one counts",
            "{\"session_id\":\"first\",\"hook_event_name\":\"Stop\",\"cwd\":\"/"
            "p\",\"session_id\":\"second\"}",
            "idle", QByteArray(), QStringLiteral("second"), QStringLiteral("/p"));
        row("members of other types",
            "{\"session_id\":42,\"hook_event_name\":\"Stop\",\"cwd\":{\"a\":1},\"tool_name\":null}", "idle",
            QByteArray(), QString(), kHookFolder);

        // Quotes, backslashes, newlines, control characters and unicode everywhere.
        const std::string nasty =
            "q\"uo\\te\nnew\tline\x01 \xC3\xA9\xE4\xBC\x9A\xF0\x9F\x98\x80 /../ \\u0041";
        json everywhere = claudePayload("PreToolUse", {{"tool_name", nasty}, {"prompt_id", nasty}});
        everywhere["session_id"] = nasty;
        everywhere["cwd"] = nasty;
        row("awkward characters in every string", dumpJson(everywhere), "working", QByteArray(),
            QString::fromStdString(nasty), QString::fromStdString(nasty));
        json cursorEverywhere = cursorPayload("afterFileEdit", {{"file_path", nasty}});
        cursorEverywhere["conversation_id"] = nasty;
        cursorEverywhere["workspace_roots"] = json::array({nasty});
        row("awkward characters, Cursor", dumpJson(cursorEverywhere), "working", kEmptyObject,
            QString::fromStdString(nasty), QString::fromStdString(nasty));
        row("awkward project folder from the environment", dumpJson(claudePayload("Stop")), "idle",
            QByteArray(), QStringLiteral("5e55a0b1-1111-4222-8333-944455556666"),
            QString::fromStdString(nasty), {{"CLAUDE_PROJECT_DIR", QString::fromStdString(nasty)}});

        // Escapes the reader would reject if copied as they are.
        row("lone surrogate escapes",
            "{\"hook_event_name\":\"Stop\",\"session_id\":\"a\\ud800b\\udc00c\",\"cwd\":\"\\ud83d\\ude00\"}",
            "idle", QByteArray(), QStringLiteral("a\uFFFDb\uFFFDc"), QStringLiteral("\U0001F600"));
        row("invalid escape and raw control character",
            QByteArray("{\"hook_event_name\":\"Stop\",\"session_id\":\"a\\qb\x02\",\"cwd\":\"/p\"}"), "idle",
            QByteArray(), QStringLiteral("a\\qb\x02"), QStringLiteral("/p"));
        row("bytes that are not UTF-8",
            QByteArray(
                "{\"hook_event_name\":\"Stop\",\"session_id\":\"a\xC3(\xED\xA0\x80\xF8z\",\"cwd\":\"/p\"}"),
            "idle", QByteArray(), QStringLiteral("a\uFFFD(\uFFFD\uFFFD\uFFFD\uFFFDz"), QStringLiteral("/p"));

        // A megabyte: a big tool output, and a payload made of many small pieces.
        json big = claudePayload("PostToolUse", {{"tool_name", "Bash"}});
        big["tool_response"] = {{"stdout", std::string(1 << 20, 'x') + "\"\\"}};
        row("1 MB tool output", dumpJson(big), "working", QByteArray(),
            QStringLiteral("5e55a0b1-1111-4222-8333-944455556666"), QStringLiteral("/home/user/project"));
        json many = json::array();
        for (int i = 0; i < 60000; ++i)
            many.push_back({{"k", "v\\\""}, {"n", i}});
        json pieces = cursorPayload("postToolUse", {{"tool_output", many}});
        row("1 MB of small pieces, Cursor", dumpJson(pieces), "working", kEmptyObject,
            QStringLiteral("c0a1b2c3-0000-4000-8000-00000000c0de"),
            QStringLiteral("/home/user/cursor-project"));
        json lines = claudePayload("Stop");
        lines["last_assistant_message"] = std::string(1 << 20, '\n');
        QByteArray manyLines = QByteArray::fromStdString(lines.dump(1));
        row("1 MB of lines", manyLines, "idle", QByteArray(),
            QStringLiteral("5e55a0b1-1111-4222-8333-944455556666"), QStringLiteral("/home/user/project"));
        row("1 MB of control characters", QByteArray(1 << 20, '\x01'), "", QByteArray());
    }
    void hostileInput()
    {
        QFETCH(ScriptRunner, runner);
        QFETCH(ScriptCase, c);
        check(runner, c);
    }

    // No conversation id can put a file outside the state folder, hide it, or
    // take the file of another id.
    void conversationIds_data()
    {
        QTest::addColumn<ScriptRunner>("runner");
        for (const ScriptRunner& runner : ScriptRunner::all())
            QTest::addRow("%s", qPrintable(runner.name)) << runner;
    }
    void conversationIds()
    {
        QFETCH(ScriptRunner, runner);
        if (!runner.available())
            QSKIP("this shell or awk is not installed");
        const std::string longId(5000, 'x');
        const std::vector<std::string> ids = {"../x",
                                              "../../.bashrc",
                                              "a/b",
                                              "a_2Fb",
                                              "a%2Fb",
                                              "a\\/b",
                                              "",
                                              ".",
                                              "..",
                                              "/",
                                              "/etc/passwd",
                                              "-rf",
                                              "~",
                                              ".hidden",
                                              "A",
                                              "a",
                                              "a b",
                                              "a\nb",
                                              "a\x01",
                                              "\xE4\xBC\x9A\xE8\xAF\x9D",
                                              longId,
                                              longId + "y",
                                              std::string(200, '/'),
                                              "tmp",
                                              "x.json",
                                              "x.json.tmp"};
        const ToolFolder tools(runner);
        QTemporaryDir home;
        const QProcessEnvironment env = baseEnv(home.path(), tools);
        QSet<QString> expected;
        for (const std::string& id : ids) {
            const json payload = cursorPayload("afterFileEdit", {{"conversation_id", id}});
            const ScriptResult r = runScript(runner, m_script, dumpJson(payload), env, home.path());
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(r.out, kEmptyObject);
            expected.insert(QString::fromStdString(id));
        }
        const QStringList files = allFiles(home.path());
        QCOMPARE(files.size(), int(ids.size()));
        QSet<QString> seen;
        for (const QString& f : files) {
            QVERIFY2(f.startsWith(QLatin1String(".cursor/signalwick/state/")), qPrintable(f));
            const QString name = f.section(QLatin1Char('/'), -1);
            QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(name));
            QVERIFY2(name.endsWith(QLatin1String(".json")), qPrintable(name));
            QVERIFY2(name.toUtf8().size() <= 200, qPrintable(name));
            const auto record = StateRecord::decode(readFile(home.path() + QLatin1Char('/') + f));
            QVERIFY(record && record->conversationId);
            seen.insert(*record->conversationId);
        }
        QCOMPARE(seen, expected);
    }

    // Ids and paths far longer than any real one are cut, not choked on.
    void longValues_data()
    {
        QTest::addColumn<ScriptRunner>("runner");
        for (const ScriptRunner& runner : ScriptRunner::all())
            QTest::addRow("%s", qPrintable(runner.name)) << runner;
    }
    void longValues()
    {
        QFETCH(ScriptRunner, runner);
        if (!runner.available())
            QSKIP("this shell or awk is not installed");
        std::string id;
        while (id.size() < (1 << 20))
            id += "\xC3\xA9/\"";
        json payload = claudePayload("Stop");
        payload["session_id"] = id;
        payload["cwd"] = "/" + id;
        const ToolFolder tools(runner);
        QTemporaryDir home;
        const ScriptResult r = runScript(runner, m_script, dumpJson(payload), baseEnv(home.path(), tools));
        QCOMPARE(r.exitCode, 0);
        const QStringList files = stateFiles(home.path());
        QCOMPARE(files.size(), 1);
        QVERIFY(files.first().size() <= 200);
        const auto record = StateRecord::decode(
            readFile(home.path() + QStringLiteral("/.cursor/signalwick/state/") + files.first()));
        QVERIFY(record && record->conversationId && record->workspace);
        QCOMPARE(record->state, QStringLiteral("idle"));
        // The cut may end in a replacement character; what comes before it is kept.
        const QString full = QString::fromStdString(id);
        QVERIFY(record->conversationId->size() > 1000 && record->conversationId->size() < 9000);
        QCOMPARE(record->conversationId->left(1000), full.left(1000));
        QCOMPARE(record->workspace->left(1000), (QLatin1Char('/') + full).left(1000));
    }

    // A session's end removes the file of that session only.
    void sessionEndRemovesOnlyItsFile()
    {
        const ScriptRunner runner = ScriptRunner::all().first();
        const ToolFolder tools(runner);
        QTemporaryDir home;
        const QProcessEnvironment env = baseEnv(home.path(), tools);
        for (const char* id : {"one", "two", "../one"}) {
            json start = claudePayload("SessionStart", {{"source", "startup"}});
            start["session_id"] = id;
            QCOMPARE(runScript(runner, m_script, dumpJson(start), env).exitCode, 0);
        }
        QCOMPARE(stateFiles(home.path()).size(), 3);
        json end = claudePayload("SessionEnd", {{"reason", "other"}});
        end["session_id"] = "one";
        QCOMPARE(runScript(runner, m_script, dumpJson(end), env).exitCode, 0);
        const QStringList left = stateFiles(home.path());
        QCOMPARE(left.size(), 2);
        for (const QString& f : left) {
            const auto record =
                StateRecord::decode(readFile(home.path() + QStringLiteral("/.cursor/signalwick/state/") + f));
            QVERIFY(record && record->conversationId != QStringLiteral("one"));
        }
    }

    // Where the state cannot be written the caller is still answered.
    void unwritableState_data()
    {
        QTest::addColumn<ScriptRunner>("runner");
        QTest::addColumn<QString>("setup");
        for (const ScriptRunner& runner : ScriptRunner::all()) {
            for (const char* setup : {"read-only state folder", "state folder is a file", "no HOME",
                                      "empty HOME", "relative HOME", "HOME does not exist"})
                QTest::addRow("%s/%s", qPrintable(runner.name), setup)
                    << runner << QString::fromLatin1(setup);
        }
    }
    void unwritableState()
    {
        QFETCH(ScriptRunner, runner);
        QFETCH(QString, setup);
        if (!runner.available())
            QSKIP("this shell or awk is not installed");
        const ToolFolder tools(runner);
        QTemporaryDir root;
        const QString home = root.filePath(QStringLiteral("home"));
        const QString work = root.filePath(QStringLiteral("work"));
        QVERIFY(QDir().mkpath(home) && QDir().mkpath(work));
        const QString dir = home + QStringLiteral("/.cursor/signalwick/state");
        QProcessEnvironment env = baseEnv(home, tools);
        QByteArray before;
        if (setup == QLatin1String("read-only state folder")) {
            QVERIFY(QDir().mkpath(dir));
            QFile old(dir + QStringLiteral("/keep.json"));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("{\"state\":\"idle\",\"ts\":1}");
            old.close();
            QVERIFY(QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            if (QFileInfo(dir).isWritable())
                QSKIP("running as a user who can write anywhere");
        } else if (setup == QLatin1String("state folder is a file")) {
            QVERIFY(QDir().mkpath(home + QStringLiteral("/.cursor/signalwick")));
            QFile blocker(dir);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            blocker.write("not a folder");
        } else if (setup == QLatin1String("no HOME")) {
            env.remove(QStringLiteral("HOME"));
        } else if (setup == QLatin1String("empty HOME")) {
            env.insert(QStringLiteral("HOME"), QString());
        } else if (setup == QLatin1String("relative HOME")) {
            env.insert(QStringLiteral("HOME"), QStringLiteral("home"));
        } else if (setup == QLatin1String("HOME does not exist")) {
            env.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("gone")));
        }
        const QStringList filesBefore = allFiles(root.path());

        for (const bool cursor : {false, true}) {
            const json payload = cursor ? cursorPayload("beforeShellExecution", {{"command", "ls"}})
                                        : claudePayload("UserPromptSubmit");
            const ScriptResult r = runScript(runner, m_script, dumpJson(payload), env, work);
            QVERIFY(r.normalExit);
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(r.out, cursor ? kAllow : QByteArray());
            QCOMPARE(r.err, QByteArray());
        }
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (setup == QLatin1String("HOME does not exist")) {
            // A home that is only missing its folders gets them, like any new machine.
            QCOMPARE(stateFiles(root.filePath(QStringLiteral("gone"))).size(), 2);
            return;
        }
        QCOMPARE(allFiles(root.path()), filesBefore);
    }

    // The state folder is created with its parents when it is missing.
    void createsTheStateFolder()
    {
        const ScriptRunner runner = ScriptRunner::all().first();
        const ToolFolder tools(runner);
        QTemporaryDir home;
        QVERIFY(!QFileInfo::exists(home.path() + QStringLiteral("/.cursor")));
        const ScriptResult r =
            runScript(runner, m_script, dumpJson(claudePayload("Stop")), baseEnv(home.path(), tools));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(stateFiles(home.path()).size(), 1);
    }

    // Claude Code terminates a StopFailure hook 40-70 ms after starting it; the
    // error must still be recorded.
    void finishesAfterTerminate()
    {
#ifndef Q_OS_LINUX
        QSKIP("reads the signal mask from /proc");
#else
        const ScriptRunner runner = ScriptRunner::all().first();
        const ToolFolder tools(runner);
        QTemporaryDir home;
        QProcess process;
        process.setProcessEnvironment(baseEnv(home.path(), tools));
        process.start(runner.shell, {m_script});
        QVERIFY(process.waitForStarted());
        // Deliver the signal once the script is past its first line, while it
        // still waits for its input.
        const QString status = QStringLiteral("/proc/%1/status").arg(process.processId());
        const auto termIgnored = [&status] {
            for (const QByteArray& line : readFile(status).split('\n')) {
                if (line.startsWith("SigIgn:"))
                    return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
            }
            return 0ULL;
        };
        QTRY_VERIFY_WITH_TIMEOUT(termIgnored(), 10000);
        ::kill(pid_t(process.processId()), SIGTERM);
        process.write(dumpJson(claudePayload("StopFailure", {{"error", "server_error"}})));
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QStringList files = stateFiles(home.path());
        QCOMPARE(files.size(), 1);
        const auto record = StateRecord::decode(
            readFile(home.path() + QStringLiteral("/.cursor/signalwick/state/") + files.first()));
        QVERIFY(record);
        QCOMPARE(record->state, QStringLiteral("error"));
#endif
    }

    // Cursor runs a hook twice when it is in both configurations, and Claude Code
    // runs hooks in parallel: the file is always whole.
    void concurrentWriters()
    {
        const ScriptRunner runner = ScriptRunner::all().first();
        const ToolFolder tools(runner);
        QTemporaryDir home;
        const QProcessEnvironment env = baseEnv(home.path(), tools);
        std::vector<std::pair<std::unique_ptr<QProcess>, QByteArray>> processes;
        for (int i = 0; i < 12; ++i) {
            auto p = std::make_unique<QProcess>();
            p->setProcessEnvironment(env);
            p->start(runner.shell, {m_script});
            const bool before = i % 2 == 0;
            p->write(dumpJson(cursorPayload(before ? "beforeShellExecution" : "afterFileEdit",
                                            {{"command", std::string(100000, 'c')}})));
            p->closeWriteChannel();
            processes.emplace_back(std::move(p), before ? kAllow : kEmptyObject);
        }
        for (auto& [p, out] : processes) {
            QVERIFY(p->waitForFinished(60000));
            QCOMPARE(p->exitCode(), 0);
            QCOMPARE(p->readAllStandardOutput(), out);
        }
        const QStringList files = stateFiles(home.path());
        QCOMPARE(files.size(), 1);
        const auto record = StateRecord::decode(
            readFile(home.path() + QStringLiteral("/.cursor/signalwick/state/") + files.first()));
        QVERIFY(record);
        QVERIFY(record->state == QLatin1String("working") || record->state == QLatin1String("pending"));
    }
};

KORVANE_TEST_MAIN(TestHookScript)
#include "tst_hookscript.moc"
