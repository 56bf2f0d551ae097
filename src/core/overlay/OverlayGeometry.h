#pragma once

#include "settings/OverlayOrientation.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringView>

namespace korvane {

// The measurements of the floating lights and the panels around them, in
// logical pixels before multiplying by the user's scale. The painted views and
// the panel sizes are derived from the same numbers, so they change together.
struct OverlayGeometry {
    static constexpr double kLampDiameter = 26;
    static constexpr double kLampSpacing = 8;
    static constexpr double kLampRun = 3 * kLampDiameter + 2 * kLampSpacing; // 94
    static constexpr double kLabelWidth = 68;
    static constexpr double kLabelSpacing = 6;
    static constexpr double kLabelFontSize = 10;
    static constexpr double kHousingPadding = 12;
    static constexpr double kStripPaddingX = 16;
    static constexpr double kStripPaddingY = 12;
    static constexpr double kDotSpacing = 16;
    static constexpr double kCornerRadius = 16;
    static constexpr double kGlowRadius = 9;
    static constexpr int kPanelMargin = 2; // not scaled; added after rounding up
    static constexpr int kEdgeInset = 22;  // default slot 0: from the right edge
    static constexpr int kTopInset = 12;   // default placement: below the top edge
    static constexpr int kSlotGap = 12;    // between default slots
    static constexpr QPoint kFallbackOrigin{200, 800};

    // Size of the lamps alone (w x h) for an orientation.
    static QSizeF lampsSize(double scale, OverlayOrientation orientation);
    // The plate of a housed light: lamps, the optional caption under them, padding.
    // lineHeight is the caption's whole-pixel line height (see LightStyle).
    static QSizeF housingContentSize(double scale, bool hasLabel, OverlayOrientation orientation,
                                     int lineHeight);
    // The plate of a strip of `count` dots (at least one cell is always shown).
    static QSizeF rowContentSize(double scale, int count, bool hasLabel, OverlayOrientation orientation,
                                 int lineHeight);

    // Panel sizes: the content rounded up, plus the margin.
    static QSize housingSize(double scale, bool hasLabel, OverlayOrientation orientation, int lineHeight);
    static QSize rowSize(double scale, int count, bool hasLabel, OverlayOrientation orientation,
                         int lineHeight);

    // Top-left corner of a panel with no saved origin: slot 0 sits kEdgeInset from
    // the right edge and kTopInset below the top of `available`; each further slot
    // one panel width plus kSlotGap further left. Slots that would cross the left
    // edge continue on the next line down, and past the last line from the top.
    static QPoint defaultOrigin(const QRect& available, QSize size, int slot);

    // The available area (of `screens`) a frame belongs to: the one it overlaps
    // most, else the nearest; an empty rectangle when there are no screens.
    static QRect screenFor(const QRect& frame, const QList<QRect>& screens);
    // Where a panel of `size` wanted at `origin` is shown: moved the least that
    // puts it inside its screen's available area (top-left first when it is
    // larger). Unchanged without screens.
    static QPoint fitted(QPoint origin, QSize size, const QList<QRect>& screens);
    // The top-left corner after a panel at `frame` takes `size`: it keeps the
    // edges nearest to those of `available` (a row near the right grows leftward).
    static QPoint resizedOrigin(const QRect& frame, QSize size, const QRect& available);

    // Saved origins are kept as "{x, y}". Parsing is lenient as the macOS point
    // parser is: the first number is x, the second y, a missing one is 0.
    static QString formatPoint(QPoint point);
    static QPoint parsePoint(QStringView text);
};

} // namespace korvane
