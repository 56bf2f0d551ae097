// The command lines to an agent and what tmux's answers mean (data/jump-cases.json); TakeMeThere against
// a fake window manager and helpers (data/take-me-there.json): what it raises, runs, or says instead.

#include "TestMain.h"
#include "focus/JumpPlan.h"
#include "focus/TakeMeThere.h"
#include "platform/ProcessRunner.h"
#include "platform/ProcessTable.h"
#include "platform/WindowSystem.h"

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

// Programs answer what the case says (by the program and its first argument); /proc is the case's.
class FakeRunner final : public ProcessRunner {
public:
    json t;
    json ran = json::array(), started = json::array();
    Result run(const QString& program, const QStringList& args, int) override
    {
        ran.push_back((QStringList{program} + args).join(u' ').toStdString());
        const std::string key = (program + u' ' + args.value(0)).toStdString();
        return t["answers"].contains(key) ? Result{0, QByteArray::fromStdString(t["answers"][key])}
                                          : Result{1, {}};
    }
    bool startDetached(const QString& program, const QStringList& args) override
    {
        started.push_back((QStringList{program} + args).join(u' ').toStdString());
        return true;
    }
    QByteArray readFile(const QString& path) const override
    {
        return QByteArray::fromStdString(t.value("proc", json::object()).value(path.toStdString(), ""));
    }
    bool available(const QString& program) const override
    {
        const json programs = t.value("programs", json::array());
        return std::find(programs.begin(), programs.end(), program.toStdString()) != programs.end();
    }
};

class FakeWindows final : public WindowSystem {
public:
    json list;
    qint64 desktop = 0;
    quint32 active = 1;
    bool available() const override { return true; }
    QList<quint32> windows() const override
    {
        QList<quint32> ids;
        for (const json& w : list)
            ids << w["id"].get<quint32>();
        return ids;
    }
    json at(quint32 id) const
    {
        for (const json& w : list)
            if (w["id"] == id)
                return w;
        return json::object();
    }
    qint64 pidOf(quint32 w) const override { return at(w).value("pid", 0); }
    QString titleOf(quint32 w) const override { return QString::fromStdString(at(w).value("title", "")); }
    qint64 desktopOf(quint32 w) const override { return at(w).value("desktop", qint64(0)); }
    qint64 currentDesktop() const override { return desktop; }
    quint32 activeWindow() const override { return active; }
    void switchDesktop(qint64 d) override { desktop = d; }
    // Like openbox: a window on another desktop is not activated.
    void activate(quint32 w) override
    {
        const qint64 on = at(w).value("desktop", qint64(0));
        active = on == desktop || on == kAllDesktops ? w : active;
    }
};

class AllRunning final : public ProcessTable {
    std::optional<bool> isRunning(qint64, const QByteArray&) const override { return true; }
};

} // namespace

class TestTakeMeThere : public QObject {
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

    void go_data()
    {
        QTest::addColumn<QByteArray>("c");
        const QByteArray bytes = test::contentsOf(KORVANE_FOCUS_TEST_DATA "/take-me-there.json");
        for (const json& c : json::parse(bytes.constBegin(), bytes.constEnd()))
            QTest::newRow(c["name"].get<std::string>().c_str()) << QByteArray::fromStdString(c.dump());
    }
    void go()
    {
        QFETCH(QByteArray, c);
        FakeRunner runner;
        runner.t = json::parse(c.constData());
        const json& t = runner.t;
        FakeWindows windows;
        windows.list = t.value("windows", json::array());
        qputenv("SWAYSOCK", QByteArray::fromStdString(t.value("swaysock", ""))); // empty: no sway
        StateRecord record;
        if (t.contains("workspace"))
            record.workspace = QString::fromStdString(t["workspace"]);
        if (t.contains("agent"))
            record.agent = QString::fromStdString(t["agent"]);
        if (t.contains("pid"))
            record.process = StateRecord::Process{t["pid"], "1"};
        StateRecord::Where where;
        const json vars = t.value("vars", json::object());
        for (const auto& [key, value] : vars.items())
            where.vars.insert(QString::fromStdString(key), QString::fromStdString(value));
        for (const json& link : t.value("chain", json::array()))
            where.chain.append({link[0].get<qint64>(), QString::fromStdString(link[1])});
        where.ttyNr = t.value("tty_nr", 0);
        record.where = where;
        AllRunning processes;
        TakeMeThere take(runner, windows, processes);
        take.setConfirmTimeout(0);
        const TakeMeThere::Outcome outcome = take.go(record);
        const json& want = t["expect"];
        QCOMPARE(outcome.reached, want["reached"].get<bool>());
        QCOMPARE(outcome.where, QString::fromStdString(want["where"].get<std::string>()));
        QCOMPARE(windows.active, want.value("active", 1u));
        QCOMPARE(windows.desktop, want.value("desktop", 0));
        QCOMPARE(runner.ran.dump(), want.value("ran", json::array()).dump());
        QCOMPARE(runner.started.dump(), want.value("started", json::array()).dump());
    }
};

KORVANE_TEST_MAIN(TestTakeMeThere)
#include "tst_takemethere.moc"
