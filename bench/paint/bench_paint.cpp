// Cost of painting the floating lights, against filling a plain rectangle of
// the same size. Run by hand: build/bench/paint/bench_paint [iterations]
#include "overlay/DotStripView.h"
#include "overlay/Lamps.h"
#include "overlay/LightHousing.h"
#include "overlay/LightStyle.h"
#include "overlay/OverlayGeometry.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/LightRows.h"
#include "status/StatusStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

using namespace korvane;

namespace {

constexpr double kScale = 3.0;

double threadCpuMicros()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Wall time and this thread's CPU time; on a shared machine the CPU time is
// the steadier figure.
struct Figures {
    double wall;
    double cpu;
};

Figures measure(int iterations, QImage& image, const std::function<void(QImage&)>& paint)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < iterations / 10; ++i) // warm caches and clocks first
        paint(image);
    for (int i = 0; i < iterations; ++i) {
        image.fill(Qt::transparent);
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = threadCpuMicros();
        paint(image);
        cpu.push_back(threadCpuMicros() - cpuStart);
        wall.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    return {median(wall), median(cpu)};
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The strip reads a store and the preferences; keep them away from the real home.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;

    LightHousing housing(AgentState::Working, kScale, std::nullopt, OverlayOrientation::Vertical);
    LightHousing captioned(AgentState::Idle, kScale, QStringLiteral("a-rather-long-project-name"),
                           OverlayOrientation::Vertical);
    const QSize size = housing.sizeHint();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QImage captionImage(captioned.sizeHint(), QImage::Format_ARGB32_Premultiplied);

    const Figures baseline = measure(iterations, image, [](QImage& img) {
        QPainter p(&img);
        p.fillRect(img.rect(), QColor(0, 0, 0, 209));
    });
    const Figures direct = measure(iterations, image, [&housing](QImage& img) {
        QPainter p(&img);
        LightStyle::paintPlate(p, housing.plateRect(), kScale);
        Lamps::paint(p, housing.lamps()->lampOrigin(), kScale, OverlayOrientation::Vertical,
                     Lamps::levelsFor(AgentState::Working));
    });
    const Figures widget = measure(iterations, image, [&housing](QImage& img) { housing.render(&img); });
    const Figures withCaption =
        measure(iterations, captionImage, [&captioned](QImage& img) { captioned.render(&img); });

    StatusStore store(SystemClock::instance());
    UserDefaults defaults(home.filePath(QStringLiteral("defaults.json")));
    const AppSettings settings(defaults);
    const LightRows rows(store, settings);
    DotStripView strip(rows, true, kScale, OverlayOrientation::Horizontal);
    QImage stripImage(strip.sizeHint(), QImage::Format_ARGB32_Premultiplied);
    const Figures stripBaseline = measure(iterations, stripImage, [](QImage& img) {
        QPainter p(&img);
        p.fillRect(img.rect(), QColor(0, 0, 0, 209));
    });
    const Figures stripCost = measure(iterations, stripImage, [&strip](QImage& img) { strip.render(&img); });

    std::printf("Painting one light at scale %.1f (%dx%d px), median of %d runs\n", kScale, size.width(),
                size.height(), iterations);
    std::printf("%-42s %12s %7s %12s %7s\n", "", "wall med us", "ratio", "cpu med us", "ratio");
    const auto row = [](const char* name, Figures f, Figures base) {
        std::printf("%-42s %12.1f %6.1fx %12.1f %6.1fx\n", name, f.wall, f.wall / base.wall, f.cpu,
                    f.cpu / base.cpu);
    };
    row("baseline: fill a rect of the same size", baseline, baseline);
    row("plate + lamps + glow, painted directly", direct, baseline);
    row("housing widget, render()", widget, baseline);
    row("housing with caption, render()", withCaption, baseline);
    std::printf("\nPlaceholder strip at scale %.1f (%dx%d px)\n", kScale, stripImage.width(),
                stripImage.height());
    row("baseline: fill a rect of the same size", stripBaseline, stripBaseline);
    row("strip widget with one dot, render()", stripCost, stripBaseline);
    std::printf("\ngoal: housing render() <= 1000 us (cpu median) -> %s\n",
                widget.cpu <= 1000 ? "met" : "NOT met");
    return 0;
}
