// Every agent of the list as a whole: the events Korvane registers for it are the ones written out in
// data/registrations.json, and it comes with captured payloads, a client scenario and its README rows.
// Each agent's configuration after HookInstaller::install() in a throw-away home: only the missing
// entries are added, nothing the user wrote is lost.

#include "TestMain.h"
#include "agents/AgentList.h"
#include "agents/codex/CodexAgent.h"
#include "hooks/HookInstaller.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

using namespace korvane;
using nlohmann::json;

namespace {

json registrations()
{
    const QByteArray bytes = test::contentsOf(KORVANE_HOOK_TEST_DATA "/registrations.json");
    return json::parse(bytes.constBegin(), bytes.constEnd());
}

// `shape` with "@" for Korvane's entry (its group, where the agent has groups), which every registered
// event that `shape` leaves out holds alone (but those that hold a prompt, without `answering`); its
// command is `command` and the agent's id.
json expand(json shape, const std::string& agent, const std::string& command, bool answering = true)
{
    json handler = {{"command", agent == "cursor" ? "./hooks/signalwick.sh cursor" : command + ' ' + agent}};
    json ours = handler;
    if (agent != "cursor") {
        handler["type"] = "command";
        if (agent == "gemini")
            handler["name"] = "korvane";
        ours = {{"hooks", json::array({handler})}};
    }
    const json events = registrations()[agent];
    const std::vector<std::string> held =
        AgentList::find(QString::fromStdString(agent))->layout().answerEvents;
    for (const std::string event : events)
        if (answering || std::find(held.begin(), held.end(), event) == held.end())
            shape["hooks"].emplace(event, json::array({"@"}));
    const json extras = registrations()["entry members by event"].value(agent, json::object());
    for (auto& [event, entries] : shape["hooks"].items()) {
        json mine = ours;
        (agent == "cursor" ? mine : mine["hooks"][0]).update(extras.value(event, json::object()));
        std::replace(entries.begin(), entries.end(), json("@"), mine);
    }
    return shape;
}

// What an agent may lack, and why.
const QHash<QString, QString> kExempt = {
    {"cursor/payloads", "an editor: its payloads are written out in script-cases.json"},
    {"cursor/client", "an editor: no client a test can drive"},
};

} // namespace

Q_DECLARE_METATYPE(nlohmann::json)

class TestAgentConfigs : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    test::RecordingLog m_log;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", QFile::encodeName(m_home->path()));
        m_log.lines.clear();
    }

    void agents_data()
    {
        QTest::addColumn<const Agent*>("agent");
        for (const Agent* agent : AgentList::all())
            QTest::newRow(qPrintable(agent->id())) << agent;
    }
    void agents()
    {
        QFETCH(const Agent*, agent);
        const std::string id = agent->id().toStdString();
        const json expected = registrations().value(id, json::array());
        QVERIFY2(!expected.empty(), "no registrations written out for it");

        // Registered: the events that carry an entry running the script with the agent's id, or
        // those a plugin listens to (its header), rewritten over an older one.
        const bool plugin = !agent->plugin().isEmpty();
        QVERIFY(QDir().mkpath(m_home->path() + '/' + agent->folder()));
        QVERIFY(!plugin || (QDir().mkpath(QFileInfo(agent->configPath()).path()) &&
                            QFile(agent->configPath()).open(QIODevice::WriteOnly)));
        QVERIFY2(HookInstaller::install(), qPrintable(m_log.lines.join('\n')));
        const QByteArray bytes = test::contentsOf(agent->configPath());
        const json config =
            plugin ? json::object() : json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
        json registered = json::array();
        for (const QString& event :
             plugin ? QString(bytes).section("// events: ", 1).section('\n', 0, 0).split(' ') : QStringList())
            registered.push_back(event.toStdString());
        const json hooks = config.value("hooks", json::object());
        for (const auto& [event, entries] : hooks.items()) {
            if (QByteArray::fromStdString(entries.dump())
                    .contains("signalwick.sh " + QByteArray(id.c_str()) + '"'))
                registered.push_back(event);
        }
        json want = expected;
        std::sort(want.begin(), want.end());
        std::sort(registered.begin(), registered.end());
        QCOMPARE(QString::fromStdString(registered.dump()), QString::fromStdString(want.dump()));

        const auto has = [&](const char* what, bool found) {
            const QString key = agent->id() + '/' + what;
            QVERIFY2(found || kExempt.contains(key), qPrintable(key + " is missing"));
        };
        has("payloads", !QDir(KORVANE_HOOK_TEST_DATA "/" + agent->id()).entryList({"*.json"}).isEmpty());

        // A scenario with the real client: the driver's file for it, which tests/e2e runs.
        const QString driver = "tests/harness/agents/" + agent->id() + ".sh";
        has("client",
            QFile::exists(KORVANE_SOURCE_DIR "/" + driver) &&
                test::contentsOf(KORVANE_SOURCE_DIR "/tests/e2e/CMakeLists.txt")
                    .contains(QByteArray("(") + agent->id().section('-', 0, 0).toUtf8() + "_client"));

        // The README's event table against the agent's own source: every event it registers in its rows.
        QString events;
        const QRegularExpression rowOf("^\\| " + QRegularExpression::escape(agent->displayName()) +
                                           " \\| ([^|]*) \\|",
                                       QRegularExpression::MultilineOption);
        for (auto m = rowOf.globalMatch(test::contentsOf(KORVANE_SOURCE_DIR "/README.md")); m.hasNext();)
            events += m.next().captured(1) + ' ';
        for (const std::string& event : agent->events())
            QVERIFY2(
                QRegularExpression("\\b" + QString::fromStdString(event) + "\\b").match(events).hasMatch(),
                qPrintable(QString::fromStdString(event) + " not in the README's rows of " +
                           agent->displayName()));
    }

    // A file before ("before": text or JSON; null for none; "installed": the "after" itself) and after:
    // the JSON files compared as JSON, "command" the entry's command before the agent's id, "$SCRIPT"
    // the script's path, "$HOME" the temporary folder, "home" a home below it; config.toml ("toml")
    // byte for byte, no "after" meaning unchanged. Logged: the file kept aside, or the user's switch
    // off. A second run changes nothing, and the hooks count as installed. "answering": false installs
    // for a user who answers prompts only where the agent runs.
    void merge_data()
    {
        QTest::addColumn<json>("c");
        for (const char* name : {"/merge-cases.json", "/agent-merge-cases.json", "/codex-config-toml.json"}) {
            const QByteArray table = test::contentsOf(KORVANE_HOOK_TEST_DATA + QString(name));
            for (const json& c : json::parse(table.constBegin(), table.constEnd()))
                QTest::addRow("%s: %s", c.value("file", "toml").c_str(), c["name"].get<std::string>().c_str())
                    << c;
        }
    }
    void merge()
    {
        QFETCH(json, c);
        const QString home = m_home->path() + '/' + QString::fromStdString(c.value("home", ""));
        qputenv("HOME", QFile::encodeName(home));
        const auto subst = [&](const json& j) {
            return QByteArray::fromStdString(j.is_string() ? j.get<std::string>() : j.dump())
                .replace("$SCRIPT", QFile::encodeName(HookInstaller::scriptPath()))
                .replace("$HOME", QFile::encodeName(m_home->path()));
        };
        const std::string file = c.value("file", "toml"), command = c.value("command", "$SCRIPT");
        const QString path = file == "toml" ? CodexAgent::configTomlPath()
                                            : AgentList::find(QString::fromStdString(file))->configPath();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        const bool answering = c.value("answering", true);
        const json before = c.value("installed", false) ? expand(c["after"], file, command) : c["before"];
        const QByteArray original = subst(before);
        QFile out(path);
        QVERIFY(before.is_null() ||
                (out.open(QIODevice::WriteOnly) && out.write(original) == original.size()));
        out.close();
        QVERIFY2(HookInstaller::install(answering), qPrintable(m_log.lines.join('\n')));
        const QByteArray written = test::contentsOf(path);
        if (file == "toml")
            QCOMPARE(written, QByteArray::fromStdString(c.value("after", c["before"])));
        else // dump() keeps number kinds apart: 1 and 1.0 differ
            QCOMPARE(json::parse(written.constBegin(), written.constEnd(), nullptr, false).dump(),
                     json::parse(subst(expand(c["after"], file, command, answering))).dump());
        const bool backup = c.value("backup", false);
        QCOMPARE(test::contentsOf(path + ".korvane-backup"), backup ? original : QByteArray());
        QCOMPARE(m_log.lines.size(), int(backup || c.value("switch", "") == "off"));
        QCOMPARE(QFileInfo::exists(home + "/.claude"), file == "claude-code");
        QVERIFY(HookInstaller::install(answering)); // a second run finds everything in place
        QCOMPARE(test::contentsOf(path), written);
        QVERIFY(HookInstaller::isInstalled(answering)); // entries of earlier versions count
        if (file != "claude-code")
            return;
        // Claude Code runs the command with /bin/sh -c.
        QProcess sh;
        sh.start("/bin/sh", {"-c", QString::fromUtf8(subst(command + " claude-code"))});
        sh.write(R"({"session_id":"s","cwd":"/p","hook_event_name":"Stop"})");
        sh.closeWriteChannel();
        QVERIFY(sh.waitForFinished() && QFileInfo::exists(home + "/.cursor/signalwick/state/s.json"));
    }
};

KORVANE_TEST_MAIN(TestAgentConfigs)
#include "tst_agentconfigs.moc"
