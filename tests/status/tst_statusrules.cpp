// The rules of one status pass, each on its own: resolution by age, the merge
// of a workspace's records, window order, the overall state, window names and
// tab rows.

#include "TestMain.h"
#include "status/StatusStore.h"

using namespace korvane;

namespace {

constexpr double kNow = 1'800'000'000.0;

StateRecord record(const QString& state, double ts)
{
    StateRecord r;
    r.state = state;
    r.ts = ts;
    return r;
}

WindowStatus row(const QString& id, AgentState state, double lastActivity)
{
    return {id, id, state, lastActivity};
}

// "id:name:state:age" per row, so that a failure shows the whole list.
QString describe(const WindowStatusList& rows)
{
    QStringList out;
    for (const WindowStatus& r : rows)
        out << QStringLiteral("%1|%2|%3|%4")
                   .arg(r.id, r.name, rawValue(r.state), QString::number(kNow - r.lastActivity));
    return out.join(QStringLiteral(", "));
}

StatusStore::TabEntry tab(const QString& conv, const QString& ws, double age,
                          AgentState state = AgentState::Idle)
{
    return {conv, ws, state, kNow - age};
}

} // namespace

Q_DECLARE_METATYPE(std::vector<korvane::StatusStore::TabEntry>)

class TestStatusRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void resolve_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<double>("age");
        QTest::addColumn<AgentState>("expected");

        QTest::newRow("working, fresh") << "working" << 0.0 << AgentState::Working;
        QTest::newRow("working, 900 s is still working") << "working" << 900.0 << AgentState::Working;
        QTest::newRow("working, just past 900 s is idle") << "working" << 900.001 << AgentState::Idle;
        QTest::newRow("working, 901 s is idle") << "working" << 901.0 << AgentState::Idle;
        QTest::newRow("working, from the future") << "working" << -3600.0 << AgentState::Working;
        QTest::newRow("pending, 6 s is still working") << "pending" << 6.0 << AgentState::Working;
        QTest::newRow("pending, just past 6 s is waiting") << "pending" << 6.001 << AgentState::Waiting;
        QTest::newRow("pending, 7 s is waiting") << "pending" << 7.0 << AgentState::Waiting;
        QTest::newRow("pending, from the future") << "pending" << -100.0 << AgentState::Working;
        QTest::newRow("waiting, a day old") << "waiting" << 86000.0 << AgentState::Waiting;
        QTest::newRow("error, a day old") << "error" << 86000.0 << AgentState::Error;
        QTest::newRow("idle, fresh") << "idle" << 0.0 << AgentState::Idle;
        QTest::newRow("unrecognised word") << "thinking" << 0.0 << AgentState::Unknown;
        QTest::newRow("capitalised working") << "Working" << 0.0 << AgentState::Unknown;
        QTest::newRow("working with a trailing space") << "working " << 0.0 << AgentState::Unknown;
        QTest::newRow("the word unknown") << "unknown" << 0.0 << AgentState::Unknown;
        QTest::newRow("empty") << "" << 0.0 << AgentState::Unknown;
    }
    void resolve()
    {
        QFETCH(QString, state);
        QFETCH(double, age);
        QFETCH(AgentState, expected);
        QCOMPARE(rawValue(StatusStore::resolve(record(state, kNow - age), age)), rawValue(expected));
    }

    void mergeWorkspace_data()
    {
        QTest::addColumn<AgentState>("existing");
        QTest::addColumn<double>("existingTs");
        QTest::addColumn<AgentState>("incoming");
        QTest::addColumn<double>("incomingTs");
        QTest::addColumn<AgentState>("merged");
        QTest::addColumn<double>("mergedTs");

        QTest::newRow("old working beats new idle")
            << AgentState::Working << 10.0 << AgentState::Idle << 20.0 << AgentState::Working << 20.0;
        QTest::newRow("new working beats old waiting")
            << AgentState::Waiting << 20.0 << AgentState::Working << 10.0 << AgentState::Working << 20.0;
        QTest::newRow("old waiting beats new idle")
            << AgentState::Waiting << 10.0 << AgentState::Idle << 20.0 << AgentState::Waiting << 20.0;
        QTest::newRow("old waiting beats new error")
            << AgentState::Waiting << 10.0 << AgentState::Error << 20.0 << AgentState::Waiting << 20.0;
        QTest::newRow("new waiting beats old idle")
            << AgentState::Idle << 10.0 << AgentState::Waiting << 20.0 << AgentState::Waiting << 20.0;
        QTest::newRow("newer idle replaces error")
            << AgentState::Error << 10.0 << AgentState::Idle << 20.0 << AgentState::Idle << 20.0;
        QTest::newRow("older idle leaves error")
            << AgentState::Error << 20.0 << AgentState::Idle << 10.0 << AgentState::Error << 20.0;
        QTest::newRow("equal times keep the first")
            << AgentState::Error << 15.0 << AgentState::Idle << 15.0 << AgentState::Error << 15.0;
        QTest::newRow("newer unknown replaces idle")
            << AgentState::Idle << 10.0 << AgentState::Unknown << 20.0 << AgentState::Unknown << 20.0;
        QTest::newRow("older unknown leaves idle")
            << AgentState::Idle << 20.0 << AgentState::Unknown << 10.0 << AgentState::Idle << 20.0;
        QTest::newRow("two working keep the newer time")
            << AgentState::Working << 5.0 << AgentState::Working << 9.0 << AgentState::Working << 9.0;
    }
    void mergeWorkspace()
    {
        QFETCH(AgentState, existing);
        QFETCH(double, existingTs);
        QFETCH(AgentState, incoming);
        QFETCH(double, incomingTs);
        QFETCH(AgentState, merged);
        QFETCH(double, mergedTs);
        const auto result = StatusStore::mergeWorkspace({existing, existingTs}, incoming, incomingTs);
        QCOMPARE(rawValue(result.state), rawValue(merged));
        QCOMPARE(result.ts, mergedTs);
    }

    void windowOrder_data()
    {
        QTest::addColumn<WindowStatusList>("rows");
        QTest::addColumn<QStringList>("order");

        QTest::newRow("an hour-old working row before a fresh waiting row")
            << WindowStatusList{row("w", AgentState::Waiting, kNow - 60),
                                row("k", AgentState::Working, kNow - 3600)}
            << QStringList{"k", "w"};
        QTest::newRow("working rows by recency")
            << WindowStatusList{row("old", AgentState::Working, kNow - 500),
                                row("new", AgentState::Working, kNow - 5)}
            << QStringList{"new", "old"};
        QTest::newRow("waiting gets no precedence over a newer idle row")
            << WindowStatusList{row("wait", AgentState::Waiting, kNow - 600),
                                row("idle", AgentState::Idle, kNow - 60),
                                row("err", AgentState::Error, kNow - 6000)}
            << QStringList{"idle", "wait", "err"};
        QTest::newRow("equal rows keep their order")
            << WindowStatusList{row("a", AgentState::Idle, kNow - 10), row("b", AgentState::Error, kNow - 10),
                                row("c", AgentState::Idle, kNow - 10)}
            << QStringList{"a", "b", "c"};
        QTest::newRow("working first, then the rest by recency")
            << WindowStatusList{row("i", AgentState::Idle, kNow - 1),
                                row("k2", AgentState::Working, kNow - 800),
                                row("u", AgentState::Unknown, kNow - 2),
                                row("k1", AgentState::Working, kNow - 700)}
            << QStringList{"k1", "k2", "i", "u"};
    }
    void windowOrder()
    {
        QFETCH(WindowStatusList, rows);
        QFETCH(QStringList, order);
        StatusStore::sortWindows(rows);
        QStringList ids;
        for (const WindowStatus& r : rows)
            ids << r.id;
        QCOMPARE(ids, order);
    }

    void overallState_data()
    {
        QTest::addColumn<WindowStatusList>("rows");
        QTest::addColumn<AgentState>("expected");

        QTest::newRow("no windows") << WindowStatusList{} << AgentState::Unknown;
        QTest::newRow("idle newest, error older") << WindowStatusList{row("i", AgentState::Idle, kNow - 10),
                                                                      row("e", AgentState::Error, kNow - 100)}
                                                  << AgentState::Idle;
        QTest::newRow("error newest, idle older") << WindowStatusList{row("e", AgentState::Error, kNow - 10),
                                                                      row("i", AgentState::Idle, kNow - 100)}
                                                  << AgentState::Error;
        QTest::newRow("an old waiting window outranks newer ones")
            << WindowStatusList{row("i", AgentState::Idle, kNow - 10),
                                row("e", AgentState::Error, kNow - 100),
                                row("w", AgentState::Waiting, kNow - 7000)}
            << AgentState::Waiting;
        QTest::newRow("working outranks waiting")
            << WindowStatusList{row("k", AgentState::Working, kNow - 800),
                                row("w", AgentState::Waiting, kNow - 1)}
            << AgentState::Working;
        QTest::newRow("unknown newest") << WindowStatusList{row("u", AgentState::Unknown, kNow - 1),
                                                            row("i", AgentState::Idle, kNow - 100)}
                                        << AgentState::Unknown;
        QTest::newRow("equal times: the first row decides")
            << WindowStatusList{row("e", AgentState::Error, kNow - 5), row("i", AgentState::Idle, kNow - 5)}
            << AgentState::Error;
    }
    void overallState()
    {
        QFETCH(WindowStatusList, rows);
        QFETCH(AgentState, expected);
        StatusStore::sortWindows(rows);
        QCOMPARE(rawValue(StatusStore::overallState(rows)), rawValue(expected));
    }

    void windowName_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");

        QTest::newRow("absolute path") << "/home/ada/src/engine"
                                       << "engine";
        QTest::newRow("trailing slash") << "/home/ada/src/engine/"
                                        << "engine";
        QTest::newRow("several trailing slashes") << "/home/ada/src/engine///"
                                                  << "engine";
        QTest::newRow("relative path") << "src/engine"
                                       << "engine";
        QTest::newRow("no slash at all") << "engine"
                                         << "engine";
        QTest::newRow("root alone") << "/"
                                    << "/";
        QTest::newRow("only slashes") << "///"
                                      << "/";
        QTest::newRow("one component under root") << "/srv/"
                                                  << "srv";
        QTest::newRow("empty key") << ""
                                   << "Unknown";
        QTest::newRow("spaces and unicode")
            << QString::fromUtf8("/Users/zoë/My Project") << QString::fromUtf8("My Project");
        QTest::newRow("backslashes are not separators") << "C:\\work\\app"
                                                        << "C:\\work\\app";
        QTest::newRow("dot components stay as written") << "/a/b/.."
                                                        << "..";
    }
    void windowName()
    {
        QFETCH(QString, key);
        QFETCH(QString, name);
        QCOMPARE(StatusStore::windowName(key), name);
    }

    void buildTabs_data()
    {
        using Entries = std::vector<StatusStore::TabEntry>;
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<QString>("expected"); // describe() of the rows

        QTest::newRow("a single tab has the bare window name")
            << Entries{tab("c1", "/p/app", 10)} << "c1|app|idle|10";
        QTest::newRow("two tabs are numbered by conversation key")
            << Entries{tab("zeta", "/p/app", 10, AgentState::Working), tab("alpha", "/p/app", 20)}
            << "alpha|app #1|idle|20, zeta|app #2|working|10";
        QTest::newRow("workspaces in key order, the empty key first")
            << Entries{tab("b", "/p/b", 1), tab("n", "", 2), tab("a", "/p/a", 3)}
            << "n|Unknown|idle|2, a|a|idle|3, b|b|idle|1";
        QTest::newRow("tabs without a workspace are numbered too")
            << Entries{tab("s2", "", 1), tab("s1", "", 2)} << "s1|Unknown #1|idle|2, s2|Unknown #2|idle|1";
        QTest::newRow("numbering per workspace")
            << Entries{tab("y", "/p/b", 1), tab("x", "/p/a", 1), tab("z", "/p/b", 1)}
            << "x|a|idle|1, y|b #1|idle|1, z|b #2|idle|1";
        QTest::newRow("7200 s is shown, older is dropped and not counted")
            << Entries{tab("keep", "/p/app", 7200), tab("drop", "/p/app", 7200.5)} << "keep|app|idle|7200";
        QTest::newRow("a tab from the future is shown")
            << Entries{tab("f", "/p/app", -30)} << "f|app|idle|-30";
        QTest::newRow("one conversation key in two files gives two rows")
            << Entries{tab("same", "/p/app", 5, AgentState::Error), tab("same", "/p/app", 9)}
            << "same|app #1|error|5, same|app #2|idle|9";
        QTest::newRow("capitals sort before lowercase")
            << Entries{tab("b", "/p/x", 1), tab("B", "/p/x", 1), tab("a", "/p/x", 1)}
            << "B|x #1|idle|1, a|x #2|idle|1, b|x #3|idle|1";
        // U+FF61 is below U+1F600 as a code point, above it as a UTF-16 unit.
        QTest::newRow("order by code point, not by UTF-16 unit")
            << Entries{tab(QString::fromUtf8("\xF0\x9F\x98\x80"), "/p/x", 1),
                       tab(QString::fromUtf8("\xEF\xBD\xA1"), "/p/x", 1)}
            << QString::fromUtf8("\xEF\xBD\xA1|x #1|idle|1, \xF0\x9F\x98\x80|x #2|idle|1");
        // "é" decomposed (e + U+0301) is the same key as "é" precomposed.
        QTest::newRow("canonically equal workspaces share the numbering")
            << Entries{tab("t1", QString::fromUtf8("/p/caf\xC3\xA9"), 1),
                       tab("t2", QString::fromUtf8("/p/cafe\xCC\x81"), 2)}
            << QString::fromUtf8("t1|caf\xC3\xA9 #1|idle|1, t2|cafe\xCC\x81 #2|idle|2");
        QTest::newRow("decomposed keys sort by their composed form")
            << Entries{tab(QString::fromUtf8("f"), "/p/x", 1), tab(QString::fromUtf8("e\xCC\x81"), "/p/x", 1),
                       tab(QString::fromUtf8("e\xCC\xA3"), "/p/x", 1)}
            // NFC: U+1EB9 (e with dot below) > "f" > U+00E9.
            << QString::fromUtf8("f|x #1|idle|1, e\xCC\x81|x #2|idle|1, e\xCC\xA3|x #3|idle|1");
        QTest::newRow("nothing kept") << Entries{tab("old", "/p/app", 9000)} << "";
    }
    void buildTabs()
    {
        QFETCH(std::vector<StatusStore::TabEntry>, entries);
        QFETCH(QString, expected);
        QCOMPARE(describe(StatusStore::buildTabs(entries, kNow)), expected);
    }
};

KORVANE_TEST_MAIN(TestStatusRules)
#include "tst_statusrules.moc"
