// What a pass makes of its records (decoding, states by age, window and tab rows, the overall state),
// the rows the lights show, and which rows are announced to the user.

#include "FakeClock.h"
#include "TestMain.h"
#include "notify/AttentionNotifier.h"
#include "notify/Notifier.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/LightRows.h"
#include "status/StatusRules.h"
#include "status/StatusStore.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace korvane;

namespace {

// Records calls as "show <id> <summary> <state whose sentence is the body>" and "close <id>".
class FakeNotifier : public Notifier {
public:
    QStringList calls;
    void show(const QString& id, const QString& summary, const QString& body) override
    {
        QString state = QStringLiteral("?");
        for (const AgentState s : kAllAgentStates)
            state = statusText(s) == body ? rawValue(s) : state;
        calls << QStringLiteral("show %1 %2 %3").arg(id, summary, state);
    }
    void close(const QString& id) override { calls << QStringLiteral("close ") + id; }
};

void row(const char* name, const char* steps, const char* calls)
{
    QTest::newRow(name) << QString::fromUtf8(steps) << QString::fromUtf8(calls);
}

constexpr double kNow = 1'800'000'000.0;
using Inputs = std::vector<StatusRules::Input>;

// "conv state age workspace" records, comma-separated; the workspace defaults
// to /p/app, and "-" for a conversation or workspace is the empty string.
Inputs inputs(const char* text)
{
    Inputs out;
    for (const QString& r : QString::fromUtf8(text).split(u',')) {
        const QStringList w = r.trimmed().split(u' ');
        const QString ws = w.value(3, QStringLiteral("/p/app")), conv = w[0] == u"-" ? QString() : w[0];
        out.push_back(
            {{w[1], kNow - w[2].toDouble(), ws == u"-" ? QString() : ws, conv, {}, {}, {}, {}, {}}, "file"});
    }
    return out;
}

void row(const char* name, const char* in, const char* tabs, const char* windows, AgentState state)
{
    QTest::newRow(name) << inputs(in) << QString::fromUtf8(tabs) << QString::fromUtf8(windows) << state;
}

// "id|name|state|age", "!" when it needs the user, "@agent" when known.
QString describe(const WindowStatusList& rows)
{
    QStringList out;
    for (const WindowStatus& r : rows)
        out << r.id + u'|' + r.name + u'|' + rawValue(r.state) + u'|' +
                   QString::number(kNow - r.lastActivity) + (r.needsYou ? u"!"_qs : QString()) +
                   (r.agent.isEmpty() ? QString() : u'@' + r.agent);
    return out.join(u", ");
}

QString describe(const std::optional<StateRecord>& r)
{
    if (!r)
        return QStringLiteral("rejected");
    const auto opt = [](const std::optional<QString>& s) { return s ? *s : QStringLiteral("-"); };
    return r->state + u' ' + QString::number(r->ts, 'g', 17) + u' ' + opt(r->workspace) + u' ' +
           opt(r->conversationId) + u' ' + opt(r->agent) +
           (r->process ? u' ' + QString::number(r->process->pid) + u'@' + r->process->start : QString());
}

} // namespace

class TestStatusRules : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    test::FakeClock m_clock;

    // "conversation@workspace:state", written 5 s ago.
    void put(StatusStore& store, const QString& entry)
    {
        const QStringList part = entry.split(QRegularExpression(u"[@:]"_qs));
        QFile f(store.stateDir() + u'/' + QString::number(qHash(entry)) + u".json"_qs);
        QVERIFY(f.open(QIODevice::WriteOnly) &&
                f.write(QStringLiteral(R"({"state":"%1","ts":%2,"workspace":"%3","conversation_id":"%4"})")
                            .arg(part[2], QString::number(m_clock.now() - 5, 'f', 3), part[1], part[0])
                            .toUtf8()) > 0);
    }

private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("record");
        QTest::newRow("nulls are absent, empty strings are not; other members, an agent that is no string")
            << QByteArray(
                   "\xEF\xBB\xBF {\"x\":[1,{\"y\":null},true],\"state\":\"\",\"ts\":2e3,\"workspace\":null,"
                   "\"conversation_id\":\"\",\"agent\":7,\"z\":{\"k\":1},\"w\":{\"k\":2}}\n")
            << " 2000 -  -";
        QTest::newRow("escapes and UTF-8")
            << QByteArray(
                   "{\"st\\u0061te\":\"\\\"\\u00e9\\ud83d\\ude00 zo\xC3\xAB\",\"ts\":18446744073709551616}")
            << QString::fromUtf8("\"\xC3\xA9\xF0\x9F\x98\x80 zo\xC3\xAB 1.8446744073709552e+19 - - -");
        // The agent's process: both members or neither; a pid that cannot name a process is none.
        const char* proc = R"({"state":"idle","ts":1,"pid":%1,"proc_start":%2})";
        for (const auto& [name, pid, start, record] : std::initializer_list<std::array<const char*, 4>>{
                 {"a process", "4242", "\"9876\"", "idle 1 - - - 4242@9876"},
                 {"start time missing", "4242", "null", "idle 1 - - -"},
                 {"start time not digits", "4242", "\"../1\"", "idle 1 - - -"},
                 {"pid zero", "0", "\"9876\"", "idle 1 - - -"},
                 {"pid negative", "-4242", "\"9876\"", "idle 1 - - -"},
                 {"pid a string", "\"4242\"", "\"9876\"", "idle 1 - - -"},
                 {"pid beyond 64 bits", "18446744073709551615", "\"9876\"", "idle 1 - - -"}})
            QTest::newRow(name) << QString::fromLatin1(proc).arg(pid, start).toUtf8()
                                << QString::fromUtf8(record);
        static const std::pair<const char*, QByteArray> rejected[] = {
            {"state missing", R"({"ts":1})"},
            {"ts null", R"({"state":"idle","ts":null})"},
            {"ts a string", R"({"state":"idle","ts":"1800000000"})"},
            {"state a number", R"({"state":1,"ts":1})"},
            {"workspace a number", R"({"state":"idle","ts":1,"workspace":7})"},
            {"conversation_id an array", R"({"state":"idle","ts":1,"conversation_id":[]})"},
            {"trailing garbage", R"({"state":"idle","ts":1} x)"},
            {"NUL byte and more after the object", QByteArray("{\"state\":\"idle\",\"ts\":1}\0{}", 26)},
            {"lone surrogate escape", R"({"state":"idle","ts":1,"w":"\ud800x"})"},
            {"invalid UTF-8 in an ignored member", "{\"state\":\"idle\",\"ts\":1,\"x\":\"\xC3\"}"},
            {"ignored number beyond a double", R"({"state":"idle","ts":1,"x":1e999})"},
            {"duplicate state", R"({"state":"working","ts":1,"state":"idle"})"},
            {"duplicate inside an ignored member", R"({"state":"idle","ts":1,"x":{"a":1,"b":2,"a":3}})"},
            {"nested deeper than 512",
             R"({"state":"idle","ts":1,"d":)" + QByteArray(600, '[') + QByteArray(600, ']') + "}"},
        };
        for (const auto& [name, json] : rejected)
            QTest::newRow(name) << json << QStringLiteral("rejected");
    }
    void decode()
    {
        QFETCH(QByteArray, json);
        QTEST(describe(StateRecord::decode(json)), "record");
    }

    void evaluate_data()
    {
        QTest::addColumn<Inputs>("inputs");
        QTest::addColumn<QString>("tabs");
        QTest::addColumn<QString>("windows");
        QTest::addColumn<AgentState>("state");
        using S = AgentState;
        row("working up to 900 s, then idle", "a working 900 /p/a, b working 900.5 /p/b",
            "a|a|working|900, b|b|idle|900.5", "/p/a|a|working|900, /p/b|b|idle|900.5", S::Working);
        row("pending is working up to 6 s or from the future, then waiting",
            "a pending 6 /p/a, b pending 6.5 /p/b, f pending -50 /p/f",
            "a|a|working|6, b|b|waiting|6.5!, f|f|working|-50",
            "/p/f|f|working|-50, /p/a|a|working|6, /p/b|b|waiting|6.5!", S::Working);
        row("shown up to 7200 s, older rows are dropped and not counted",
            "a error 7200 /p/a, b idle 7200.5 /p/a, c idle 7200.5 /p/c", "a|a|error|7200!",
            "/p/a|a|error|7200!", S::Error);
        row("tabs numbered from 1 by conversation key, working wins the window, which still needs you",
            "zeta idle 30, alpha working 40, mid error 50",
            "alpha|app #1|working|40, mid|app #2|error|50!, zeta|app #3|idle|30", "/p/app|app|working|30!",
            S::Working);
        row("working windows first, then by recency",
            "k working 800 /p/busy, w waiting 5 /p/ask, i idle 1 /p/done",
            "w|ask|waiting|5!, k|busy|working|800, i|done|idle|1",
            "/p/busy|busy|working|800, /p/done|done|idle|1, /p/ask|ask|waiting|5!", S::Working);
        row("merge keeps the newer of idle and error, the first on a tie; so does the overall state",
            "a error 20 /p/a, b idle 10 /p/a, c error 10 /p/c, d idle 10 /p/c",
            "a|a #1|error|20!, b|a #2|idle|10, c|c #1|error|10!, d|c #2|idle|10",
            "/p/a|a|idle|10!, /p/c|c|error|10!", S::Idle);
        row("window names; no workspace is Unknown, an empty id is the file",
            "a idle 1 /home/ada/engine//, b idle 2 /, - idle 3 -, c thinking 4 rel/x",
            "file|Unknown|idle|3, b|/|idle|2, a|engine|idle|1, c|x|unknown|4",
            "/home/ada/engine//|engine|idle|1, /|/|idle|2, |Unknown|idle|3, rel/x|x|unknown|4", S::Idle);
        // U+FF61 < U+1F600 (not as UTF-16 units); e + U+0301 is U+00E9 (also in a workspace).
        row("keys sort by code point after canonical composition",
            "\xF0\x9F\x98\x80 idle 1, \xEF\xBD\xA1 idle 1, e\xCC\x81 idle 1, f working 1 /p/caf\xC3\xA9, g "
            "idle 2 /p/cafe\xCC\x81",
            "e\xCC\x81|app #1|idle|1, \xEF\xBD\xA1|app #2|idle|1, \xF0\x9F\x98\x80|app #3|idle|1, "
            "f|caf\xC3\xA9 #1|working|1, g|cafe\xCC\x81 #2|idle|2",
            "/p/caf\xC3\xA9|caf\xC3\xA9|working|1, /p/app|app|idle|1", S::Working);
    }
    void evaluate()
    {
        QFETCH(Inputs, inputs);
        const StatusRules::Result r = StatusRules::evaluate(inputs, kNow);
        QTEST(describe(r.tabs), "tabs");
        QTEST(describe(r.windows), "windows");
        QTEST(r.state, "state");
    }

    // The rows the lights show: which list, in whose order, what a lookup by id finds, and when a
    // change is announced.
    void rows_data()
    {
        QTest::addColumn<bool>("perTab");
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("shown");
        QTest::newRow("windows") << false << QStringList{"/w/b", "/w/a"} << "/w/b:working /w/a:waiting";
        QTest::newRow("tabs") << true << QStringList{"y", "/w/a", "x"} << "y:working /w/a:idle x:waiting";
        QTest::newRow("gone ids in the order")
            << true << QStringList{"gone", "x", "y", "/w/a"} << "x:waiting y:working /w/a:idle";
    }
    void rows()
    {
        QFETCH(bool, perTab);
        QFETCH(QStringList, order);
        UserDefaults defaults(m_tmp.filePath(QString::fromLatin1(QTest::currentDataTag())));
        AppSettings settings(defaults);
        settings.setPerTab(!perTab);
        StatusStore store(m_clock);
        QDir(store.stateDir()).removeRecursively();
        QDir().mkpath(store.stateDir());
        // A conversation whose id is also its workspace's: the tab and the window share an id.
        for (const char* entry : {"/w/a@/w/a:idle", "x@/w/a:waiting", "y@/w/b:working"})
            put(store, QString::fromLatin1(entry));
        store.refresh();
        LightRows rows(store, settings);
        QSignalSpy changed(&rows, &LightRows::changed);

        settings.setPerTab(perTab);
        QCOMPARE(changed.count(), 1);
        settings.setLightOrder(order);
        const qsizetype announced = changed.count();
        settings.setPerTab(perTab); // repeats change nothing
        settings.setLightOrder(order);
        QCOMPARE(changed.count(), announced);
        QStringList shown;
        for (const WindowStatus& row : rows.rows())
            shown << row.id + u':' + rawValue(row.state);
        QTEST(shown.join(u' '), "shown");

        // The tab, not the window of the same id, whichever list is shown.
        QCOMPARE(rows.find(u"/w/a"_qs)->state, AgentState::Idle);
        QCOMPARE(rows.find(u"/w/b"_qs)->state, AgentState::Working);
        QVERIFY(!rows.find(u"gone"_qs));
        put(store, u"z@/w/c:idle"_qs);
        store.refresh();
        QCOMPARE(changed.count(), announced + 1);
        QVERIFY(rows.find(perTab ? u"z"_qs : u"/w/c"_qs));
    }

    // Which rows are announced to the user, and when.
    void transitions_data()
    {
        // Steps: on, off, restart, or the rows ("a=waiting b=idle": rows a and b named Wa and Wb).
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("calls");
        row("red at launch stays quiet", "on|a=waiting|a=waiting", "");
        row("once while red, closed when resolved, again after a turn",
            "on|a=working|a=waiting|a=waiting|a=error|a=idle|a=idle|a=waiting",
            "show a Wa waiting|close a|show a Wa waiting");
        row("new row already red, then gone", "on||b=waiting|", "show b Wb waiting|close b");
        row("each row on its own", "on|a=idle b=idle|a=waiting b=error|a=idle b=error",
            "show a Wa waiting|show b Wb error|close a");
        row("off: nothing; on: only what turns red later", "a=idle|a=waiting|on|a=waiting|a=idle|a=error",
            "show a Wa error");
        row("off closes at once", "on|a=idle|a=waiting|off|a=waiting", "show a Wa waiting|close a");
        row("restart closes and forgets", "on|a=idle|a=waiting|restart|a=waiting b=error|b=idle|b=waiting",
            "show a Wa waiting|close a|show b Wb waiting");
    }
    void transitions()
    {
        QFETCH(QString, steps);
        QFETCH(QString, calls);
        FakeNotifier fake;
        AttentionNotifier notifier(fake);
        for (const QString& step : steps.split(u'|')) {
            if (step == u"on" || step == u"off")
                notifier.setEnabled(step == u"on");
            else if (step == u"restart")
                notifier.restart();
            else {
                WindowStatusList rows;
                for (const QString& part : step.split(u' ', Qt::SkipEmptyParts)) {
                    const QStringList kv = part.split(u'=');
                    rows.append({kv[0], QStringLiteral("W") + kv[0], *agentStateFromRaw(kv[1]), 0});
                }
                notifier.setRows(rows);
            }
        }
        QCOMPARE(fake.calls.join(u'|'), calls);
    }
};

KORVANE_TEST_MAIN(TestStatusRules)
#include "tst_statusrules.moc"
