// The hook script racing the application: writers replace state files by
// rename while the store refreshes. No pass may decode a half-written file or
// publish a state that no file held.
#include "FakeClock.h"
#include "TestMain.h"
#include "status/StatusStore.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace korvane;
using namespace korvane::test;

namespace {

constexpr double kNow = 1'800'000'000.0;
constexpr int kWriters = 4;
const char* const kStates[] = {"working", "pending", "waiting", "idle", "error"};

// What the writers have put in place, so that the reader can check each row.
class Ledger {
public:
    void add(const QString& conv, double ts, const QString& state)
    {
        const std::lock_guard lock(m_mutex);
        m_records.insert(key(conv, ts, state));
    }
    bool holds(const QString& conv, double ts, const QString& state) const
    {
        const std::lock_guard lock(m_mutex);
        return m_records.contains(key(conv, ts, state));
    }

private:
    static QString key(const QString& conv, double ts, const QString& state)
    {
        return conv + u'|' + QString::number(ts, 'g', 17) + u'|' + state;
    }
    mutable std::mutex m_mutex;
    QSet<QString> m_records;
};

bool writeAll(const QByteArray& path, const QByteArray& bytes)
{
    FILE* f = std::fopen(path.constData(), "wb");
    if (!f)
        return false;
    // Written in small pieces, so that a reader of the temporary file would
    // easily catch it half-way.
    bool ok = true;
    for (qsizetype at = 0; ok && at < bytes.size(); at += 64) {
        ok = std::fwrite(bytes.constData() + at, 1, std::size_t(std::min<qsizetype>(64, bytes.size() - at)),
                         f) == std::size_t(std::min<qsizetype>(64, bytes.size() - at));
        std::fflush(f);
    }
    return std::fclose(f) == 0 && ok;
}

// One writer: like the hook script, writes aside under a name the reader
// ignores, then renames over the conversation's file.
void writerLoop(int w, const QString& dir, Ledger& ledger, std::atomic<bool>& stop,
                std::atomic<long>& renames, std::atomic<bool>& failed)
{
    const QString conv = QStringLiteral("conv-%1").arg(w);
    const QByteArray target = QFile::encodeName(dir + u'/' + conv + QStringLiteral(".json"));
    const QByteArray temp = QFile::encodeName(dir + u'/' + conv + QStringLiteral(".json.tmp.%1").arg(w));
    const QByteArray ending = QFile::encodeName(dir + u'/' + conv + QStringLiteral("-end.json"));
    const QByteArray padding(700, 'p');
    for (long n = 0; !stop.load(); ++n) {
        const QString state = QString::fromLatin1(kStates[(n + w) % 5]);
        // The ledger keeps the value a reader parses back from the text.
        const QByteArray tsText = QByteArray::number(kNow - 5000 + n * 0.001 + w * 1000, 'f', 4);
        const double ts = tsText.toDouble();
        ledger.add(conv, ts, state);
        const QByteArray doc = "{\"padding\":\"" + padding + "\",\"state\":\"" + state.toLatin1() +
                               "\",\"ts\":" + tsText + ",\"workspace\":\"/w/" + QByteArray::number(w % 2) +
                               "\",\"conversation_id\":\"" + conv.toLatin1() + "\"}";
        if (!writeAll(temp, doc) || ::rename(temp.constData(), target.constData()) != 0) {
            failed = true;
            return;
        }
        ++renames;
        // A conversation that ends: its file comes and goes, so passes also
        // meet names that are gone by the time they are opened.
        const QByteArray endText = tsText + "5";
        ledger.add(conv + QStringLiteral("-end"), endText.toDouble(), QStringLiteral("idle"));
        const QByteArray endDoc =
            "{\"state\":\"idle\",\"ts\":" + endText + ",\"conversation_id\":\"" + conv.toLatin1() + "-end\"}";
        if (!writeAll(temp, endDoc) || ::rename(temp.constData(), ending.constData()) != 0 ||
            ::unlink(ending.constData()) != 0) {
            failed = true;
            return;
        }
    }
}

} // namespace

class TestStateRace : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void refreshWhileWritersRename()
    {
        FakeClock clock(kNow);
        StatusStore store(clock);
        const QString dir = store.stateDir();
        QVERIFY(QDir(dir).exists());

        Ledger ledger;
        std::atomic<bool> stop{false}, failed{false};
        std::atomic<long> renames{0};
        std::vector<std::thread> writers;
        for (int w = 0; w < kWriters; ++w)
            writers.emplace_back(writerLoop, w, dir, std::ref(ledger), std::ref(stop), std::ref(renames),
                                 std::ref(failed));
        const auto joinAll = qScopeGuard([&] {
            stop = true;
            for (std::thread& t : writers)
                t.join();
        });
        // Every writer has put its first file in place before the passes start.
        QTRY_VERIFY_WITH_TIMEOUT(renames.load() >= 4 * kWriters, 10000);

        for (int pass = 0; pass < 1000; ++pass) {
            store.refresh();
            const WindowStatusList& tabs = store.tabs();
            // A renamed file never vanishes from the listing, so every pass sees
            // the four conversations (and perhaps some that are ending).
            QStringList ids;
            for (const WindowStatus& tab : tabs)
                ids.append(tab.id);
            for (int w = 0; w < kWriters; ++w)
                QVERIFY2(ids.count(QStringLiteral("conv-%1").arg(w)) == 1,
                         qPrintable(QStringLiteral("pass %1 saw %2").arg(pass).arg(ids.join(u' '))));
            bool working = false, waiting = false;
            for (const WindowStatus& tab : tabs) {
                bool held = false;
                for (const char* s : kStates)
                    held = held || (ledger.holds(tab.id, tab.lastActivity, QString::fromLatin1(s)) &&
                                    StatusStore::resolve({QString::fromLatin1(s), tab.lastActivity, {}, {}},
                                                         kNow - tab.lastActivity) == tab.state);
                QVERIFY2(held, qPrintable(QStringLiteral("pass %1: tab %2 at %3 was never written")
                                              .arg(pass)
                                              .arg(tab.id)
                                              .arg(tab.lastActivity, 0, 'f', 3)));
                working = working || tab.state == AgentState::Working;
                waiting = waiting || tab.state == AgentState::Waiting;
            }
            // The overall state follows from the records this pass read.
            if (working)
                QCOMPARE(store.state(), AgentState::Working);
            else if (waiting)
                QCOMPARE(store.state(), AgentState::Waiting);
            QVERIFY(store.state() != AgentState::Unknown);
        }
        QVERIFY(!failed.load());
        qInfo("1000 passes against %ld renames", renames.load());
    }
};

KORVANE_TEST_MAIN(TestStateRace)
#include "tst_staterace.moc"
