// The command lines that take the user to an agent, and what tmux's answers
// mean, against the cases written out in data/jump-cases.json.

#include "TestMain.h"
#include "focus/JumpPlan.h"

#include <nlohmann/json.hpp>

using namespace korvane;
using nlohmann::json;

namespace {

json cases(const char* kind)
{
    const QByteArray bytes = test::contentsOf(KORVANE_FOCUS_TEST_DATA "/jump-cases.json");
    return json::parse(bytes.constBegin(), bytes.constEnd()).at(kind);
}

void addRows(const char* kind)
{
    QTest::addColumn<QByteArray>("c");
    for (const json& c : cases(kind))
        QTest::newRow(c["name"].get<std::string>().c_str()) << QByteArray::fromStdString(c.dump());
}

StateRecord::Where whereOf(const json& vars)
{
    StateRecord::Where where;
    for (const auto& [key, value] : vars.items())
        where.vars.insert(QString::fromStdString(key), QString::fromStdString(value));
    return where;
}

// A command as the cases write it: the program, then its arguments; null for none.
json asJson(const std::optional<JumpPlan::Command>& command)
{
    if (!command || command->program.isEmpty())
        return nullptr;
    json line = json::array({command->program.toStdString()});
    for (const QString& arg : command->args)
        line.push_back(arg.toStdString());
    return line;
}

} // namespace

class TestJumpPlan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // tmux's answer to the one query: whether the pane is there, where, and what shows it.
    void tmux_data() { addRows("tmux"); }
    void tmux()
    {
        QFETCH(QByteArray, c);
        const json t = json::parse(c.constData());
        const auto pane = JumpPlan::tmuxOf(whereOf(t["vars"]));
        QCOMPARE(pane.has_value(), t.contains("out"));
        if (!pane)
            return;
        const JumpPlan::TmuxAnswer answer =
            JumpPlan::parseTmux(QByteArray::fromStdString(t["out"].get<std::string>()), *pane);
        QCOMPARE(answer.gone, t.value("gone", false));
        QCOMPARE(answer.target.toStdString(), t.value("target", ""));
        QCOMPARE(answer.active, t.value("active", false));
        const JumpPlan::TmuxMove move = JumpPlan::tmuxMove(*pane, answer);
        QCOMPARE(asJson(move.command).dump(), t.value("command", json()).dump());
        QCOMPARE(move.client ? move.client->pid : 0, t.value("client", 0));
    }

    // Every other way there, by the variables and the record the hook wrote.
    void commands_data() { addRows("commands"); }
    void commands()
    {
        QFETCH(QByteArray, c);
        const json t = json::parse(c.constData());
        StateRecord record;
        record.where = whereOf(t.value("vars", json::object()));
        if (t.contains("workspace"))
            record.workspace = QString::fromStdString(t["workspace"]);
        if (t.contains("agent"))
            record.agent = QString::fromStdString(t["agent"]);
        const std::string kind = t["kind"];
        json got = json::array();
        if (kind == "editor") {
            for (const JumpPlan::Command& command : JumpPlan::editor(record))
                got.push_back(asJson(command));
        } else if (kind == "kitty") {
            got.push_back(asJson(JumpPlan::kitty(*record.where)));
        } else if (kind == "wezterm") {
            got.push_back(asJson(JumpPlan::wezterm(*record.where)));
        } else if (kind == "sway") {
            got.push_back(asJson(JumpPlan::sway(t["pid"])));
        } else if (kind == "kwin") {
            got.push_back(asJson(JumpPlan::kwinLoad(QString::fromStdString(t["file"]))));
            got.push_back(asJson(JumpPlan::kwinRun(QByteArray::fromStdString(t["answer"]))));
            got.push_back(asJson(JumpPlan::kwinUnload()));
            const QString script = JumpPlan::kwinScript({t["pids"].begin(), t["pids"].end()});
            for (const json& piece : t["script"])
                QVERIFY2(script.contains(QString::fromStdString(piece)), qPrintable(script));
        }
        QCOMPARE(got.dump(), t["expect"].dump());
    }

    // What Korvane says when it cannot take the user there, and the terminal a tty_nr names.
    void sentence_data() { addRows("sentence"); }
    void sentence()
    {
        QFETCH(QByteArray, c);
        const json t = json::parse(c.constData());
        JumpPlan::Description d;
        d.tmuxTarget = QString::fromStdString(t.value("tmux", ""));
        d.terminal = QString::fromStdString(t.value("terminal", ""));
        d.title = QString::fromStdString(t.value("title", ""));
        d.editor = QString::fromStdString(t.value("editor", ""));
        d.tty = JumpPlan::ttyName(t.value("tty_nr", 0));
        d.desktop = t.value("desktop", 0);
        QCOMPARE(JumpPlan::sentence(d).toStdString(), t["expect"].get<std::string>());
    }
};

KORVANE_TEST_MAIN(TestJumpPlan)
#include "tst_jumpplan.moc"
