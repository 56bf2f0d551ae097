// What a pass makes of its records: decoding them strictly, their states by
// age, the window and tab rows with their order and names, and the overall state.

#include "TestMain.h"
#include "status/StatusRules.h"

using namespace korvane;

namespace {

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

QString describe(const WindowStatusList& rows)
{
    QStringList out;
    for (const WindowStatus& r : rows)
        out << r.id + u'|' + r.name + u'|' + rawValue(r.state) + u'|' +
                   QString::number(kNow - r.lastActivity);
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
            "a|a|working|6, b|b|waiting|6.5, f|f|working|-50",
            "/p/f|f|working|-50, /p/a|a|working|6, /p/b|b|waiting|6.5", S::Working);
        row("shown up to 7200 s, older rows are dropped and not counted",
            "a error 7200 /p/a, b idle 7200.5 /p/a, c idle 7200.5 /p/c", "a|a|error|7200",
            "/p/a|a|error|7200", S::Error);
        row("tabs numbered from 1 by conversation key, working wins the window",
            "zeta idle 30, alpha working 40, mid error 50",
            "alpha|app #1|working|40, mid|app #2|error|50, zeta|app #3|idle|30", "/p/app|app|working|30",
            S::Working);
        row("working windows first, then by recency",
            "k working 800 /p/busy, w waiting 5 /p/ask, i idle 1 /p/done",
            "w|ask|waiting|5, k|busy|working|800, i|done|idle|1",
            "/p/busy|busy|working|800, /p/done|done|idle|1, /p/ask|ask|waiting|5", S::Working);
        row("merge keeps the newer of idle and error, the first on a tie; so does the overall state",
            "a error 20 /p/a, b idle 10 /p/a, c error 10 /p/c, d idle 10 /p/c",
            "a|a #1|error|20, b|a #2|idle|10, c|c #1|error|10, d|c #2|idle|10",
            "/p/a|a|idle|10, /p/c|c|error|10", S::Idle);
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
};

KORVANE_TEST_MAIN(TestStatusRules)
#include "tst_statusrules.moc"
