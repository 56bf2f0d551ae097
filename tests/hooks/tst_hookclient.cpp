// The installed hook under the real Claude Code client, driven through whole turns
// by tests/harness against its fake model server, in a home whose path needs
// quoting. Skips, with the reason, without the client.

#include "TestMain.h"
#include "hooks/HookInstaller.h"
#include "status/StateRecord.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

using namespace korvane;
using nlohmann::json;

namespace {

const QString kHarness = QStringLiteral(KORVANE_SOURCE_DIR "/tests/harness/");

// client.sh claude-code COMMAND OUT ARGS...: its exit status, and its stderr in *err.
int harness(const QStringList& args, QByteArray* err = nullptr)
{
    QProcess p;
    p.start("/bin/sh", QStringList{kHarness + "client.sh", "claude-code"} + args);
    p.waitForFinished(180000);
    if (err)
        *err = p.readAllStandardError().trimmed();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

Q_DECLARE_METATYPE(nlohmann::json)

class TestHookClient : public QObject {
    Q_OBJECT
    QTemporaryDir m_work;

private Q_SLOTS:
    void initTestCase()
    {
        const QString home = m_work.filePath("it's a home");
        QVERIFY(QDir().mkpath(home + "/.claude"));
        qputenv("HOME", QFile::encodeName(home));
        qputenv("CLIENT_HOME", QFile::encodeName(home));
        QVERIFY(HookInstaller::install());
        QCOMPARE(harness({"record", m_work.path()}), 0);
    }

    // The client.sh commands of a turn, and the hook calls it makes, in this order
    // among others, with the state each leaves.
    void turn_data()
    {
        QTest::addColumn<json>("c");
        QFile table(KORVANE_HOOK_TEST_DATA "/client-turns.json");
        QVERIFY(table.open(QIODevice::ReadOnly));
        for (const json& c : json::parse(table.readAll().toStdString()))
            QTest::newRow(c["name"].get<std::string>().c_str()) << c;
    }
    void turn()
    {
        QFETCH(json, c);
        const QString out = m_work.filePath(QString::number(qHash(QTest::currentDataTag())));
        QFile log(m_work.filePath("calls"));
        log.remove();
        const auto stop = qScopeGuard([&] { harness({"stop", out}); });
        for (const json& step : c["steps"]) {
            QStringList args;
            for (const std::string arg : step)
                args << QString::fromStdString(arg);
            QByteArray err;
            const int rc = harness(QStringList{args.takeFirst(), out} + args, &err);
            if (rc == 77)
                QSKIP(err.constData());
            QVERIFY2(rc == 0, qPrintable(QString::fromStdString(step.dump()) + " failed " + err));
        }
        QVERIFY(log.open(QIODevice::ReadOnly));
        QStringList seen;
        for (const QByteArray& line : log.readAll().trimmed().split('\n')) {
            const QList<QByteArray> f = line.split('\t'); // event, status, bytes printed, state
            QCOMPARE(f.size(), 4);
            QCOMPARE(f[1] + f[2], "00"); // anything printed would reach the model
            const auto record = StateRecord::decode(f[3].trimmed());
            QVERIFY2(f[3] == "-" || (record && record->workspace == out + "/project"), f[3].constData());
            seen << f[0] + '=' + (record ? record->state : "-");
        }
        qsizetype at = 0;
        for (const std::string call : c["calls"]) {
            at = seen.indexOf(QString::fromStdString(call), at) + 1;
            QVERIFY2(at > 0, qPrintable(QString::fromStdString(call) + " not in " + seen.join(", ")));
        }
        QCOMPARE(seen.last().toStdString(), c["calls"].back());
    }
};

KORVANE_TEST_MAIN(TestHookClient)
#include "tst_hookclient.moc"
