// The rows the lights show: which list, in whose order, what a lookup by id
// finds, and when a change is announced.

#include "FakeClock.h"
#include "TestMain.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/LightRows.h"
#include "status/StatusStore.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace korvane;

class TestLightRows : public QObject {
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
};

KORVANE_TEST_MAIN(TestLightRows)
#include "tst_lightrows.moc"
