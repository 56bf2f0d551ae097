// HookInstaller against real files in a throw-away home: the merges keep what
// users and other tools wrote, and the files stay what users made them.

#include "TestMain.h"
#include "hooks/HookInstaller.h"
#include "platform/SystemLog.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
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

// `spec` with "@" for the installer's entry, which every watched event that
// `spec` leaves out holds alone; "$CMD" is the script's path.
json expand(json spec, bool claude)
{
    const std::string path = HookInstaller::scriptPath().toStdString();
    const json ours = claude ? json{{"hooks", {{{"type", "command"}, {"command", path}}}}}
                             : json{{"command", HookInstaller::kCursorCommand}};
    const auto fill = [&](std::string_view event) {
        if (!spec["hooks"].contains(event))
            spec["hooks"][std::string(event)] = {"@"};
    };
    if (claude)
        std::for_each(HookInstaller::kClaudeEvents.begin(), HookInstaller::kClaudeEvents.end(), fill);
    else
        std::for_each(HookInstaller::kHookedEvents.begin(), HookInstaller::kHookedEvents.end(), fill);
    for (auto& [event, entries] : spec["hooks"].items()) {
        for (json& entry : entries)
            entry = entry == "@" ? ours : entry;
    }
    std::string text = spec.dump();
    for (std::size_t at; (at = text.find("$CMD")) != std::string::npos;)
        text.replace(at, 4, path);
    return json::parse(text);
}

} // namespace

Q_DECLARE_METATYPE(nlohmann::json)

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

    // The file before ("before": text, or JSON; null for no file), after, and
    // whether the old file is kept aside.
    void merge_data()
    {
        QTest::addColumn<json>("c");
        const QByteArray table = readAll(KORVANE_HOOK_TEST_DATA "/merge-cases.json");
        for (const json& c : json::parse(table.constBegin(), table.constEnd()))
            QTest::addRow("%s: %s", c["file"].get<std::string>().c_str(),
                          c["name"].get<std::string>().c_str())
                << c;
    }
    void merge()
    {
        QFETCH(json, c);
        const bool claude = c["file"] == "claude";
        QVERIFY(QDir().mkpath(home() + (claude ? "/.claude" : "/.cursor")));
        const QString path = claude ? HookInstaller::claudeSettingsPath() : HookInstaller::cursorConfigPath();
        const json before =
            c.value("installed", false) ? expand(c["after"], claude) : c.value("before", json());
        const QByteArray original =
            QByteArray::fromStdString(before.is_string() ? before.get<std::string>() : before.dump());
        if (!before.is_null())
            writeFile(path, original);
        QVERIFY2(HookInstaller::install(), qPrintable(m_log.lines.join('\n')));
        const QByteArray written = readAll(path);
        QCOMPARE(json::parse(written.constBegin(), written.constEnd(), nullptr, false).dump(),
                 expand(c["after"], claude).dump()); // dump() keeps number kinds apart: 1 and 1.0 differ
        const bool backup = c.value("backup", false);
        QCOMPARE(readAll(path + ".korvane-backup"), backup ? original : QByteArray());
        QCOMPARE(m_log.lines.size(), int(backup));
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

    // Claude Code runs the command with /bin/sh -c, also from a home whose path
    // the shell would split; an entry written before quoting counts as ours.
    void claudeCommandRuns_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("unquotedBefore");
        QTest::newRow("plain") << "plain" << false;
        QTest::newRow("space and quote") << "it's a home" << false;
        QTest::newRow("written unquoted before") << "my home $x `y`" << true;
    }
    void claudeCommandRuns()
    {
        QFETCH(QString, name);
        QFETCH(bool, unquotedBefore);
        const QString dir = home() + '/' + name;
        QVERIFY(QDir().mkpath(dir + "/.claude"));
        qputenv("HOME", QFile::encodeName(dir));
        if (unquotedBefore)
            writeFile(HookInstaller::claudeSettingsPath(),
                      expand({{"hooks", {{"Stop", {"@"}}}}}, true).dump().c_str());
        QVERIFY(HookInstaller::install());
        const json settings = json::parse(readAll(HookInstaller::claudeSettingsPath()).toStdString());
        for (const auto event : HookInstaller::kClaudeEvents)
            QCOMPARE(settings["hooks"][std::string(event)].size(), 1u);
        const std::string command = settings["hooks"]["Stop"][0]["hooks"][0]["command"];
        if (name == "plain")
            QCOMPARE(command, HookInstaller::scriptPath().toStdString());
        QProcess sh;
        sh.setWorkingDirectory(dir);
        sh.start("/bin/sh", {"-c", QString::fromStdString(command)});
        sh.write(R"({"session_id":"s","cwd":"/p","hook_event_name":"Stop"})");
        sh.closeWriteChannel();
        QVERIFY(sh.waitForFinished());
        QCOMPARE(QDir(dir + "/.cursor/signalwick/state").entryList(QDir::Files), QStringList{"s.json"});
    }

    // A link into a folder that is gone counts as no file; the link is kept aside.
    void danglingLink_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("hooks.json") << ".cursor/hooks.json";
        QTest::newRow("settings.json") << ".claude/settings.json";
        QTest::newRow("the script") << ".cursor/hooks/signalwick.sh";
    }
    void danglingLink()
    {
        QFETCH(QString, path);
        const QString link = home() + '/' + path;
        QVERIFY(QDir().mkpath(home() + "/.claude") && QDir().mkpath(QFileInfo(link).path()));
        QVERIFY(QFile::link(home() + "/gone/x", link));
        QVERIFY2(HookInstaller::install(), qPrintable(m_log.lines.join('\n')));
        QVERIFY(QFileInfo(link).isFile() && !QFileInfo(link).isSymLink());
        QCOMPARE(QFileInfo(link + ".korvane-backup").symLinkTarget(), home() + "/gone/x");
        QCOMPARE(m_log.lines.size(), 1);
        QVERIFY(HookInstaller::isInstalled());
    }

    // At every launch: an open state folder is made private once, and files that
    // would not change are not written.
    void secondLaunch()
    {
        const QString state = home() + "/.cursor/signalwick/state";
        QVERIFY(QDir().mkpath(state) && QDir().mkpath(home() + "/.claude"));
        QVERIFY(QFile::setPermissions(state, QFileDevice::Permissions(0x7755)));
        QVERIFY(HookInstaller::install());
        QCOMPARE(QFileInfo(state).permissions() & 0x777, QFileDevice::Permissions(0x700));
        QCOMPARE(m_log.lines.size(), 1);
        const QDateTime old = QDateTime::currentDateTime().addDays(-1);
        for (const QString& path : {HookInstaller::scriptPath(), HookInstaller::cursorConfigPath(),
                                    HookInstaller::claudeSettingsPath()}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(old, QFileDevice::FileModificationTime));
        }
        QVERIFY(HookInstaller::install());
        QCOMPARE(m_log.lines.size(), 1);
        for (const QString& path : {HookInstaller::scriptPath(), HookInstaller::cursorConfigPath(),
                                    HookInstaller::claudeSettingsPath()})
            QCOMPARE(QFileInfo(path).lastModified(), old);
    }

    void isInstalled_data()
    {
        QTest::addColumn<QByteArray>("stop"); // the "stop" array after a good install
        QTest::addColumn<bool>("installed");
        QTest::newRow("beside another entry") << QByteArray(R"([{"command":"x"},"@"])") << true;
        QTest::newRow("missing") << QByteArray("[]") << false;
        QTest::newRow("only an absolute path") << QByteArray(R"([{"command":"$CMD"}])") << false;
        QTest::newRow("beside a string") << QByteArray(R"(["x","@"])") << false;
    }
    void isInstalled()
    {
        QFETCH(QByteArray, stop);
        QFETCH(bool, installed);
        QVERIFY(HookInstaller::install());
        const json config = expand({{"hooks", {{"stop", json::parse(stop.toStdString())}}}}, false);
        writeFile(HookInstaller::cursorConfigPath(), QByteArray::fromStdString(config.dump()));
        QCOMPARE(HookInstaller::isInstalled(), installed);
    }
};

KORVANE_TEST_MAIN(TestHookInstaller)
#include "tst_hookinstaller.moc"
