#pragma once

#include "status/AgentState.h"

#include <QColor>
#include <QEasingCurve>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;

namespace korvane {

// The drawing shared by the floating lights: the plate, the caption, a lamp or
// dot with its glow, and the change animation. Sizes come from OverlayGeometry.
struct LightStyle {
    static constexpr double kDimOpacity = 0.16;
    static constexpr double kPlateOpacity = 0.82;
    static constexpr double kPlateStrokeOpacity = 0.12;
    static constexpr double kLampStrokeOpacity = 0.5;
    static constexpr double kGlowOpacity = 0.9;
    static constexpr double kCaptionOpacity = 0.85;
    static constexpr int kStateAnimationMs = 180;

    // The caption font: the system font at 10*scale px, medium weight.
    static QFont captionFont(double scale);
    // Whole pixels of one caption line. Painting and panel sizing both use this,
    // so a caption always fits the panel made for it.
    static int captionLineHeight(double scale);
    // The caption cut in the middle when it is wider than the caption frame.
    static QString elidedCaption(const QString& text, double scale);

    // The three lamps, top (or left) first: red, orange, green.
    static QColor lampColor(int lamp);
    // Which lamp a state lights (-1: none).
    static int litLamp(AgentState state);

    // Ease-in-out as the lights use it for state changes.
    static QEasingCurve stateEasing();

    // The dark rounded plate behind a housing or a strip, `rect` being the padded content.
    static void paintPlate(QPainter& painter, const QRectF& rect, double scale);
    // One caption line, centred in a frame of the caption width starting at `frameTopLeft`.
    static void paintCaption(QPainter& painter, const QPointF& frameTopLeft, const QString& text,
                             double scale);
    // A lamp or dot centred at `center`: the glow of `color` at `glow` (0 to 1)
    // under a body filled with `color` at `fillOpacity` and stroked.
    static void paintLight(QPainter& painter, const QPointF& center, double scale, const QColor& color,
                           double fillOpacity, double glow);
    // The glow alone, at `opacity` (0 to 1).
    static void paintGlow(QPainter& painter, const QPointF& center, double scale, const QColor& color,
                          double opacity);
    // The body alone (fill and stroke), the whole of it at `opacity`; fades cross-fade bodies.
    static void paintBody(QPainter& painter, const QPointF& center, double scale, const QColor& color,
                          double fillOpacity, double opacity = 1.0);

    // How far a glow reaches beyond the light's edge, in logical pixels.
    static double glowReach(double scale);
};

} // namespace korvane
