// A writer killed with SIGKILL at a random moment never leaves a torn file:
// every file the user cares about is always the old or the new whole document.
#include "Faults.h"
#include "TestMain.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

using namespace korvane;
using namespace korvane::test;
using nlohmann::json;

namespace {

json parse(const QByteArray& bytes)
{
    return json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
}

// Starts the child, lets it reach its loop, kills it after a random delay of up
// to maxDelayMs and waits for it to be gone.
void killDuringLoop(const QStringList& args, int maxDelayMs)
{
    QProcess child;
    child.start(QStringLiteral(KORVANE_CHILD), args);
    QVERIFY2(child.waitForStarted(10000), qPrintable(child.errorString()));
    QVERIFY2(child.waitForReadyRead(20000), "the writer never completed a first write");
    const int delayUs = int(QRandomGenerator::global()->bounded(maxDelayMs * 1000 + 1));
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
    child.kill();
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
}

} // namespace

class TestKilledWriters : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaultsFile_data()
    {
        QTest::addColumn<int>("payload");
        QTest::addColumn<int>("rounds");
        QTest::newRow("small document") << 64 << 60;
        QTest::newRow("document of 1 MiB") << 1024 * 1024 << 40;
    }
    void defaultsFile()
    {
        QFETCH(int, payload);
        QFETCH(int, rounds);
        const QString dir = QDir::homePath() + QStringLiteral("/defaults-") + QString::number(payload);
        const QString path = dir + QStringLiteral("/defaults.json");
        {
            UserDefaults seed(path);
            QVERIFY(seed.setBool(QStringLiteral("KorvaneHasLaunched"), true));
            QVERIFY(seed.setString(QStringLiteral("OverlayOrigin::/a b/c"), QStringLiteral("{1, 2}")));
            QVERIFY(seed.setString(QStringLiteral("Payload"), QString()));
        }
        const std::string a(std::size_t(payload), 'a');
        const std::string b(std::size_t(payload), 'b');

        for (int round = 0; round < rounds; ++round) {
            killDuringLoop({QStringLiteral("defaults-loop"), path, QString::number(payload)}, 30);
            if (QTest::currentTestFailed())
                return;
            const json doc = parse(readBytes(path));
            QVERIFY2(doc.is_object(), qPrintable(QStringLiteral("round %1: torn file").arg(round)));
            QCOMPARE(doc.size(), std::size_t(3));
            QCOMPARE(doc.value("KorvaneHasLaunched", false), true);
            QCOMPARE(QString::fromStdString(doc.value("OverlayOrigin::/a b/c", std::string())),
                     QStringLiteral("{1, 2}"));
            const std::string value = doc.value("Payload", std::string("missing"));
            QVERIFY2(value.empty() || value == a || value == b,
                     qPrintable(QStringLiteral("round %1: Payload is neither document").arg(round)));
        }

        // The survivor loads as it is: nothing is set aside as unreadable.
        UserDefaults after(path);
        QVERIFY(after.setBool(QStringLiteral("KorvaneHasLaunched"), false));
        QVERIFY(!QFileInfo::exists(path + QStringLiteral(".bad")));
        QStringList leftovers = QDir(dir).entryList(QDir::Files | QDir::Hidden);
        leftovers.removeAll(QStringLiteral("defaults.json"));
        qInfo("%lld temporary files left behind by %d kills", qlonglong(leftovers.size()), rounds);
    }
};

KORVANE_TEST_MAIN(TestKilledWriters)
#include "tst_killedwriters.moc"
