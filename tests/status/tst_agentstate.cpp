#include "TestMain.h"
#include "status/AgentState.h"

using namespace korvane;

class TestAgentState : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fromRaw_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("expected"); // -1: no state

        QTest::newRow("working") << "working" << int(AgentState::Working);
        QTest::newRow("waiting") << "waiting" << int(AgentState::Waiting);
        QTest::newRow("idle") << "idle" << int(AgentState::Idle);
        QTest::newRow("error") << "error" << int(AgentState::Error);
        QTest::newRow("unknown") << "unknown" << int(AgentState::Unknown);
        QTest::newRow("capitalised") << "Working" << -1;
        QTest::newRow("pending is not a state") << "pending" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("trailing space") << "idle " << -1;
    }
    void fromRaw()
    {
        QFETCH(QString, raw);
        QFETCH(int, expected);
        const auto state = agentStateFromRaw(raw);
        if (expected < 0) {
            QVERIFY(!state.has_value());
        } else {
            QVERIFY(state.has_value());
            QCOMPARE(int(*state), expected);
            QCOMPARE(rawValue(*state), raw);
        }
    }

    void texts_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::newRow("working") << int(AgentState::Working) << QString::fromUtf8("Agent is working\u2026");
        QTest::newRow("waiting") << int(AgentState::Waiting) << "Waiting for your answer";
        QTest::newRow("idle") << int(AgentState::Idle)
                              << QString::fromUtf8("Done \u2014 waiting for your input");
        QTest::newRow("error") << int(AgentState::Error) << "Last turn ended with an error";
        QTest::newRow("unknown") << int(AgentState::Unknown) << "No recent agent activity";
    }
    void texts()
    {
        QFETCH(int, state);
        QFETCH(QString, text);
        QCOMPARE(statusText(AgentState(state)), text);
    }

    void waitingAndErrorShareTheirRed()
    {
        for (bool dark : {false, true}) {
            QCOMPARE(stateRgb(AgentState::Waiting, dark), stateRgb(AgentState::Error, dark));
            QVERIFY(stateRgb(AgentState::Working, dark) != stateRgb(AgentState::Error, dark));
            QVERIFY(stateRgb(AgentState::Idle, dark) != stateRgb(AgentState::Unknown, dark));
        }
        QVERIFY(statusText(AgentState::Waiting) != statusText(AgentState::Error));
    }
};

KORVANE_TEST_MAIN(TestAgentState)
#include "tst_agentstate.moc"
