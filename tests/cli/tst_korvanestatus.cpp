#include "TestMain.h"

#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>

// The program as a bar or tmux runs it, in the HOME that the test support set up.
class TestKorvaneStatus : public QObject {
    Q_OBJECT

    static QString stateDir() { return QDir::homePath() + QStringLiteral("/.cursor/signalwick/state"); }

    // "name state age workspace", written aside and moved into place as the hook script does.
    static void writeState(const QString& line)
    {
        const QStringList f = line.split(u' ');
        QDir().mkpath(stateDir());
        QSaveFile file(stateDir() + u'/' + f[0]);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral(R"({"state":"%1","ts":%2,"workspace":"%3"})")
                       .arg(f[1], QString::number(QDateTime::currentSecsSinceEpoch() - f[2].toInt()), f[3])
                       .toUtf8());
        QVERIFY(file.commit());
    }

    // Standard output of a run that ended with the exit code, else what went wrong.
    static QByteArray run(const QStringList& args, int exitCode = 0, QByteArray* err = nullptr)
    {
        QProcess p;
        p.start(QStringLiteral(KORVANE_STATUS_BINARY), args);
        const bool ok = p.waitForFinished(10000) && p.exitCode() == exitCode;
        if (err)
            *err = p.readAllStandardError();
        return ok ? p.readAllStandardOutput() : "exit " + QByteArray::number(p.exitCode());
    }

private Q_SLOTS:
    void init() { QDir(stateDir()).removeRecursively(); }

    void printsStatus_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tooltip");
        QTest::addColumn<QString>("cssClass");
        const QString none = QStringLiteral("No recent agent activity");
        QTest::newRow("no folder yet") << QStringList() << none << none << "unknown";
        QTest::newRow("working first, then newest first")
            << QStringList{"a.json idle 5 /p/a", "b.json working 60 /p/R&D", "c.json error 30 /p/c"}
            << u"Agent is working\u2026 (1 working, 1 idle, 1 error)"_qs
            << u"R&amp;D: Agent is working\u2026\na: Done \u2014 waiting for your input\n"
               u"c: Last turn ended with an error"_qs
            << "working";
    }
    void printsStatus()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, text);
        for (const QString& f : files)
            writeState(f);
        QCOMPARE(QString::fromUtf8(run({})), text + u'\n');
        const QByteArray json = run({QStringLiteral("--json")});
        QCOMPARE(json.count('\n'), 1);
        const QJsonObject o = QJsonDocument::fromJson(json).object();
        QCOMPARE(o.value(u"text").toString(), text);
        QTEST(o.value(u"tooltip").toString(), "tooltip");
        QTEST(o.value(u"class").toString(), "cssClass");
    }

    void badArgument()
    {
        QByteArray err;
        QCOMPARE(run({QStringLiteral("--json"), QStringLiteral("--bogus")}, 2, &err), QByteArray());
        QVERIFY2(err.count('\n') == 1 && err.contains("--bogus"), err.constData());
    }

    void followPrintsOnlyChanges()
    {
        QProcess p;
        p.start(QStringLiteral(KORVANE_STATUS_BINARY), {QStringLiteral("--follow")});
        QVERIFY(p.waitForReadyRead(10000));
        QCOMPARE(p.readLine(), QByteArray("No recent agent activity\n"));
        writeState(QStringLiteral("a.json working 5 /p/a"));
        QVERIFY(p.waitForReadyRead(5000));
        QCOMPARE(QString::fromUtf8(p.readLine()), u"Agent is working\u2026 (1 working)\n"_qs);
        writeState(QStringLiteral("a.json working 0 /p/a")); // only the time moves: nothing to print
        QVERIFY(!p.waitForReadyRead(2500));
        p.kill();
        p.waitForFinished();
    }
};

KORVANE_TEST_MAIN(TestKorvaneStatus)
#include "tst_korvanestatus.moc"
