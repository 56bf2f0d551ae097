#include "overlay/OverlayGeometry.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane {

namespace {

int roundUp(double v)
{
    return static_cast<int>(std::ceil(v));
}

// Keeps a parsed coordinate inside int range (a stored 1e300 must not be UB);
// the window system clips far sooner anyway.
int toCoordinate(double v)
{
    constexpr double kLimit = 1'000'000;
    if (!std::isfinite(v))
        return 0;
    return static_cast<int>(std::lround(std::clamp(v, -kLimit, kLimit)));
}

} // namespace

QSizeF OverlayGeometry::lampsSize(double s, OverlayOrientation orientation)
{
    if (orientation == OverlayOrientation::Horizontal)
        return {kLampRun * s, kLampDiameter * s};
    return {kLampDiameter * s, kLampRun * s};
}

QSizeF OverlayGeometry::housingContentSize(double s, bool hasLabel, OverlayOrientation orientation,
                                           int lineHeight)
{
    const QSizeF lamps = lampsSize(s, orientation);
    double w = lamps.width();
    const double h = lamps.height();
    double c = 0;
    if (hasLabel) {
        if (w <= kLabelWidth * s)
            w = kLabelWidth * s;
        c = kLabelSpacing * s + lineHeight;
    }
    const double p = kHousingPadding * s;
    // The additions keep the order of the layout pass so that rounding matches.
    return {p + (p + w), p + ((p + h) + c)};
}

QSizeF OverlayGeometry::rowContentSize(double s, int count, bool hasLabel, OverlayOrientation orientation,
                                       int lineHeight)
{
    const int k = count < 2 ? 1 : count;
    double cw = kLampDiameter * s;
    double c = 0;
    if (hasLabel) {
        cw = std::max(cw, kLabelWidth * s);
        c = kLabelSpacing * s + lineHeight;
    }
    const double ch = kLampDiameter * s + c;
    const double g = kDotSpacing * s * (k - 1);
    double w = cw;
    double h = ch * k + g;
    if (orientation == OverlayOrientation::Horizontal) {
        w = cw * k + g;
        h = ch;
    }
    const double px = kStripPaddingX * s;
    const double py = kStripPaddingY * s;
    return {px + (px + w), py + (py + h)};
}

QSize OverlayGeometry::housingSize(double s, bool hasLabel, OverlayOrientation orientation, int lineHeight)
{
    const QSizeF c = housingContentSize(s, hasLabel, orientation, lineHeight);
    return {roundUp(c.width()) + kPanelMargin, roundUp(c.height()) + kPanelMargin};
}

QSize OverlayGeometry::rowSize(double s, int count, bool hasLabel, OverlayOrientation orientation,
                               int lineHeight)
{
    const QSizeF c = rowContentSize(s, count, hasLabel, orientation, lineHeight);
    return {roundUp(c.width()) + kPanelMargin, roundUp(c.height()) + kPanelMargin};
}

QPoint OverlayGeometry::defaultOrigin(const QRect& available, QSize size, int slot)
{
    const int w = size.width();
    const int h = size.height();
    const int perLine = std::max(1, (available.width() - kEdgeInset - w) / (w + kSlotGap) + 1);
    const int lines = std::max(1, (available.height() - kTopInset - h) / (h + kSlotGap) + 1);
    const int column = slot % perLine;
    const int line = slot / perLine % lines;
    // QRect::right() is one less than the edge; the edge is left + width.
    const int edge = available.x() + available.width();
    return {edge - w - kEdgeInset - (w + kSlotGap) * column,
            available.y() + kTopInset + (h + kSlotGap) * line};
}

QRect OverlayGeometry::screenFor(const QRect& frame, const QList<QRect>& screens)
{
    QRect best;
    qint64 bestArea = 0;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    for (const QRect& screen : screens) {
        const QRect overlap = screen.intersected(frame);
        const qint64 area = qint64(overlap.width()) * overlap.height();
        const QPoint c = frame.center();
        const qint64 dx =
            std::max({qint64(screen.left()) - c.x(), qint64(c.x()) - screen.right(), qint64(0)});
        const qint64 dy =
            std::max({qint64(screen.top()) - c.y(), qint64(c.y()) - screen.bottom(), qint64(0)});
        const qint64 distance = dx * dx + dy * dy;
        if (area > bestArea || (bestArea == 0 && area == 0 && distance < bestDistance)) {
            best = screen;
            bestArea = area;
            bestDistance = distance;
        }
    }
    return best;
}

QPoint OverlayGeometry::fitted(QPoint origin, QSize size, const QList<QRect>& screens)
{
    const QRect screen = screenFor(QRect(origin, size), screens);
    if (screen.isEmpty())
        return origin;
    const auto inside = [](int v, int low, int extent, int length) {
        return std::max(low, std::min(v, low + extent - length));
    };
    return {inside(origin.x(), screen.x(), screen.width(), size.width()),
            inside(origin.y(), screen.y(), screen.height(), size.height())};
}

QPoint OverlayGeometry::resizedOrigin(const QRect& frame, QSize size, const QRect& available)
{
    QPoint origin = frame.topLeft();
    // Edges as coordinates one past the last pixel, as the widths count them.
    if (available.x() + available.width() - (frame.x() + frame.width()) < frame.x() - available.x())
        origin.rx() = frame.x() + frame.width() - size.width();
    if (available.y() + available.height() - (frame.y() + frame.height()) < frame.y() - available.y())
        origin.ry() = frame.y() + frame.height() - size.height();
    return origin;
}

QString OverlayGeometry::formatPoint(QPoint point)
{
    return QStringLiteral("{%1, %2}").arg(point.x()).arg(point.y());
}

QPoint OverlayGeometry::parsePoint(QStringView text)
{
    static const QRegularExpression number(QStringLiteral(R"([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)"));
    double coords[2] = {0, 0};
    int found = 0;
    for (auto it = number.globalMatch(text); it.hasNext() && found < 2;)
        coords[found++] = it.next().capturedView().toDouble();
    return {toCoordinate(coords[0]), toCoordinate(coords[1])};
}

} // namespace korvane
