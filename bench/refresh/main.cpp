// What a status pass costs against merely reading the same files, how long the
// event loop stalls while the hook script renames files into a crowded state
// directory, and how soon one renamed file is published; the last two beside
// their goals.
//
//   bench_refresh [reps-scale]
//
// Build with -DCMAKE_BUILD_TYPE=Release for meaningful figures.

#include "platform/Clock.h"
#include "status/StateDirectory.h"
#include "status/StateRecord.h"
#include "status/StatusRules.h"
#include "status/StatusStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace korvane;

namespace {

constexpr int kFiles = 1000;
// One change after a quiet spell is on screen at once; a burst never freezes the lights.
constexpr double kLatencyGoalMs = 5;
constexpr double kStallGoalMs = 20;

class FixedClock final : public Clock {
public:
    double now() const override { return m_now; }
    double m_now = 1'800'000'000.0;
};

// CPU time of this thread (user and system), in microseconds. The machine may
// be shared: wall time also counts the moments another process had the core.
double threadMicros()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// A state file as the hook script writes it: a few workspaces with several
// conversations each, most of them recent.
QByteArray stateFile(int i, double now)
{
    static const char* const states[] = {"working", "idle", "waiting", "pending", "error", "idle"};
    const QByteArray ws = "/home/dev/src/project-" + QByteArray::number(i % 23);
    const QByteArray conv = "c0ffee" + QByteArray::number(100000 + i) + "-4e1f-9a7b-2d5c0b1e" +
                            QByteArray::number(i * 7919 % 100000);
    const double ts = now - (i * 37 % 5400) - 0.25;
    return R"({"agent":"cursor","conversation_id":")" + conv +
           R"(","event":"afterAgentResponse","source":"cursor","state":")" + states[i % 6] + R"(","ts":)" +
           QByteArray::number(ts, 'f', 3) + R"(,"workspace":")" + ws + "\"}\n";
}

QString fileName(const QString& dir, int i)
{
    return dir + QStringLiteral("/conv-%1.json").arg(i);
}

// Written aside and renamed into place, as the hook script does.
void put(const QString& path, const QByteArray& content)
{
    const QString tmp = path + QStringLiteral(".tmp");
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qFatal("cannot write state file");
    f.close();
    if (::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()) != 0)
        qFatal("rename failed");
}

void writeFiles(const QString& dir, int n, double now)
{
    QDir d(dir);
    for (const QString& name : d.entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden))
        d.remove(name);
    for (int i = 0; i < n; ++i)
        put(fileName(dir, i), stateFile(i, now));
}

// The floor: open, read and close every state file, nothing else.
std::size_t readAll(const QByteArray& dir, const std::vector<std::string>& names)
{
    static char buf[1 << 16];
    std::size_t total = 0;
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const std::string& name : names) {
        const int fd = ::openat(dfd, name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0) {
            total += static_cast<std::size_t>(n);
            if (static_cast<std::size_t>(n) < sizeof buf)
                break;
        }
        ::close(fd);
    }
    ::close(dfd);
    return total;
}

struct Timing {
    double cpu;
    double wall;
};

template <typename F> Timing timed(F&& f)
{
    const double c0 = threadMicros();
    QElapsedTimer wall;
    wall.start();
    f();
    return {threadMicros() - c0, double(wall.nsecsElapsed()) / 1e3};
}

void printRow(const char* what, const std::vector<Timing>& t, double floorCpu, double floorWall)
{
    std::vector<double> cpu, wall;
    for (const Timing& x : t) {
        cpu.push_back(x.cpu);
        wall.push_back(x.wall);
    }
    const double c = median(cpu), w = median(wall);
    std::printf("  %-34s %9.1f us CPU  %5.2f of the floor   %9.1f us wall  %5.2f\n", what, c, c / floorCpu, w,
                w / floorWall);
}

// Unchanged passes and passes after one file changed, interleaved with the floor.
void passVersusFloor(int scale)
{
    FixedClock clock;
    StatusStore store(clock);
    const QString dir = store.stateDir();
    writeFiles(dir, kFiles, clock.m_now);
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i)
        names.push_back("conv-" + std::to_string(i) + ".json");
    const QByteArray dirBytes = QFile::encodeName(dir);
    volatile std::size_t sink = 0;
    for (int i = 0; i < 5; ++i) { // warm the caches and publish once
        store.refresh();
        sink = sink + readAll(dirBytes, names);
    }
    if (store.tabs().isEmpty())
        qFatal("the pass saw no tabs");

    StateDirectory listing(dir);
    const auto files = listing.scan(clock.m_now);
    std::vector<StatusRules::Input> inputs;
    for (const StateDirectory::File& f : *files)
        inputs.push_back({*f.record, *f.baseName});
    std::vector<Timing> floor, unchanged, oneChanged, scanOnly, rulesOnly;
    const int reps = 60 * scale;
    for (int r = 0; r < reps; ++r) {
        floor.push_back(timed([&] { sink = sink + readAll(dirBytes, names); }));
        scanOnly.push_back(timed([&] { sink = sink + listing.scan(clock.m_now)->size(); }));
        rulesOnly.push_back(timed(
            [&] { sink = sink + std::size_t(StatusRules::evaluate(inputs, clock.m_now).tabs.size()); }));
        unchanged.push_back(timed([&] { store.refresh(); }));
        const int i = (r * 37) % kFiles;
        put(fileName(dir, i), stateFile(i + 1, clock.m_now));
        oneChanged.push_back(timed([&] { store.refresh(); }));
    }
    std::vector<double> fc, fw;
    for (const Timing& x : floor) {
        fc.push_back(x.cpu);
        fw.push_back(x.wall);
    }
    const double floorCpu = median(fc), floorWall = median(fw);
    std::printf("pass over %d state files, median of %d; the floor is opening, reading and closing them:\n",
                kFiles, reps);
    std::printf("  %-34s %9.1f us CPU                       %9.1f us wall\n", "floor", floorCpu, floorWall);
    printRow("unchanged directory", unchanged, floorCpu, floorWall);
    printRow("one file replaced", oneChanged, floorCpu, floorWall);
    printRow("of which: listing and stat", scanOnly, floorCpu, floorWall);
    printRow("of which: the rules", rulesOnly, floorCpu, floorWall);
    std::printf("  (one file of the floor: %.1f us CPU)\n", floorCpu / kFiles);
}

// The longest the event loop waits while 500 renames land in a directory of
// 1000 files, each waking the directory watcher.
void stallDuringRenames()
{
    FixedClock clock;
    StatusStore store(clock);
    const QString dir = store.stateDir();
    writeFiles(dir, kFiles, clock.m_now);
    store.start();

    constexpr int kTickMs = 2;
    QElapsedTimer sinceTick;
    qint64 worstNs = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(kTickMs);
    // Wall time between ticks also counts the moments another process had the
    // core; this thread's CPU time between them is what the pass itself took.
    double cpuAtTick = threadMicros(), worstCpu = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worstNs = std::max(worstNs, sinceTick.nsecsElapsed());
        sinceTick.restart();
        const double cpu = threadMicros();
        worstCpu = std::max(worstCpu, cpu - cpuAtTick);
        cpuAtTick = cpu;
    });
    int passes = 0;
    QObject::connect(&store, &StatusStore::changed, [&] { ++passes; });

    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int n = 0; n < 500; ++n) {
            put(fileName(dir, n % kFiles), stateFile(n + 7, clock.m_now));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done)
            loop.quit();
    });
    poll.start(20);
    sinceTick.start();
    tick.start();
    loop.exec();
    writer.join();
    QTimer::singleShot(200, &loop, &QEventLoop::quit); // the last burst's pass
    loop.exec();
    store.stop();
    const double stall = double(worstNs) / 1e6 - kTickMs, stallCpu = worstCpu / 1000;
    std::printf("500 renames into %d files: %d publications; longest event-loop stall %.1f ms wall, %.1f ms "
                "of this thread's CPU (goal %.0f ms: ratio %.2f wall, %.2f CPU; gaps between %d ms ticks, "
                "wall less the tick)\n",
                kFiles, passes, stall, stallCpu, kStallGoalMs, stall / kStallGoalMs, stallCpu / kStallGoalMs,
                kTickMs);
}

// From rename() into the directory to the publication, through the watcher.
void renameLatency(int samples)
{
    FixedClock clock;
    StatusStore store(clock);
    writeFiles(store.stateDir(), kFiles, clock.m_now);
    store.start();
    QEventLoop loop;
    std::chrono::steady_clock::time_point published;
    QObject::connect(&store, &StatusStore::changed, &loop, [&] {
        published = std::chrono::steady_clock::now();
        loop.quit();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    std::vector<double> delays;
    for (int i = 0; i < samples; ++i) {
        QTimer::singleShot(37 + (i * 53) % 400, &loop, &QEventLoop::quit); // somewhere between two ticks
        loop.exec();
        const auto t0 = std::chrono::steady_clock::now();
        put(store.stateDir() + QStringLiteral("/renamed-%1.json").arg(i), stateFile(100000 + i, clock.m_now));
        guard.start(3000);
        if (loop.exec() != 0)
            qFatal("no publication within 3 s");
        guard.stop();
        delays.push_back(std::chrono::duration<double, std::milli>(published - t0).count());
    }
    store.stop();
    const double m = median(delays);
    std::printf(
        "rename -> published, %d files present: median %.2f ms (goal %.0f ms, ratio %.2f), max %.1f ms\n",
        kFiles, m, kLatencyGoalMs, m / kLatencyGoalMs, *std::max_element(delays.begin(), delays.end()));
}

// Field 22 of /proc/self/stat: this process's start time, as the registry names it.
QByteArray ownStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    const QByteArray self = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    return self.mid(self.lastIndexOf(')') + 2).split(' ').value(19);
}

// A pass with ten live Claude Code sessions in the registry against the same
// pass without the registry folder, over ten and over a thousand state files.
void registryCost(int scale)
{
    FixedClock clock;
    const QString sessions = QDir::homePath() + QStringLiteral("/.claude/sessions");
    std::printf("ten live sessions in the registry, median CPU of a pass (unchanged files):\n");
    for (int n : {10, kFiles}) {
        StatusStore store(clock);
        writeFiles(store.stateDir(), n, clock.m_now);
        for (int i = 0; i < 10; ++i)
            put(fileName(store.stateDir(), i), R"({"agent":"claude-code","conversation_id":"s-)" +
                                                   QByteArray::number(i) + R"(","state":"idle","ts":)" +
                                                   QByteArray::number(clock.m_now - 30, 'f', 3) +
                                                   R"(,"workspace":"/home/dev/src/cc"})");
        std::vector<double> without, with;
        for (int r = 0; r < 40 * scale; ++r) {
            QDir(sessions).removeRecursively();
            store.refresh();
            without.push_back(timed([&] { store.refresh(); }).cpu);
            QDir().mkpath(sessions);
            for (int i = 0; i < 10; ++i)
                put(sessions + QStringLiteral("/%1.json").arg(90000 + i),
                    R"({"pid":)" + QByteArray::number(::getpid()) + R"(,"sessionId":"s-)" +
                        QByteArray::number(i) + R"(","procStart":")" + ownStart() +
                        R"(","version":"2.1.328","status":"busy","statusUpdatedAt":)" +
                        QByteArray::number((clock.m_now - 1) * 1000, 'f', 0) + "}");
            store.refresh();
            with.push_back(timed([&] { store.refresh(); }).cpu);
        }
        if (store.state() != AgentState::Working)
            qFatal("the registry was not applied");
        const double a = median(without), b = median(with);
        std::printf("  %4d state files: %8.1f us without, %8.1f us with: +%.1f %%\n", n, a, b,
                    (b / a - 1) * 100);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", QFile::encodeName(home.path()));
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    passVersusFloor(scale);
    registryCost(scale);
    stallDuringRenames();
    renameLatency(20);
    return 0;
}
