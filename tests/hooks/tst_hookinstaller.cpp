// HookInstaller against real files in a throw-away home: the merges keep what
// users and other tools wrote, and the files stay what users made them.

#include "TestMain.h"
#include "hooks/HookInstaller.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>
#include <unistd.h>

using namespace korvane;
using nlohmann::json;

namespace {

class RecordingLog final : public SystemLog {
public:
    void write(const QString& line) override { lines << line; }
    QStringList lines;
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
}

// Exact: dump() keeps number kinds apart (1 and 1.0 differ).
QByteArray exact(const QByteArray& text)
{
    const json j = json::parse(text.constBegin(), text.constEnd(), nullptr, false);
    return j.is_discarded() ? "not JSON: " + text : QByteArray::fromStdString(j.dump());
}

// The installer's "hooks" member: "@" (our entry) under every event, except
// those given, then the other top-level members `rest`.
QByteArray hooks(bool claude, const std::map<std::string, std::string>& arrays = {},
                 const std::string& rest = {})
{
    std::string out = R"({"hooks":{)";
    const auto add = [&](std::string_view event) {
        const auto it = arrays.find(std::string(event));
        out += '"' + std::string(event) + "\":" + (it == arrays.end() ? "[@]" : it->second) + ',';
    };
    if (claude)
        std::for_each(HookInstaller::kClaudeEvents.begin(), HookInstaller::kClaudeEvents.end(), add);
    else
        std::for_each(HookInstaller::kHookedEvents.begin(), HookInstaller::kHookedEvents.end(), add);
    for (const auto& [event, array] : arrays) {
        if (out.find('"' + event + '"') == std::string::npos)
            out += '"' + event + "\":" + array + ',';
    }
    out.back() = '}';
    return QByteArray::fromStdString(out + rest + '}');
}

} // namespace

class TestHookInstaller : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    RecordingLog m_log;

    QString home() const { return m_home->path(); }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", QFile::encodeName(home()));
        m_log.lines.clear();
        SystemLog::setInstance(&m_log);
    }
    void cleanup() { SystemLog::setInstance(nullptr); }

    void freshMachine()
    {
        QVERIFY(HookInstaller::install());
        QCOMPARE(m_log.lines, QStringList());
        QCOMPARE(readAll(HookInstaller::scriptPath()), readAll(HookInstaller::kScriptResource));
        QCOMPARE(QFileInfo(HookInstaller::scriptPath()).permissions() & 0x0777,
                 QFileDevice::Permissions(0x0755));
        QVERIFY(!QFileInfo::exists(home() + "/.claude"));
        QVERIFY(HookInstaller::isInstalled());
    }

    // `input` is the file before ("<none>": no file); in `expected`, "@" is the
    // entry the installer adds; `backup` the copy kept aside ("": none).
    void merge_data()
    {
        QTest::addColumn<bool>("claude");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArray>("backup");
        const QByteArray cursorFresh = hooks(false, {}, R"(,"version":1)");
        QTest::newRow("cursor: no file") << false << QByteArray("<none>") << cursorFresh << QByteArray();
        QTest::newRow("cursor: empty file") << false << QByteArray(" \n") << cursorFresh << QByteArray();
        QTest::newRow("cursor: damaged")
            << false << QByteArray("{\"version\": 1,, }") << cursorFresh << QByteArray("{\"version\": 1,, }");
        QTest::newRow("cursor: an array") << false << QByteArray("[1]") << cursorFresh << QByteArray("[1]");
        QTest::newRow("cursor: the user's entries stay first")
            << false
            << QByteArray(R"({"version":2,"hooks":{"stop":[{"command":"mine"}],"custom":[7]},"x":1.0})")
            << hooks(false, {{"stop", R"([{"command":"mine"},@])"}, {"custom", "[7]"}},
                     R"(,"version":2,"x":1.0)")
            << QByteArray();
        QTest::newRow("cursor: installed, with more members and duplicates")
            << false
            << hooks(false, {{"stop", R"([{"command":"./hooks/signalwick.sh","timeout":5},@])"}},
                     R"(,"version":1)")
            << hooks(false, {{"stop", R"([{"command":"./hooks/signalwick.sh","timeout":5},@])"}},
                     R"(,"version":1)")
            << QByteArray();
        QTest::newRow("cursor: other spellings of the path do not count")
            << false << QByteArray(R"({"hooks":{"stop":[{"command":"/h/.cursor/hooks/signalwick.sh"}]}})")
            << hooks(false, {{"stop", R"([{"command":"/h/.cursor/hooks/signalwick.sh"},@])"}},
                     R"(,"version":1)")
            << QByteArray();

        const QByteArray claudeFresh = hooks(true);
        const std::string group = R"({"matcher":"Bash","hooks":[{"type":"command","command":"lint"}]})";
        QTest::newRow("claude: no file") << true << QByteArray("<none>") << claudeFresh << QByteArray();
        QTest::newRow("claude: comments") << true << QByteArray("{\n// mine\n\"model\": \"opus\"}")
                                          << claudeFresh << QByteArray("{\n// mine\n\"model\": \"opus\"}");
        QTest::newRow("claude: the user's settings and groups stay")
            << true << QByteArray::fromStdString(R"({"model":"opus","hooks":{"PreToolUse":[)" + group + "]}}")
            << hooks(true, {{"PreToolUse", "[" + group + ",@]"}}, R"(,"model":"opus")") << QByteArray();
        const std::string ours = R"({"matcher":"*","hooks":[{"type":"command","command":"lint"},)"
                                 R"({"type":"command","command":"$CMD"}]})";
        QTest::newRow("claude: installed beside other entries")
            << true << hooks(true, {{"Stop", "[" + ours + "]"}}) << hooks(true, {{"Stop", "[" + ours + "]"}})
            << QByteArray();
        QTest::newRow("claude: other spellings of the path do not count")
            << true
            << QByteArray(
                   R"({"hooks":{"Stop":[{"hooks":[{"type":"command","command":"~/.cursor/hooks/signalwick.sh"}]}]}})")
            << hooks(true,
                     {{"Stop",
                       R"([{"hooks":[{"type":"command","command":"~/.cursor/hooks/signalwick.sh"}]},@])"}})
            << QByteArray();
    }
    void merge()
    {
        QFETCH(bool, claude);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArray, backup);
        QVERIFY(QDir().mkpath(home() + (claude ? "/.claude" : "/.cursor")));
        const QString path = claude ? HookInstaller::claudeSettingsPath() : HookInstaller::cursorConfigPath();
        const auto fill = [claude](QByteArray text) {
            return text
                .replace("@", claude ? R"({"hooks":[{"type":"command","command":"$CMD"}]})"
                                     : R"({"command":"./hooks/signalwick.sh"})")
                .replace("$CMD", QFile::encodeName(HookInstaller::scriptPath()));
        };
        if (input != "<none>")
            writeFile(path, fill(input));
        QVERIFY2(HookInstaller::install(), qPrintable(m_log.lines.join('\n')));
        QCOMPARE(exact(readAll(path)), exact(fill(expected)));
        QCOMPARE(readAll(path + ".korvane-backup"), backup);
        QCOMPARE(m_log.lines.size(), int(!backup.isEmpty()));
    }

    // Dotfiles kept in a repository are links: the link stays, its target is
    // replaced and keeps its permissions.
    void symlinkStaysALink_data()
    {
        QTest::addColumn<bool>("claude");
        QTest::addColumn<QString>("target"); // relative to the file's folder
        QTest::newRow("hooks.json, relative") << false << "../dotfiles/hooks.json";
        QTest::newRow("settings.json, absolute") << true << "<home>/dotfiles/settings.json";
    }
    void symlinkStaysALink()
    {
        QFETCH(bool, claude);
        QFETCH(QString, target);
        target.replace("<home>", home());
        const QString link = claude ? HookInstaller::claudeSettingsPath() : HookInstaller::cursorConfigPath();
        QVERIFY(QDir().mkpath(QFileInfo(link).path()));
        const QString resolved = QFileInfo(link).dir().absoluteFilePath(target);
        writeFile(resolved, R"({"mine":1.0})");
        QVERIFY(QFile::setPermissions(resolved, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
        QVERIFY(HookInstaller::install());
        QCOMPARE(QFileInfo(link).symLinkTarget(), QFileInfo(resolved).absoluteFilePath());
        const QByteArray merged = readAll(resolved);
        QVERIFY2(merged.contains("\"mine\": 1.0") && merged.contains("signalwick.sh"), merged.constData());
        QCOMPARE(QFileInfo(resolved).permissions() & 0x0777, QFileDevice::Permissions(0x0600));
    }

    void failureIsLogged_data()
    {
        QTest::addColumn<QString>("folder"); // a folder where a file belongs
        QTest::addColumn<bool>("scriptDeployed");
        QTest::newRow("the script") << ".cursor/hooks/signalwick.sh" << false;
        QTest::newRow("hooks.json") << ".cursor/hooks.json" << true;
    }
    void failureIsLogged()
    {
        QFETCH(QString, folder);
        QFETCH(bool, scriptDeployed);
        QVERIFY(QDir().mkpath(home() + '/' + folder + "/inside"));
        QVERIFY(!HookInstaller::install());
        QCOMPARE(m_log.lines.size(), 1);
        QVERIFY2(m_log.lines.first().startsWith("Korvane: hook install failed: "),
                 qPrintable(m_log.lines.first()));
        QCOMPARE(QFileInfo(HookInstaller::scriptPath()).isFile(), scriptDeployed);
        QVERIFY(!HookInstaller::isInstalled());
    }

    void isInstalled_data()
    {
        QTest::addColumn<QByteArray>("stop"); // the "stop" array after a good install
        QTest::addColumn<bool>("installed");
        QTest::newRow("beside another entry") << QByteArray(R"([{"command":"x"},@])") << true;
        QTest::newRow("missing") << QByteArray("[]") << false;
        QTest::newRow("only an absolute path") << QByteArray(R"([{"command":"$ABS"}])") << false;
        QTest::newRow("beside a string") << QByteArray(R"(["x",@])") << false;
    }
    void isInstalled()
    {
        QFETCH(QByteArray, stop);
        QFETCH(bool, installed);
        QVERIFY(HookInstaller::install());
        writeFile(HookInstaller::cursorConfigPath(),
                  hooks(false, {{"stop", stop.toStdString()}})
                      .replace("@", R"({"command":"./hooks/signalwick.sh"})")
                      .replace("$ABS", QFile::encodeName(HookInstaller::scriptPath())));
        QCOMPARE(HookInstaller::isInstalled(), installed);
    }
};

KORVANE_TEST_MAIN(TestHookInstaller)
#include "tst_hookinstaller.moc"
