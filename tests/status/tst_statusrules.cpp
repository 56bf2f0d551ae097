// What a pass makes of its records: states by age, window and tab rows, their
// order and names, and the overall state.

#include "TestMain.h"
#include "status/StatusRules.h"

using namespace korvane;

namespace {

constexpr double kNow = 1'800'000'000.0;
using Inputs = std::vector<StatusRules::Input>;

// A record of the given age; an empty conversation id falls back to the file name "f<conv>".
StatusRules::Input in(const char* conv, const char* state, double age, const char* ws = "/p/app")
{
    StateRecord r{QString::fromUtf8(state), kNow - age, QString::fromUtf8(ws), QString::fromUtf8(conv)};
    return {r, QStringLiteral("file")};
}

QString describe(const WindowStatusList& rows)
{
    QStringList out;
    for (const WindowStatus& r : rows)
        out << QStringLiteral("%1|%2|%3|%4").arg(r.id, r.name, rawValue(r.state)).arg(kNow - r.lastActivity);
    return out.join(u", ");
}

} // namespace

Q_DECLARE_METATYPE(Inputs)

class TestStatusRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
        QTest::newRow("pending is working up to 6 s, then waiting")
            << Inputs{in("a", "pending", 6, "/p/a"), in("b", "pending", 6.5, "/p/b")}
            << "a|a|working|6, b|b|waiting|6.5"
            << "/p/a|a|working|6, /p/b|b|waiting|6.5" << AgentState::Working;
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
        QTest::newRow("working windows first, then by recency; the newest decides")
            << Inputs{in("k", "working", 800, "/p/busy"), in("w", "waiting", 5, "/p/ask"),
                      in("i", "idle", 1, "/p/done"), in("e", "error", 3, "/p/err")}
            << "w|ask|waiting|5, k|busy|working|800, i|done|idle|1, e|err|error|3"
            << "/p/busy|busy|working|800, /p/done|done|idle|1, /p/err|err|error|3, /p/ask|ask|waiting|5"
            << AgentState::Working;
        QTest::newRow("equal times: the first window listed decides")
            << Inputs{in("e", "error", 5, "/p/e"), in("i", "idle", 5, "/p/i")} << "e|e|error|5, i|i|idle|5"
            << "/p/e|e|error|5, /p/i|i|idle|5" << AgentState::Error;
        QTest::newRow("merge keeps the newer of idle and error, and the first on a tie")
            << Inputs{in("a", "error", 20, "/p/a"), in("b", "idle", 10, "/p/a"), in("c", "idle", 5, "/p/c"),
                      in("d", "error", 5, "/p/c")}
            << "a|a #1|error|20, b|a #2|idle|10, c|c #1|idle|5, d|c #2|error|5"
            << "/p/c|c|idle|5, /p/a|a|idle|10" << AgentState::Idle;
        QTest::newRow("window names; no workspace is Unknown, an empty id is the file")
            << Inputs{in("a", "idle", 1, "/home/ada/engine//"), in("b", "idle", 2, "/"),
                      in("", "idle", 3, ""), in("c", "thinking", 4, "rel/x")}
            << "file|Unknown|idle|3, b|/|idle|2, a|engine|idle|1, c|x|unknown|4"
            << "/home/ada/engine//|engine|idle|1, /|/|idle|2, |Unknown|idle|3, rel/x|x|unknown|4"
            << AgentState::Idle;
        QTest::newRow("a record from the future is fresh")
            << Inputs{in("f", "pending", -5000)} << "f|app|working|-5000"
            << "/p/app|app|working|-5000" << AgentState::Working;
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
        QTest::newRow("nothing") << Inputs{} << ""
                                 << "" << AgentState::Unknown;
    }
    void evaluate()
    {
        QFETCH(Inputs, inputs);
        QFETCH(QString, tabs);
        QFETCH(QString, windows);
        QFETCH(AgentState, state);
        const StatusRules::Result r = StatusRules::evaluate(inputs, kNow);
        QCOMPARE(describe(r.tabs), tabs);
        QCOMPARE(describe(r.windows), windows);
        QCOMPARE(rawValue(r.state), rawValue(state));
    }
};

KORVANE_TEST_MAIN(TestStatusRules)
#include "tst_statusrules.moc"
