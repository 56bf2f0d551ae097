// HookInstaller against real files in a throw-away home: the merges keep what
// users and other tools wrote, and the files stay what users made them.

#include "TestMain.h"
#include "hooks/HookInstaller.h"
#include "hooks/JsonFile.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;
using nlohmann::json;

namespace {

class RecordingLog final : public SystemLog {
public:
    void write(const QString& line) override { lines << line; }
    QStringList lines;
};

const std::string kCursorEntry = R"({"command":"./hooks/signalwick.sh"})";

json parse(const QByteArray& bytes)
{
    return json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Exact comparison: dump() keeps the number kinds apart (1 and 1.0 differ).
std::string exact(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

QString configData(const QString& name)
{
    return QStringLiteral(KORVANE_HOOK_TEST_DATA "/configs/") + name;
}

ino_t inode(const QString& path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class TestHookInstaller : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    RecordingLog m_log;

    QString home() const { return m_home->path(); }
    QString claudeCommand() const { return home() + QStringLiteral("/.cursor/hooks/signalwick.sh"); }
    json claudeGroup() const
    {
        json entry = {{"type", "command"}, {"command", claudeCommand().toStdString()}};
        return {{"hooks", json::array({entry})}};
    }

private Q_SLOTS:
    // Every test gets a home of its own; HOME is what QDir::homePath() reads.
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        qputenv("HOME", QFile::encodeName(m_home->path()));
        QCOMPARE(QDir::homePath(), m_home->path());
        m_log.lines.clear();
        SystemLog::setInstance(&m_log);
    }
    void cleanup()
    {
        SystemLog::setInstance(nullptr);
        QFile::setPermissions(home() + QStringLiteral("/.cursor"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_home.reset();
    }

    void resourceIsTheShippedScript()
    {
        QFile resource(QString::fromLatin1(HookInstaller::kScriptResource));
        QVERIFY2(resource.open(QIODevice::ReadOnly),
                 "the script resource is not linked in from korvane_core");
        QCOMPARE(resource.readAll(), readFile(QStringLiteral(KORVANE_HOOK_SCRIPT_SOURCE)));
    }

    void freshMachine()
    {
        QVERIFY(HookInstaller::install());
        QCOMPARE(m_log.lines, QStringList());
        QFile resource(QString::fromLatin1(HookInstaller::kScriptResource));
        QVERIFY(resource.open(QIODevice::ReadOnly));
        QCOMPARE(readFile(HookInstaller::scriptPath()), resource.readAll());
        QCOMPARE(QFileInfo(HookInstaller::scriptPath()).permissions() & 0x0777,
                 QFileDevice::Permissions(0x0755));
        QVERIFY(!QFileInfo::exists(home() + QStringLiteral("/.claude")));
        QVERIFY(!HookInstaller::claudeAvailable());
        QVERIFY(HookInstaller::isInstalled());
        // Sorted keys, two spaces, a final newline.
        const QByteArray written = readFile(HookInstaller::cursorConfigPath());
        QVERIFY(written.startsWith(
            "{\n  \"hooks\": {\n    \"afterAgentResponse\": [\n      {\n        \"command\": "
            "\"./hooks/signalwick.sh\"\n      }\n    ],\n"));
        QVERIFY(written.endsWith("\n  },\n  \"version\": 1\n}\n"));
    }

    // As the tools run it: Claude Code as `/bin/sh -c '<absolute path>'`, Cursor
    // as ./hooks/signalwick.sh from ~/.cursor.
    void deployedScriptRuns_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("Claude Code") << "'%1/.cursor/hooks/signalwick.sh'"
                                     << "/"
                                     << QByteArray(
                                            R"({"session_id":"s1","cwd":"/p","hook_event_name":"Stop"})")
                                     << QByteArray();
        QTest::newRow("Cursor")
            << "./hooks/signalwick.sh"
            << "/.cursor"
            << QByteArray(R"({"conversation_id":"s1","cursor_version":"3","workspace_roots":["/p"],)"
                          R"("hook_event_name":"beforeShellExecution","command":"ls"})")
            << QByteArray("{\"permission\":\"allow\"}\n");
    }
    void deployedScriptRuns()
    {
        QFETCH(QString, command);
        QFETCH(QString, folder);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, out);
        QVERIFY(HookInstaller::install());
        QProcess sh;
        sh.setWorkingDirectory(home() + folder);
        sh.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command.arg(home())});
        QVERIFY(sh.waitForStarted());
        sh.write(payload);
        sh.closeWriteChannel();
        QVERIFY(sh.waitForFinished(30000));
        QCOMPARE(sh.exitCode(), 0);
        QCOMPARE(sh.readAllStandardOutput(), out);
        const QDir state(home() + QStringLiteral("/.cursor/signalwick/state"));
        QCOMPARE(state.entryList(QDir::Files), QStringList{QStringLiteral("s1.json")});
    }

    void claudePresentWithoutSettings()
    {
        QVERIFY(QDir().mkpath(home() + QStringLiteral("/.claude")));
        QVERIFY(HookInstaller::claudeAvailable());
        QVERIFY(HookInstaller::install());
        const json settings = parse(readFile(HookInstaller::claudeSettingsPath()));
        json expected = json::object();
        for (const std::string_view event : HookInstaller::kClaudeEvents)
            expected["hooks"][std::string(event)] = json::array({claudeGroup()});
        QCOMPARE(exact(settings), exact(expected));
    }

    void claudeAsAFileCountsAsPresent()
    {
        writeFile(home() + QStringLiteral("/.claude"), "not a folder");
        QVERIFY(HookInstaller::claudeAvailable());
        QVERIFY(!HookInstaller::install());
        QCOMPARE(m_log.lines.size(), 1);
        QVERIFY2(m_log.lines.first().startsWith(QLatin1String("Korvane: hook install failed: ")),
                 qPrintable(m_log.lines.first()));
        // The steps before stay done.
        QVERIFY(HookInstaller::isInstalled());
    }

    void replacesAnOldScript()
    {
        writeFile(HookInstaller::scriptPath(), "#!/bin/sh\necho old\n");
        QVERIFY(QFile::setPermissions(HookInstaller::scriptPath(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(HookInstaller::install());
        QVERIFY(!readFile(HookInstaller::scriptPath()).contains("echo old"));
        QCOMPARE(QFileInfo(HookInstaller::scriptPath()).permissions() & 0x0777,
                 QFileDevice::Permissions(0x0755));
    }

    void failuresAreLogged_data()
    {
        QTest::addColumn<QString>("blocker"); // a file where a folder is needed, or the reverse
        QTest::addColumn<bool>("scriptDeployed");
        QTest::newRow("~/.cursor is a file") << ".cursor" << false;
        QTest::newRow("~/.cursor/hooks is a file") << ".cursor/hooks" << false;
        QTest::newRow("the script's place is a folder") << ".cursor/hooks/signalwick.sh/" << false;
        QTest::newRow("hooks.json is a folder") << ".cursor/hooks.json/" << true;
    }
    void failuresAreLogged()
    {
        QFETCH(QString, blocker);
        QFETCH(bool, scriptDeployed);
        const QString path = home() + QLatin1Char('/') + blocker;
        if (blocker.endsWith(QLatin1Char('/')))
            QVERIFY(QDir().mkpath(path + QStringLiteral("inside")));
        else
            writeFile(path, "x");
        QVERIFY(!HookInstaller::install());
        QCOMPARE(m_log.lines.size(), 1);
        QVERIFY2(m_log.lines.first().startsWith(QLatin1String("Korvane: hook install failed: ")) &&
                     m_log.lines.first().size() > 40,
                 qPrintable(m_log.lines.first()));
        QCOMPARE(QFileInfo(HookInstaller::scriptPath()).isFile(), scriptDeployed);
        QVERIFY(!HookInstaller::isInstalled());
    }

    void missingResource()
    {
        Q_CLEANUP_RESOURCE(hooks_script);
        const bool installed = HookInstaller::install();
        const bool hasResource = QFile::exists(QString::fromLatin1(HookInstaller::kScriptResource));
        Q_INIT_RESOURCE(hooks_script);
        QVERIFY(!hasResource);
        QVERIFY(!installed);
        QCOMPARE(m_log.lines, QStringList());
        QVERIFY(QFileInfo(home() + QStringLiteral("/.cursor/hooks")).isDir());
        QVERIFY(!QFileInfo::exists(HookInstaller::scriptPath()));
        QVERIFY(!QFileInfo::exists(HookInstaller::cursorConfigPath()));
    }

    // Cursor's configuration: the cases the merge must get right. `input` is the
    // file's content ("<none>": no file); `expected` the merged object, where
    // "@" stands for the entry the installer adds.
    void cursorMerge_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");

        const auto all = [](const std::string& entries) {
            std::string out = "{";
            for (const std::string_view event : HookInstaller::kHookedEvents)
                out += (out.size() > 1 ? "," : "") + ("\"" + std::string(event) + "\":" + entries);
            return out + "}";
        };
        // All events with our entry, but "stop" holding `stop`.
        const auto withStop = [&all](const std::string& stop) {
            std::string hooks = all("[@]");
            return hooks.replace(hooks.find("\"stop\":[@]"), 10, "\"stop\":" + stop);
        };
        const std::string fresh = R"({"version":1,"hooks":)" + all("[@]") + "}";
        QTest::newRow("no file") << QByteArray("<none>") << QByteArray::fromStdString(fresh);
        QTest::newRow("empty file") << QByteArray() << QByteArray::fromStdString(fresh);
        QTest::newRow("a JSON array") << QByteArray("[1,2]") << QByteArray::fromStdString(fresh);
        QTest::newRow("a JSON string") << QByteArray("\"x\"") << QByteArray::fromStdString(fresh);
        QTest::newRow("not JSON") << QByteArray("{\"version\":") << QByteArray::fromStdString(fresh);
        QTest::newRow("version 2 and another stop hook")
            << QByteArray(R"({"version":2,"hooks":{"stop":[{"command":"other"}]}})")
            << QByteArray::fromStdString(R"({"version":2,"hooks":)" + withStop(R"([{"command":"other"},@])") +
                                         "}");
        QTest::newRow("already installed")
            << QByteArray::fromStdString(fresh) << QByteArray::fromStdString(fresh);
        QTest::newRow("an event array with a string element")
            << QByteArray(R"({"version":1,"hooks":{"stop":["./hooks/signalwick.sh",{"command":"x"}]}})")
            << QByteArray::fromStdString(fresh);
        QTest::newRow("hooks is a string")
            << QByteArray(R"({"hooks":"none","version":1})") << QByteArray::fromStdString(fresh);
        QTest::newRow("an event is an object")
            << QByteArray(R"({"hooks":{"stop":{"command":"./hooks/signalwick.sh"}}})")
            << QByteArray::fromStdString(fresh);
        QTest::newRow("other events and members kept")
            << QByteArray(R"({"x":[1.0,{"y":null}],"hooks":{"beforeReadFile":[{"command":"r"}],"custom":7}})")
            << QByteArray::fromStdString(
                   R"({"version":1,"x":[1.0,{"y":null}],"hooks":)" +
                   all("[@]").insert(1, R"("beforeReadFile":[{"command":"r"}],"custom":7,)") + "}");
        QTest::newRow("other spellings of the path do not count")
            << QByteArray(
                   R"({"version":1,"hooks":{"stop":[{"command":"/home/u/.cursor/hooks/signalwick.sh"},)"
                   R"({"command":"./Hooks/signalwick.sh"}]}})")
            << QByteArray::fromStdString(
                   R"({"version":1,"hooks":)" +
                   withStop(
                       R"([{"command":"/home/u/.cursor/hooks/signalwick.sh"},{"command":"./Hooks/signalwick.sh"},@])") +
                   "}");
        QTest::newRow("our entry with more members counts, duplicates stay")
            << QByteArray(R"({"version":1,"hooks":{"stop":[{"command":"./hooks/signalwick.sh","timeout":5},)"
                          R"({"command":"./hooks/signalwick.sh"}]}})")
            << QByteArray::fromStdString(
                   R"({"version":1,"hooks":)" +
                   withStop(
                       R"([{"command":"./hooks/signalwick.sh","timeout":5},{"command":"./hooks/signalwick.sh"}])") +
                   "}");
        QTest::newRow("version null is kept")
            << QByteArray(R"({"version":null})")
            << QByteArray::fromStdString(R"({"version":null,"hooks":)" + all("[@]") + "}");
        QTest::newRow("command that is not a string")
            << QByteArray(R"({"version":1,"hooks":{"stop":[{"command":["./hooks/signalwick.sh"]}]}})")
            << QByteArray::fromStdString(R"({"version":1,"hooks":)" +
                                         withStop(R"([{"command":["./hooks/signalwick.sh"]},@])") + "}");
    }
    void cursorMerge()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        if (input != "<none>")
            writeFile(HookInstaller::cursorConfigPath(), input);
        QVERIFY(QDir().mkpath(home() + QStringLiteral("/.cursor/hooks")));
        QString error;
        QVERIFY2(HookInstaller::mergeHooksJSON(&error), qPrintable(error));
        const json merged = parse(readFile(HookInstaller::cursorConfigPath()));
        QVERIFY(merged.is_object());
        const json want = parse(expected.replace("@", QByteArray::fromStdString(kCursorEntry)));
        QVERIFY(want.is_object());
        QCOMPARE(exact(merged), exact(want));
    }

    // Claude Code's settings; "@" stands for the group the installer adds.
    void claudeMerge_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        const auto all = [](const std::string& groups, const std::string& except = {}) {
            std::string out = "{";
            for (const std::string_view event : HookInstaller::kClaudeEvents) {
                if (event != except)
                    out += (out.size() > 1 ? "," : "") + ("\"" + std::string(event) + "\":" + groups);
            }
            return out;
        };
        const std::string fresh = R"({"hooks":)" + all("[@]") + "}}";
        QTest::newRow("no file") << QByteArray("<none>") << QByteArray::fromStdString(fresh);
        QTest::newRow("whitespace only") << QByteArray(" \n") << QByteArray::fromStdString(fresh);
        QTest::newRow("top-level array") << QByteArray("[]") << QByteArray::fromStdString(fresh);
        QTest::newRow("other settings kept")
            << QByteArray(R"j({"permissions":{"allow":["Bash(ls)"]},"env":{"A":"1"},"model":"opus"})j")
            << QByteArray::fromStdString(
                   R"j({"permissions":{"allow":["Bash(ls)"]},"env":{"A":"1"},"model":"opus",)j"
                   R"("hooks":)" +
                   all("[@]") + "}}");
        QTest::newRow("already there, with a matcher and beside other entries")
            << QByteArray(R"({"hooks":{"Stop":[{"matcher":"*","hooks":[{"type":"command","command":"x"},)"
                          R"({"type":"command","command":"$CMD","timeout":3}]}]}})")
            << QByteArray::fromStdString(
                   R"({"hooks":)" + all("[@]", "Stop") +
                   R"(,"Stop":[{"matcher":"*","hooks":[{"type":"command","command":"x"},)"
                   R"({"type":"command","command":"$CMD","timeout":3}]}]}})");
        QTest::newRow("a matched group of another command stays first")
            << QByteArray(
                   R"({"hooks":{"PreToolUse":[{"matcher":"Bash","hooks":[{"type":"command","command":"g"}]}]}})")
            << QByteArray::fromStdString(
                   R"({"hooks":)" + all("[@]", "PreToolUse") +
                   R"(,"PreToolUse":[{"matcher":"Bash","hooks":[{"type":"command","command":"g"}]},@]}})");
        QTest::newRow("groups of other shapes are kept, not searched")
            << QByteArray(R"({"hooks":{"Stop":[{"matcher":"a"},{"hooks":"$CMD"},{"hooks":["$CMD"]}]}})")
            << QByteArray::fromStdString(
                   R"({"hooks":)" + all("[@]", "Stop") +
                   R"(,"Stop":[{"matcher":"a"},{"hooks":"$CMD"},{"hooks":["$CMD"]},@]}})");
        QTest::newRow("other spellings of the path do not count")
            << QByteArray(
                   R"({"hooks":{"Stop":[{"hooks":[{"type":"command","command":"~/.cursor/hooks/signalwick.sh"},)"
                   R"({"type":"command","command":"./hooks/signalwick.sh"},{"type":"command","command":"$CMD x"}]}]}})")
            << QByteArray::fromStdString(
                   R"({"hooks":)" + all("[@]", "Stop") +
                   R"(,"Stop":[{"hooks":[{"type":"command","command":"~/.cursor/hooks/signalwick.sh"},)"
                   R"({"type":"command","command":"./hooks/signalwick.sh"},{"type":"command","command":"$CMD x"}]},@]}})");
        QTest::newRow("an event array with a string element")
            << QByteArray(R"({"hooks":{"Stop":["$CMD"]}})") << QByteArray::fromStdString(fresh);
        QTest::newRow("hooks is an array")
            << QByteArray(R"({"hooks":[]})") << QByteArray::fromStdString(fresh);
        QTest::newRow("other events kept")
            << QByteArray(R"({"hooks":{"SubagentStop":[{"hooks":[]}],"PermissionRequest":7}})")
            << QByteArray::fromStdString(R"({"hooks":)" + all("[@]") +
                                         R"(,"SubagentStop":[{"hooks":[]}],"PermissionRequest":7}})");
        QTest::newRow("no version is added")
            << QByteArray(R"({"hooks":{}})") << QByteArray::fromStdString(fresh);
    }
    void claudeMerge()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        const QByteArray command = claudeCommand().toUtf8();
        if (input != "<none>")
            writeFile(HookInstaller::claudeSettingsPath(), QByteArray(input).replace("$CMD", command));
        QString error;
        QVERIFY2(HookInstaller::mergeClaudeSettings(&error), qPrintable(error));
        const json merged = parse(readFile(HookInstaller::claudeSettingsPath()));
        QVERIFY(merged.is_object());
        const json want = parse(
            expected.replace("@", QByteArray::fromStdString(exact(claudeGroup()))).replace("$CMD", command));
        QVERIFY(want.is_object());
        QCOMPARE(exact(merged), exact(want));
    }

    void homeWithSpaces()
    {
        const QString spaced = home() + QStringLiteral("/my home/ü");
        QVERIFY(QDir().mkpath(spaced + QStringLiteral("/.claude")));
        qputenv("HOME", QFile::encodeName(spaced));
        QVERIFY(HookInstaller::install());
        const json settings = parse(readFile(spaced + QStringLiteral("/.claude/settings.json")));
        QCOMPARE(
            QString::fromStdString(settings["hooks"]["Stop"][0]["hooks"][0]["command"].get<std::string>()),
            spaced + QStringLiteral("/.cursor/hooks/signalwick.sh"));
        QVERIFY(QFileInfo(spaced + QStringLiteral("/.cursor/hooks/signalwick.sh")).isExecutable());
    }

    // Realistic files: every value the user wrote comes out exactly as it was.
    void corpusKeepsEveryValue_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("claude");
        QTest::newRow("claude typical") << "claude-settings-typical.json" << true;
        QTest::newRow("claude values") << "claude-settings-values.json" << true;
        QTest::newRow("cursor typical") << "cursor-hooks-typical.json" << false;
        QTest::newRow("cursor values") << "cursor-hooks-values.json" << false;
    }
    void corpusKeepsEveryValue()
    {
        QFETCH(QString, file);
        QFETCH(bool, claude);
        const QByteArray original = readFile(configData(file));
        QVERIFY(!original.isEmpty());
        QVERIFY(QDir().mkpath(home() + QStringLiteral("/.claude")));
        const QString target =
            claude ? HookInstaller::claudeSettingsPath() : HookInstaller::cursorConfigPath();
        writeFile(target, original);
        QVERIFY(HookInstaller::install());
        QCOMPARE(m_log.lines, QStringList());

        const QByteArray written = readFile(target);
        json before = parse(original);
        json after = parse(written);
        QVERIFY(after.is_object());
        const json ours = claude ? claudeGroup() : json::parse(kCursorEntry);
        const auto events = claude ? std::vector<std::string_view>(HookInstaller::kClaudeEvents.begin(),
                                                                   HookInstaller::kClaudeEvents.end())
                                   : std::vector<std::string_view>(HookInstaller::kHookedEvents.begin(),
                                                                   HookInstaller::kHookedEvents.end());
        // Each hooked event: what was there (when it was an array of objects),
        // then at most our entry.
        for (const std::string_view e : events) {
            const std::string event(e);
            const json& now = after["hooks"][event];
            QVERIFY(now.is_array() && !now.empty());
            const json was = before.contains("hooks") && before["hooks"].is_object()
                                 ? before["hooks"].value(event, json())
                                 : json();
            const bool usable = was.is_array() && std::all_of(was.begin(), was.end(),
                                                              [](const json& x) { return x.is_object(); });
            const json kept = usable ? was : json::array();
            QVERIFY2(now.size() == kept.size() || (now.size() == kept.size() + 1 && now.back() == ours),
                     event.c_str());
            for (std::size_t i = 0; i < kept.size(); ++i)
                QCOMPARE(exact(now[i]), exact(kept[i]));
            before["hooks"].erase(event);
            after["hooks"].erase(event);
        }
        if (!claude)
            QVERIFY(after.contains("version"));
        QCOMPARE(QString::fromStdString(exact(after)), QString::fromStdString(exact(before)));
        // The spelling of numbers and text survives the rewrite.
        if (file.contains(QLatin1String("values"))) {
            for (const char* token : {"18446744073709551615", "-9223372036854775808"})
                QVERIFY2(written.contains(token), token);
        }
        if (file == QLatin1String("claude-settings-values.json")) {
            for (const char* token :
                 {"9007199254740993", "1.0,", "-0.0", "1.5e+300", "3e-07", "0.1", "caf\xC3\xA9",
                  "\xF0\x9F\x98\x80", "\\u0000", "\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87"})
                QVERIFY2(written.contains(token), token);
        }
        if (file == QLatin1String("cursor-hooks-values.json"))
            QVERIFY(written.contains("\"version\": 2.0"));
    }

    void installTwiceGivesTheSameBytes()
    {
        QVERIFY(QDir().mkpath(home() + QStringLiteral("/.claude")));
        writeFile(HookInstaller::claudeSettingsPath(),
                  readFile(configData(QStringLiteral("claude-settings-values.json"))));
        writeFile(HookInstaller::cursorConfigPath(),
                  readFile(configData(QStringLiteral("cursor-hooks-typical.json"))));
        QVERIFY(HookInstaller::install());
        const QByteArray claude = readFile(HookInstaller::claudeSettingsPath());
        const QByteArray cursor = readFile(HookInstaller::cursorConfigPath());
        const QByteArray script = readFile(HookInstaller::scriptPath());
        QVERIFY(HookInstaller::install());
        QCOMPARE(readFile(HookInstaller::claudeSettingsPath()), claude);
        QCOMPARE(readFile(HookInstaller::cursorConfigPath()), cursor);
        QCOMPARE(readFile(HookInstaller::scriptPath()), script);
    }

    // Dotfiles kept in a repository are links: the link stays, its target is
    // replaced atomically and keeps its permissions.
    void symlinkStaysASymlink_data()
    {
        QTest::addColumn<bool>("claude");
        QTest::addColumn<bool>("relative");
        QTest::addColumn<bool>("dangling");
        QTest::newRow("hooks.json, absolute link") << false << false << false;
        QTest::newRow("hooks.json, relative link") << false << true << false;
        QTest::newRow("settings.json, absolute link") << true << false << false;
        QTest::newRow("settings.json, relative link") << true << true << false;
        QTest::newRow("settings.json, dangling link") << true << true << true;
    }
    void symlinkStaysASymlink()
    {
        QFETCH(bool, claude);
        QFETCH(bool, relative);
        QFETCH(bool, dangling);
        QVERIFY(QDir().mkpath(home() + QStringLiteral("/.claude")));
        QVERIFY(QDir().mkpath(home() + QStringLiteral("/.cursor")));
        const QString link = claude ? HookInstaller::claudeSettingsPath() : HookInstaller::cursorConfigPath();
        const QString target = home() + QStringLiteral("/dotfiles/tool/config.json");
        QVERIFY(QDir().mkpath(QFileInfo(target).path()));
        if (!dangling) {
            writeFile(target, R"({"mine":1.0})");
            QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        }
        const QByteArray linkText = relative
                                        ? QFile::encodeName(QFileInfo(link).dir().relativeFilePath(target))
                                        : QFile::encodeName(target);
        QCOMPARE(::symlink(linkText.constData(), QFile::encodeName(link).constData()), 0);
        const ino_t before = inode(target);

        QVERIFY2(HookInstaller::install(), qPrintable(m_log.lines.join(QLatin1Char('\n'))));
        QVERIFY(QFileInfo(link).isSymLink());
        char buffer[4096] = {};
        const ssize_t n = ::readlink(QFile::encodeName(link).constData(), buffer, sizeof buffer - 1);
        QCOMPARE(QByteArray(buffer, int(n)), linkText);
        const json merged = parse(readFile(target));
        QVERIFY(merged.contains("hooks"));
        if (!dangling) {
            QCOMPARE(exact(merged["mine"]), std::string("1.0"));
            QVERIFY(inode(target) != before); // replaced, not rewritten in place
            QCOMPARE(QFileInfo(target).permissions() & 0x0777, QFileDevice::Permissions(0x0600));
        }
        QCOMPARE(QDir(QFileInfo(target).path()).entryList(QDir::Files), QStringList{"config.json"});
    }

    // A file that cannot be read as an object is replaced, but kept beside
    // itself first; earlier copies are never overwritten.
    void damagedFileIsKeptAside_data()
    {
        QTest::addColumn<bool>("claude");
        QTest::addColumn<QByteArray>("damaged");
        QTest::newRow("hooks.json, not JSON") << false << QByteArray("{\"version\": 1,, }");
        QTest::newRow("hooks.json, an array") << false << QByteArray("[{\"command\":\"x\"}]");
        QTest::newRow("settings.json, comments")
            << true << QByteArray("{\n  // my settings\n  \"model\": \"opus\"\n}");
        QTest::newRow("settings.json, invalid UTF-8") << true << QByteArray("{\"a\":\"\xff\"}");
        QTest::newRow("settings.json, a number") << true << QByteArray("42");
    }
    void damagedFileIsKeptAside()
    {
        QFETCH(bool, claude);
        QFETCH(QByteArray, damaged);
        QVERIFY(QDir().mkpath(home() + QStringLiteral("/.claude")));
        const QString path = claude ? HookInstaller::claudeSettingsPath() : HookInstaller::cursorConfigPath();
        writeFile(path, damaged);
        QVERIFY(HookInstaller::install());
        QCOMPARE(readFile(path + QStringLiteral(".korvane-backup")), damaged);
        QVERIFY(parse(readFile(path)).contains("hooks"));
        QCOMPARE(m_log.lines.size(), 1);
        QVERIFY2(m_log.lines.first().startsWith(QLatin1String("Korvane: ")) &&
                     m_log.lines.first().contains(path) &&
                     m_log.lines.first().contains(QLatin1String(".korvane-backup")),
                 qPrintable(m_log.lines.first()));

        // Damaged again: a second copy, the first one untouched.
        writeFile(path, damaged + " again");
        writeFile(path + QStringLiteral(".korvane-backup.1"), "taken");
        QVERIFY(HookInstaller::install());
        QCOMPARE(readFile(path + QStringLiteral(".korvane-backup")), damaged);
        QCOMPARE(readFile(path + QStringLiteral(".korvane-backup.1")), QByteArray("taken"));
        QCOMPARE(readFile(path + QStringLiteral(".korvane-backup.2")), damaged + " again");

        // A healthy file leaves no copy.
        m_log.lines.clear();
        QVERIFY(HookInstaller::install());
        QCOMPARE(m_log.lines, QStringList());
        QVERIFY(!QFileInfo::exists(path + QStringLiteral(".korvane-backup.3")));
    }

    void emptyFileLeavesNoBackup()
    {
        writeFile(HookInstaller::cursorConfigPath(), "");
        QVERIFY(HookInstaller::install());
        QVERIFY(!QFileInfo::exists(HookInstaller::cursorConfigPath() + QStringLiteral(".korvane-backup")));
        QCOMPARE(m_log.lines, QStringList());
    }

    void unreadableFileIsNotLost()
    {
        writeFile(HookInstaller::cursorConfigPath(), R"({"mine":true})");
        QVERIFY(QFile::setPermissions(HookInstaller::cursorConfigPath(), QFileDevice::Permissions()));
        if (QFile(HookInstaller::cursorConfigPath()).open(QIODevice::ReadOnly))
            QSKIP("running as a user who can read anything");
        // Neither read nor copied: replacing it would lose it, so it stays.
        QVERIFY(!HookInstaller::install());
        QCOMPARE(m_log.lines.size(), 1);
        QFile::setPermissions(HookInstaller::cursorConfigPath(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(readFile(HookInstaller::cursorConfigPath()), QByteArray(R"({"mine":true})"));
    }

    void isInstalled_data()
    {
        QTest::addColumn<QString>("change"); // applied after a good install
        QTest::addColumn<bool>("installed");
        QTest::newRow("as installed") << "" << true;
        QTest::newRow("script removed") << "rm script" << false;
        QTest::newRow("script is a link to nowhere") << "dangling script" << true;
        QTest::newRow("one event without the entry") << "drop afterFileEdit" << false;
        QTest::newRow("one event missing") << "erase sessionEnd" << false;
        QTest::newRow("entry beside others") << "prepend stop" << true;
        QTest::newRow("only an absolute path") << "absolute stop" << false;
        QTest::newRow("an event array with a string") << "string stop" << false;
        QTest::newRow("hooks not an object") << "hooks string" << false;
        QTest::newRow("not JSON") << "garbage" << false;
        QTest::newRow("no hooks.json") << "rm config" << false;
        QTest::newRow("Claude Code entries missing") << "claude empty" << true;
    }
    void isInstalled()
    {
        QFETCH(QString, change);
        QFETCH(bool, installed);
        QVERIFY(QDir().mkpath(home() + QStringLiteral("/.claude")));
        QVERIFY(HookInstaller::install());
        QVERIFY(HookInstaller::isInstalled());
        json config = parse(readFile(HookInstaller::cursorConfigPath()));
        json& hooks = config["hooks"];
        bool rewrite = true;
        if (change == QLatin1String("drop afterFileEdit"))
            hooks["afterFileEdit"] = json::array({{{"command", "./hooks/other.sh"}}});
        else if (change == QLatin1String("erase sessionEnd"))
            hooks.erase("sessionEnd");
        else if (change == QLatin1String("prepend stop"))
            hooks["stop"].insert(hooks["stop"].begin(), json{{"command", "x"}, {"timeout", 1}});
        else if (change == QLatin1String("absolute stop"))
            hooks["stop"] = json::array({{{"command", HookInstaller::scriptPath().toStdString()}}});
        else if (change == QLatin1String("string stop"))
            hooks["stop"].push_back("./hooks/signalwick.sh");
        else if (change == QLatin1String("hooks string"))
            config["hooks"] = "all";
        else
            rewrite = false;
        if (rewrite)
            writeFile(HookInstaller::cursorConfigPath(), QByteArray::fromStdString(config.dump()));

        if (change == QLatin1String("rm script")) {
            QVERIFY(QFile::remove(HookInstaller::scriptPath()));
        } else if (change == QLatin1String("dangling script")) {
            QVERIFY(QFile::remove(HookInstaller::scriptPath()));
            QVERIFY(QFile::link(home() + QStringLiteral("/nowhere"), HookInstaller::scriptPath()));
        } else if (change == QLatin1String("garbage")) {
            writeFile(HookInstaller::cursorConfigPath(), "{{{");
        } else if (change == QLatin1String("rm config")) {
            QVERIFY(QFile::remove(HookInstaller::cursorConfigPath()));
        } else if (change == QLatin1String("claude empty")) {
            writeFile(HookInstaller::claudeSettingsPath(), "{}");
        }
        QCOMPARE(HookInstaller::isInstalled(), installed);
    }
};

KORVANE_TEST_MAIN(TestHookInstaller)
#include "tst_hookinstaller.moc"
