// A writer killed with SIGKILL at a random moment never leaves a torn file:
// every file the user cares about is always the old or the new whole document.
#include "Faults.h"
#include "TestMain.h"
#include "platform/UserDefaults.h"

#if __has_include("hooks/HookInstaller.h")
#include "hooks/HookInstaller.h"
#define KORVANE_HAVE_HOOKS 1
#endif

#include <QDir>
#include <QElapsedTimer>
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

// Starts the child and kills it after a random delay of up to maxDelayMs,
// counted from its first completed write (or from its start), then waits for
// it to be gone.
void killDuringLoop(const QStringList& args, int maxDelayMs, bool afterFirstWrite = true)
{
    QProcess child;
    child.start(QStringLiteral(KORVANE_CHILD), args);
    QVERIFY2(child.waitForStarted(10000), qPrintable(child.errorString()));
    if (afterFirstWrite)
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

    // install() rewrites the script, hooks.json and settings.json on every run.
    void hookFiles()
    {
#ifndef KORVANE_HAVE_HOOKS
        QSKIP("the hook installer is not part of this build");
#else
        const QString home = QDir::homePath();
        QVERIFY(QDir().mkpath(home + QStringLiteral("/.cursor/hooks")));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/.claude")));
        // Large members make every rewrite take several writes.
        const std::string big(512 * 1024, 'u');
        json cursorSeed = {{"version", 3}, {"mine", big}};
        cursorSeed["hooks"]["stop"] = json::array({json{{"command", "./hooks/other.sh"}}});
        json claudeSeed = {{"env", {{"KEEP", big}}},
                           {"permissions", {{"allow", json::array({"Bash(ls:*)"})}}}};
        const QByteArray oldScript = "#!/bin/sh\n# an older script\nexit 0\n";

        json cursorMerged = cursorSeed;
        HookInstaller::mergeCursorHooks(cursorMerged);
        json claudeMerged = claudeSeed;
        HookInstaller::mergeClaudeHooks(claudeMerged, HookInstaller::scriptPath().toStdString());
        const QByteArray newScript = readBytes(QString::fromLatin1(HookInstaller::kScriptResource));
        QVERIFY(!newScript.isEmpty());

        const auto writeSeeds = [&] {
            QVERIFY(
                writeBytes(HookInstaller::cursorConfigPath(), QByteArray::fromStdString(cursorSeed.dump(1))));
            QVERIFY(writeBytes(HookInstaller::claudeSettingsPath(),
                               QByteArray::fromStdString(claudeSeed.dump(1))));
            QVERIFY(writeBytes(HookInstaller::scriptPath(), oldScript));
        };

        // How long the child takes to finish its first install, so that the
        // kills spread over start-up, the first rewrite and the later ones.
        int firstWriteMs = 0;
        {
            writeSeeds();
            QProcess child;
            QElapsedTimer clock;
            clock.start();
            child.start(QStringLiteral(KORVANE_CHILD), {QStringLiteral("hooks-loop")});
            QVERIFY(child.waitForReadyRead(20000));
            firstWriteMs = int(clock.elapsed());
            child.kill();
            child.waitForFinished();
        }

        int merged = 0;
        for (int round = 0; round < 40; ++round) {
            // Every round starts from the user's files, so that the kill can
            // also land in the first rewrite, the one that changes them.
            writeSeeds();
            killDuringLoop({QStringLiteral("hooks-loop")}, 2 * firstWriteMs, false);
            if (QTest::currentTestFailed())
                return;
            const QString where = QStringLiteral("round %1").arg(round);
            const json cursor = parse(readBytes(HookInstaller::cursorConfigPath()));
            QVERIFY2(cursor == cursorSeed || cursor == cursorMerged, qPrintable(where + ": torn hooks.json"));
            const json claude = parse(readBytes(HookInstaller::claudeSettingsPath()));
            QVERIFY2(claude == claudeSeed || claude == claudeMerged,
                     qPrintable(where + ": torn settings.json"));
            const QByteArray script = readBytes(HookInstaller::scriptPath());
            QVERIFY2(script == oldScript || script == newScript, qPrintable(where + ": torn script"));
            merged += cursor == cursorMerged;
        }
        qInfo("first install after %d ms; hooks.json was the merged document after %d of 40 kills",
              firstWriteMs, merged);
        // Nothing was mistaken for a damaged file and set aside.
        QVERIFY(QDir(home + QStringLiteral("/.cursor")).entryList({QStringLiteral("*backup*")}).isEmpty());
        QVERIFY(QDir(home + QStringLiteral("/.claude")).entryList({QStringLiteral("*backup*")}).isEmpty());
#endif
    }
};

KORVANE_TEST_MAIN(TestKilledWriters)
#include "tst_killedwriters.moc"
