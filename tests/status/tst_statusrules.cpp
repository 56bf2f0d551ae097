// What a pass makes of its records: decoding them strictly, their states by
// age, the window and tab rows with their order and names, and the overall state.

#include "TestMain.h"
#include "status/StatusRules.h"

using namespace korvane;

namespace {

constexpr double kNow = 1'800'000'000.0;
using Inputs = std::vector<StatusRules::Input>;

// A record of the given age; an empty conversation id falls back to the file name.
StatusRules::Input in(const char* conv, const char* state, double age, const char* ws = "/p/app")
{
    return {{QString::fromUtf8(state), kNow - age, QString::fromUtf8(ws), QString::fromUtf8(conv), {}},
            "file"};
}

QString describe(const WindowStatusList& rows)
{
    QStringList out;
    for (const WindowStatus& r : rows)
        out << QStringLiteral("%1|%2|%3").arg(r.id, r.name, rawValue(r.state)) + u'|' +
                   QString::number(kNow - r.lastActivity);
    return out.join(u", ");
}

QString describe(const std::optional<StateRecord>& r)
{
    if (!r)
        return QStringLiteral("rejected");
    const auto opt = [](const std::optional<QString>& s) { return s ? *s : QStringLiteral("-"); };
    return QStringList{r->state, QString::number(r->ts, 'g', 17), opt(r->workspace), opt(r->conversationId),
                       opt(r->agent)}
        .join(u' ');
}

} // namespace

class TestStatusRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("record");
        QTest::newRow("as the hook writes it")
            << QByteArray(R"({"conversation_id":"c-1","event":"stop","state":"working","ts":1799999999.25,)"
                          R"("workspace":"/w","agent":"claude-code"})")
            << "working 1799999999.25 /w c-1 claude-code";
        QTest::newRow("nulls are absent, empty strings are not; other members, BOM, whitespace")
            << QByteArray(
                   "\xEF\xBB\xBF {\"x\":[1,{\"y\":null},true],\"state\":\"\",\"ts\":2e3,\"workspace\":null,"
                   "\"conversation_id\":\"\",\"agent\":7,\"z\":{\"k\":1},\"w\":{\"k\":2}}\n")
            << " 2000 -  -";
        QTest::newRow("escapes and UTF-8")
            << QByteArray(
                   "{\"st\\u0061te\":\"\\\"\\u00e9\\ud83d\\ude00 zo\xC3\xAB\",\"ts\":18446744073709551616}")
            << QString::fromUtf8("\"\xC3\xA9\xF0\x9F\x98\x80 zo\xC3\xAB 1.8446744073709552e+19 - - -");
        static const std::pair<const char*, QByteArray> rejected[] = {
            {"not JSON", "state=idle ts=1"},
            {"top level an array", R"([{"state":"idle","ts":1}])"},
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
        QTest::newRow("working up to 900 s, then idle")
            << Inputs{in("a", "working", 900, "/p/a"), in("b", "working", 900.5, "/p/b")}
            << "a|a|working|900, b|b|idle|900.5"
            << "/p/a|a|working|900, /p/b|b|idle|900.5" << AgentState::Working;
        QTest::newRow("pending is working up to 6 s or from the future, then waiting")
            << Inputs{in("a", "pending", 6, "/p/a"), in("b", "pending", 6.5, "/p/b"),
                      in("f", "pending", -50, "/p/f")}
            << "a|a|working|6, b|b|waiting|6.5, f|f|working|-50"
            << "/p/f|f|working|-50, /p/a|a|working|6, /p/b|b|waiting|6.5" << AgentState::Working;
        QTest::newRow("shown up to 7200 s, older rows are dropped and not counted")
            << Inputs{in("a", "error", 7200, "/p/a"), in("b", "idle", 7200.5, "/p/a"),
                      in("c", "idle", 7200.5, "/p/c")}
            << "a|a|error|7200"
            << "/p/a|a|error|7200" << AgentState::Error;
        QTest::newRow("an old waiting record holds its window, the fresh idle one is the tab")
            << Inputs{in("i", "idle", 60), in("w", "waiting", 10800)} << "i|app|idle|60"
            << "/p/app|app|waiting|60" << AgentState::Waiting;
        QTest::newRow("tabs numbered from 1 by conversation key, working wins the window")
            << Inputs{in("zeta", "idle", 30), in("alpha", "working", 40), in("mid", "error", 50)}
            << "alpha|app #1|working|40, mid|app #2|error|50, zeta|app #3|idle|30"
            << "/p/app|app|working|30" << AgentState::Working;
        QTest::newRow("working windows first, then by recency")
            << Inputs{in("k", "working", 800, "/p/busy"), in("w", "waiting", 5, "/p/ask"),
                      in("i", "idle", 1, "/p/done")}
            << "w|ask|waiting|5, k|busy|working|800, i|done|idle|1"
            << "/p/busy|busy|working|800, /p/done|done|idle|1, /p/ask|ask|waiting|5" << AgentState::Working;
        QTest::newRow(
            "merge keeps the newer of idle and error, the first on a tie; so does the overall state")
            << Inputs{in("a", "error", 20, "/p/a"), in("b", "idle", 10, "/p/a"), in("c", "error", 10, "/p/c"),
                      in("d", "idle", 10, "/p/c")}
            << "a|a #1|error|20, b|a #2|idle|10, c|c #1|error|10, d|c #2|idle|10"
            << "/p/a|a|idle|10, /p/c|c|error|10" << AgentState::Idle;
        QTest::newRow("window names; no workspace is Unknown, an empty id is the file")
            << Inputs{in("a", "idle", 1, "/home/ada/engine//"), in("b", "idle", 2, "/"),
                      in("", "idle", 3, ""), in("c", "thinking", 4, "rel/x")}
            << "file|Unknown|idle|3, b|/|idle|2, a|engine|idle|1, c|x|unknown|4"
            << "/home/ada/engine//|engine|idle|1, /|/|idle|2, |Unknown|idle|3, rel/x|x|unknown|4"
            << AgentState::Idle;
        // U+FF61 is below U+1F600 as a code point, above it as a UTF-16 unit;
        // "e" + U+0301 is "é" (U+00E9), which sorts after "f".
        QTest::newRow("keys sort by code point after canonical composition")
            << Inputs{in("\xF0\x9F\x98\x80", "idle", 1), in("\xEF\xBD\xA1", "idle", 1),
                      in("e\xCC\x81", "idle", 1), in("f", "idle", 1)}
            << QString::fromUtf8("f|app #1|idle|1, e\xCC\x81|app #2|idle|1, \xEF\xBD\xA1|app #3|idle|1, "
                                 "\xF0\x9F\x98\x80|app #4|idle|1")
            << "/p/app|app|idle|1" << AgentState::Idle;
        QTest::newRow("canonically equal workspaces are one window")
            << Inputs{in("t1", "idle", 1, "/p/caf\xC3\xA9"), in("t2", "working", 2, "/p/cafe\xCC\x81")}
            << QString::fromUtf8("t1|caf\xC3\xA9 #1|idle|1, t2|cafe\xCC\x81 #2|working|2")
            << QString::fromUtf8("/p/caf\xC3\xA9|caf\xC3\xA9|working|1") << AgentState::Working;
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
