#include "TestMain.h"
#include "notify/AttentionNotifier.h"
#include "notify/Notifier.h"

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

} // namespace

class TestAttentionNotifier : public QObject {
    Q_OBJECT

private Q_SLOTS:
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

KORVANE_TEST_MAIN(TestAttentionNotifier)
#include "tst_attentionnotifier.moc"
