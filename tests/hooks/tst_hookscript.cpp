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

// A shell, and the awk that is the only one on the script's PATH.
struct Runner {
    const char* name;
    const char* shell;
    const char* awk;
};
const QList<Runner> kShells = {
    {"dash", "dash", "awk"}, {"bash", "bash", "awk"}, {"busybox", "busybox", "awk"}};
// The awks differ in splitting and matching, which only the parser rows exercise.
const QList<Runner> kAll =
    kShells + QList<Runner>{{"busybox-awk", "dash", "busybox"}, {"original-awk", "dash", "original-awk"}};

using Env = QMap<QString, QString>;

struct Case {
    QByteArray payload, out; // out: the whole of standard output
    QString state;           // "" nothing changes, "-" the conversation's file is removed
    QString conv, ws;        // conversation_id and workspace written
    Env env;
};

QByteArray dump(const json& j)
{
    return QByteArray::fromStdString(j.dump(-1, ' ', false, json::error_handler_t::replace)) + '\n';
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The members every event of the tool carries.
json base(bool cursor, const std::string& event)
{
    if (cursor)
        return {{"conversation_id", "c0a1b2c3-0000-4000-8000-00000000c0de"},
                {"hook_event_name", event},
                {"cursor_version", "3.1.7"},
                {"workspace_roots", {"/home/user/cursor-project"}}};
    return {{"session_id", "5e55a0b1-1111-4222-8333-944455556666"},
            {"cwd", "/home/user/project"},
            {"hook_event_name", event}};
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

    Result run(const QString& runner, const QString& home, const QByteArray& input, const Env& env = {}) const
    {
        const Runner r =
            *std::find_if(kAll.begin(), kAll.end(), [&](const Runner& x) { return runner == x.name; });
        QTemporaryDir bin; // the only programs the script may use
        for (const char* tool : {"mkdir", "mv", "rm", "cat", r.awk})
            QFile::link(QStandardPaths::findExecutable(tool), bin.filePath(tool == r.awk ? "awk" : tool));
        QProcessEnvironment pe;
        pe.insert("HOME", home);
        pe.insert("PATH", bin.path());
        pe.insert("LANG", "C.UTF-8");
        for (auto it = env.begin(); it != env.end(); ++it)
            pe.insert(it.key(), it.value());
        QProcess p;
        p.setProcessEnvironment(pe);
        p.setWorkingDirectory(home);
        p.start(QStandardPaths::findExecutable(r.shell),
                qstrcmp(r.shell, "busybox") ? QStringList{m_script} : QStringList{"sh", m_script});
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return {};
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }

    static void addRows(const QList<Runner>& runners, const QString& name, const Case& c)
    {
        for (const Runner& r : runners)
            QTest::addRow("%s/%s", r.name, qPrintable(name)) << QString(r.name) << c;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The script under test is the one compiled into the program.
        m_script = m_dir.filePath("signalwick.sh");
        QVERIFY(QFile::copy(":/hooks/signalwick.sh", m_script));
    }

    void events_data()
    {
        QTest::addColumn<QString>("runner");
        QTest::addColumn<Case>("c");
        // Every payload captured from the real client; the idle notification changes nothing.
        const QMap<QString, QString> stateOf = {
            {"SessionStart", "idle"},          {"UserPromptSubmit", "working"},
            {"PreToolUse", "working"},         {"PostToolUse", "working"},
            {"PostToolUseFailure", "working"}, {"PermissionRequest", "waiting"},
            {"Notification", "waiting"},       {"Stop", "idle"},
            {"StopFailure", "error"},          {"SessionEnd", "-"}};
        const QDir fixtures(KORVANE_HOOK_TEST_DATA "/claude-code");
        for (const QString& name : fixtures.entryList({"*.json"}, QDir::Files)) {
            const QByteArray bytes = readAll(fixtures.filePath(name));
            const json p = json::parse(bytes.constBegin(), bytes.constEnd());
            const QString event = name.section('-', 0, 0);
            QVERIFY2(stateOf.contains(event), qPrintable(name));
            addRows(kShells, name,
                    {bytes,
                     "",
                     name.contains("Notification-tui-idle") ? "" : stateOf[event],
                     QString::fromStdString(p["session_id"]),
                     QString::fromStdString(p["cwd"]),
                     {}});
        }
        // Written cases: "claude" or "cursor" names the event, "with" adds members.
        const QByteArray table = readAll(KORVANE_HOOK_TEST_DATA "/script-cases.json");
        for (const json& c : json::parse(table.constBegin(), table.constEnd())) {
            const bool cursor = c.contains("cursor");
            json p = c.contains("raw") ? json() : base(cursor, c.value(cursor ? "cursor" : "claude", ""));
            p.update(c.value("with", json::object()));
            QByteArray payload = c.contains("raw") ? QByteArray::fromStdString(c["raw"]) : dump(p);
            if (c.contains("form")) // as Cursor on Windows sends it
                payload = "\xEF\xBB\xBF" + QByteArray::fromStdString(p.dump(4)).replace("\n", "\r\n");
            Env env;
            const json vars = c.value("env", json::object());
            for (const auto& [key, value] : vars.items())
                env[QString::fromStdString(key)] = QString::fromStdString(value);
            const json ids = base(cursor, "");
            const std::string conv = ids.value(cursor ? "conversation_id" : "session_id", "");
            const std::string ws = cursor ? ids["workspace_roots"][0] : ids["cwd"];
            addRows(c.value("awks", false) ? kAll : kShells, QString::fromStdString(c["name"]),
                    {payload, QByteArray::fromStdString(c.value("out", "")),
                     QString::fromStdString(c["state"]), QString::fromStdString(c.value("conv", conv)),
                     QString::fromStdString(c.value("ws", ws)), env});
        }
        addRows(kAll, "bytes that are not UTF-8",
                {"{\"hook_event_name\":\"Stop\",\"session_id\":\"a\xC3(\xED\xA0\x80z\",\"cwd\":\"/p\"}",
                 "",
                 "idle",
                 "a\uFFFD(\uFFFD\uFFFD\uFFFDz",
                 "/p",
                 {}});
        json big = base(false, "PostToolUse");
        big["tool_response"] = std::string(1 << 20, '"');
        addRows(kAll, "a megabyte of quotes",
                {dump(big), "", "working", "5e55a0b1-1111-4222-8333-944455556666", "/home/user/project", {}});
    }
    void events()
    {
        QFETCH(QString, runner);
        QFETCH(Case, c);
        QTemporaryDir home;
        const QString dir = home.path() + "/.cursor/signalwick/state/";
        // Where the event should change nothing or remove the file, a turn comes first.
        const bool unchanged = c.state.isEmpty() || c.state == "-";
        const json p = json::parse(c.payload.constBegin(), c.payload.constEnd(), nullptr, false);
        QByteArray planted;
        if (unchanged && p.is_object() && !c.env.contains("HOME") &&
            (p.contains("session_id") || p.contains("conversation_id"))) {
            json turn = p;
            turn["hook_event_name"] =
                p.contains("cursor_version") ? "beforeSubmitPrompt" : "UserPromptSubmit";
            QCOMPARE(run(runner, home.path(), dump(turn), c.env).rc, 0);
            const QStringList files = QDir(dir).entryList(QDir::Files);
            QCOMPARE(files.size(), 1);
            planted = readAll(dir + files.first());
        }
        const double before = QDateTime::currentSecsSinceEpoch();
        const Result res = run(runner, home.path(), c.payload, c.env);
        QCOMPARE(res.rc, 0);
        QCOMPARE(res.out, c.out);
        QCOMPARE(res.err, QByteArray());
        QStringList files; // anywhere in the home
        for (QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();)
            files << it.next();
        if (unchanged) {
            QCOMPARE(files.size(), int(!planted.isEmpty() && c.state.isEmpty()));
            if (!files.isEmpty())
                QCOMPARE(readAll(files.first()), planted);
            return;
        }
        QCOMPARE(files.size(), 1);
        QVERIFY2(files.first().startsWith(dir) && files.first().endsWith(".json"), qPrintable(files.first()));
        const QByteArray text = readAll(files.first());
        const auto record = StateRecord::decode(text);
        QVERIFY2(record, text.constData());
        QCOMPARE(record->state, c.state);
        QVERIFY2(record->ts >= before && record->ts <= QDateTime::currentSecsSinceEpoch() + 1,
                 text.constData());
        QCOMPARE(record->conversationId, std::optional(c.conv));
        QCOMPARE(record->workspace, std::optional(c.ws));
        // Only Cursor is answered, so the answer tells whose record it is.
        const json agent = json::parse(text.constBegin(), text.constEnd()).value("agent", json());
        QCOMPARE(QString::fromStdString(agent.dump()), c.out.isEmpty() ? "\"claude-code\"" : "\"cursor\"");
        QCOMPARE(QFileInfo(files.first()).permissions() & 0x777, QFileDevice::Permissions(0x600));
        QCOMPARE(QFileInfo(dir).permissions() & 0x777, QFileDevice::Permissions(0x700));
    }

    // No conversation id can put a file outside the state folder, hide it, or
    // take the file of another id; a session's end removes its own file only.
    void conversationIds_data()
    {
        QTest::addColumn<QString>("runner");
        for (const Runner& r : kAll)
            QTest::newRow(r.name) << r.name;
    }
    void conversationIds()
    {
        QFETCH(QString, runner);
        const std::string longId(5000, 'x');
        QTemporaryDir home;
        QSet<QString> expected;
        std::vector<std::string> ids = {"../x",        "a/b",  "a_2Fb",        "",       ".",    "..",
                                        "/etc/passwd", "-rf",  ".hidden",      "A",      "a",    "a b",
                                        "a_20b",       "a\nb", "\xE4\xBC\x9A", "x.json", "x.tmp"};
        ids.insert(ids.end(), {longId, longId + "y", std::string(200, '/')});
        for (const std::string& id : ids) {
            json p = base(true, "afterFileEdit");
            p["conversation_id"] = id;
            QCOMPARE(run(runner, home.path(), dump(p)).out, "{}\n");
            expected.insert(QString::fromStdString(id));
        }
        const auto seen = [&] {
            QSet<QString> ids;
            for (QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
                 it.hasNext();) {
                const QFileInfo f(it.next());
                const auto record = StateRecord::decode(readAll(f.filePath()));
                const bool placed = f.path() == home.path() + "/.cursor/signalwick/state" &&
                                    !f.fileName().startsWith('.') && f.fileName().endsWith(".json") &&
                                    f.fileName().size() <= 200;
                ids.insert(placed && record ? record->conversationId.value_or("?") : "stray " + f.filePath());
            }
            return ids;
        };
        QCOMPARE(seen(), expected);
        json end = base(true, "sessionEnd");
        end["conversation_id"] = "a";
        QCOMPARE(run(runner, home.path(), dump(end)).rc, 0);
        expected.remove("a");
        QCOMPARE(seen(), expected);
    }
};

KORVANE_TEST_MAIN(TestHookScript)
#include "tst_hookscript.moc"
