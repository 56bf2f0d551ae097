#include "TestMain.h"
#include "notify/AttentionNotifier.h"
#include "notify/Notifier.h"

#include <QSignalSpy>

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

// "a=waiting b=idle": rows a and b, named "Wa" and "Wb".
WindowStatusList rows(const QString& step)
{
    WindowStatusList out;
    for (const QString& part : step.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList kv = part.split(u'=');
        out.append({kv[0], QStringLiteral("W") + kv[0], *agentStateFromRaw(kv[1]), 0});
    }
    return out;
}

} // namespace

class TestAttentionNotifier : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void transitions_data()
    {
        QTest::addColumn<QStringList>("steps"); // row snapshots, or on / off / restart
        QTest::addColumn<QStringList>("calls");

        QTest::newRow("red at launch stays quiet")
            << QStringList{"on", "a=waiting", "a=waiting"} << QStringList{};
        QTest::newRow("turns red once, closed when resolved")
            << QStringList{"on", "a=working", "a=waiting", "a=waiting", "a=error", "a=idle", "a=idle"}
            << QStringList{"show a Wa waiting", "close a"};
        QTest::newRow("error") << QStringList{"on", "a=idle", "a=error"} << QStringList{"show a Wa error"};
        QTest::newRow("new row already red")
            << QStringList{"on", "", "b=waiting"} << QStringList{"show b Wb waiting"};
        QTest::newRow("row goes away")
            << QStringList{"on", "a=idle", "a=waiting", ""} << QStringList{"show a Wa waiting", "close a"};
        QTest::newRow("red again after a turn")
            << QStringList{"on", "a=idle", "a=waiting", "a=working", "a=waiting"}
            << QStringList{"show a Wa waiting", "close a", "show a Wa waiting"};
        QTest::newRow("each row on its own")
            << QStringList{"on", "a=idle b=idle", "a=waiting b=error", "a=idle b=error"}
            << QStringList{"show a Wa waiting", "show b Wb error", "close a"};
        QTest::newRow("off: nothing; on: only what turns red later")
            << QStringList{"a=idle", "a=waiting", "on", "a=waiting", "a=idle", "a=error"}
            << QStringList{"show a Wa error"};
        QTest::newRow("off closes, once") << QStringList{"on", "a=idle", "a=waiting", "off", "a=idle"}
                                          << QStringList{"show a Wa waiting", "close a"};
        QTest::newRow("restart closes and forgets")
            << QStringList{"on", "a=idle", "a=waiting", "restart", "a=waiting b=error", "b=idle", "b=waiting"}
            << QStringList{"show a Wa waiting", "close a", "show b Wb waiting"};
    }
    void transitions()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, calls);
        FakeNotifier fake;
        AttentionNotifier notifier(fake);
        for (const QString& step : std::as_const(steps)) {
            if (step == u"on" || step == u"off")
                notifier.setEnabled(step == u"on");
            else if (step == u"restart")
                notifier.restart();
            else
                notifier.setRows(rows(step));
        }
        QCOMPARE(fake.calls, calls);
    }

    void clickIsPassedOn()
    {
        FakeNotifier fake;
        AttentionNotifier notifier(fake);
        QSignalSpy activated(&notifier, &AttentionNotifier::activated);
        Q_EMIT fake.activated(QStringLiteral("a"));
        QCOMPARE(activated.count(), 1);
    }
};

KORVANE_TEST_MAIN(TestAttentionNotifier)
#include "tst_attentionnotifier.moc"
