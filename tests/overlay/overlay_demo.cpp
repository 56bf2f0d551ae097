// Shows the floating lights on the current display, for looking at them by hand
// and for tests/overlay/screenshots.sh. Not a CTest test.
//
//   overlay_demo [--mode combined|perWindow|row] [--scale S] [--horizontal]
//                [--no-labels] [--per-tab] [--quit-after MS]
//
// Reads the state files under $HOME/.cursor/signalwick/state and keeps its
// preferences in $HOME/.config/Korvane/defaults.json, as the program does: run
// it with HOME pointing at a scratch folder.
#include "overlay/OverlayPanel.h"
#include "overlay/TrafficLightOverlay.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "status/StatusStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

using namespace korvane;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    const QCommandLineOption mode("mode", "Layout.", "mode", "combined");
    const QCommandLineOption scale("scale", "Size factor.", "scale", "1");
    const QCommandLineOption horizontal("horizontal", "Lamps in a row.");
    const QCommandLineOption noLabels("no-labels", "No captions.");
    const QCommandLineOption perTab("per-tab", "One light per tab.");
    const QCommandLineOption quitAfter("quit-after", "Quit after this many ms.", "ms");
    parser.addOptions({mode, scale, horizontal, noLabels, perTab, quitAfter});
    parser.addHelpOption();
    parser.process(app);

    UserDefaults defaults(UserDefaults::standardPath());
    AppSettings settings(defaults);
    settings.setOverlayMode(overlayModeFromRaw(parser.value(mode)).value_or(OverlayMode::Combined));
    settings.setScale(parser.value(scale).toDouble());
    settings.setOrientation(parser.isSet(horizontal) ? OverlayOrientation::Horizontal
                                                     : OverlayOrientation::Vertical);
    settings.setShowLabels(!parser.isSet(noLabels));
    settings.setPerTab(parser.isSet(perTab));

    StatusStore store;
    store.start();
    TrafficLightOverlay overlay(store, settings, defaults);
    defaults.setBool(TrafficLightOverlay::visibleKey(), true);
    overlay.rebuild();

    // Once the queued deliveries of the settings above have run, say where the panels are.
    QTimer::singleShot(OverlayPanel::kResyncDelayMs + 200, &app, [&overlay] {
        QList<OverlayPanel*> panels = overlay.windowPanels().values();
        panels << overlay.combinedPanel() << overlay.rowPanel();
        for (const OverlayPanel* panel : panels) {
            if (panel)
                std::printf("panel %s at %d,%d size %dx%d masked=%d\n", qPrintable(panel->originKey()),
                            panel->x(), panel->y(), panel->width(), panel->height(), panel->isShapeMasked());
        }
        std::fflush(stdout);
    });
    if (parser.isSet(quitAfter))
        QTimer::singleShot(parser.value(quitAfter).toInt(), &app, &QCoreApplication::quit);
    return QApplication::exec();
}
