// Cost of one status pass against the cost of merely reading the same files,
// and the delay from a state file appearing to its publication.
//
//   bench_refresh [--passes-only] [reps-scale]
//
// Build with -DCMAKE_BUILD_TYPE=Release for meaningful figures.

#include "platform/Clock.h"
#include "status/StatusStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace korvane;
using Steady = std::chrono::steady_clock;

namespace {

class FixedClock final : public Clock {
public:
    double now() const override { return m_now; }
    double m_now = 1'800'000'000.0;
};

double micros(Steady::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

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
    return R"({"conversation_id":")" + conv +
           R"(","event":"afterAgentResponse","source":"cursor","state":")" + states[i % 6] + R"(","ts":)" +
           QByteArray::number(ts, 'f', 3) + R"(,"workspace":")" + ws + "\"}\n";
}

void writeFiles(const QString& dir, int n, double now)
{
    QDir d(dir);
    for (const QString& name : d.entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden))
        d.remove(name);
    for (int i = 0; i < n; ++i) {
        QFile f(dir + QStringLiteral("/conv-%1.json").arg(i));
        if (!f.open(QIODevice::WriteOnly) || f.write(stateFile(i, now)) < 0)
            qFatal("cannot write state file");
    }
}

// The floor: open, read and close every state file, nothing else. A read that
// returns less than it asked for marks the end, as in the pass.
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

// The floor plus the directory listing that finds the files.
std::size_t listAndReadAll(const QByteArray& dir)
{
    static char buf[1 << 16];
    std::size_t total = 0;
    DIR* d = ::opendir(dir.constData());
    const int dfd = ::dirfd(d);
    while (const dirent* ent = ::readdir(d)) {
        if (ent->d_name[0] == '.')
            continue;
        const int fd = ::openat(dfd, ent->d_name, O_RDONLY | O_CLOEXEC);
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
    ::closedir(d);
    return total;
}

void passVersusFloor(StatusStore& store, FixedClock& clock, int scale)
{
    std::printf("median of each; CPU = this thread's user+system time, wall = elapsed time\n");
    std::printf("%6s  %13s  %13s  %6s   %13s  %13s  %6s   %6s\n", "files", "refresh CPU", "floor CPU",
                "ratio", "refresh wall", "floor wall", "ratio", "list+floor CPU ratio");
    const QByteArray dir = QFile::encodeName(store.stateDir());
    for (int n : {10, 100, 1000}) {
        writeFiles(store.stateDir(), n, clock.m_now);
        std::vector<std::string> names;
        for (int i = 0; i < n; ++i)
            names.push_back("conv-" + std::to_string(i) + ".json");
        const int reps = std::max(30, scale * 20000 / n);
        for (int i = 0; i < 5; ++i) { // warm the caches and publish once
            store.refresh();
            readAll(dir, names);
        }
        std::vector<double> pass, floor, passCpu, floorCpu, listCpu;
        volatile std::size_t sink = 0;
        for (int r = 0; r < reps; ++r) {
            // Interleaved, so that both see the same machine at the same moment.
            const double c0 = threadMicros();
            const auto t0 = Steady::now();
            store.refresh();
            const auto t1 = Steady::now();
            const double c1 = threadMicros();
            sink = sink + readAll(dir, names);
            const auto t2 = Steady::now();
            const double c2 = threadMicros();
            sink = sink + listAndReadAll(dir);
            listCpu.push_back(threadMicros() - c2);
            pass.push_back(micros(t1 - t0));
            floor.push_back(micros(t2 - t1));
            passCpu.push_back(c1 - c0);
            floorCpu.push_back(c2 - c1);
        }
        const double p = median(pass), f = median(floor);
        const double pc = median(passCpu), fc = median(floorCpu);
        std::printf("%6d  %10.1f us  %10.1f us  %6.2f   %10.1f us  %10.1f us  %6.2f   %6.2f\n", n, pc, fc,
                    pc / fc, p, f, p / f, median(listCpu) / fc);
        if (store.tabs().isEmpty())
            qFatal("the pass saw no tabs");
    }
}

// From rename() into the directory to tabsChanged, through the watcher.
void renameLatency(StatusStore& store, FixedClock& clock, int background, int samples)
{
    writeFiles(store.stateDir(), background, clock.m_now);
    store.start();
    QEventLoop loop;
    Steady::time_point published;
    QObject::connect(&store, &StatusStore::tabsChanged, &loop, [&] {
        published = Steady::now();
        loop.quit();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(1); });

    std::vector<double> delays;
    const QByteArray dir = QFile::encodeName(store.stateDir());
    for (int i = 0; i < samples; ++i) {
        // Land somewhere between two timer ticks.
        QTimer::singleShot(37 + (i * 53) % 400, &loop, &QEventLoop::quit);
        loop.exec();
        const QByteArray tmp = dir + "/.incoming.tmp";
        const QByteArray dst = dir + "/renamed-" + QByteArray::number(i) + ".json";
        QFile f(QFile::decodeName(tmp));
        if (!f.open(QIODevice::WriteOnly) || f.write(stateFile(100000 + i, clock.m_now)) < 0)
            qFatal("cannot write state file");
        f.close();
        const auto t0 = Steady::now();
        if (::rename(tmp.constData(), dst.constData()) != 0)
            qFatal("rename failed");
        guard.start(3000);
        if (loop.exec() != 0)
            qFatal("no publication within 3 s");
        guard.stop();
        delays.push_back(micros(published - t0) / 1000.0);
    }
    store.stop();
    std::sort(delays.begin(), delays.end());
    std::printf("rename -> published, %d files present, %d renames: median %.2f ms, max %.2f ms\n",
                background, samples, median(delays), delays.back());
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", QFile::encodeName(home.path()));
    QCoreApplication app(argc, argv);
    bool passesOnly = false;
    int scale = 1;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--passes-only") == 0)
            passesOnly = true;
        else
            scale = std::max(1, std::atoi(argv[i]));
    }

    FixedClock clock;
    {
        StatusStore store(clock);
        passVersusFloor(store, clock, scale);
    }
    if (passesOnly)
        return 0;
    for (int background : {100, 1000}) {
        StatusStore store(clock);
        renameLatency(store, clock, background, 30);
    }
    return 0;
}
