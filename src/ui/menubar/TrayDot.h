#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace korvane {

// The tray's picture: a dot in the colour of the overall state with a thin dark rim,
// and a small badge on its upper right while an agent the dot's colour does not
// show needs the user.
class TrayDot {
public:
    static constexpr int kDiameter = 13;

    // The dot in a square pixmap of `size` logical pixels; an invalid `badge` draws none.
    static QPixmap pixmap(const QColor& color, int size, qreal devicePixelRatio, const QColor& badge = {});
    // Pixmaps for the sizes and pixel ratios tray hosts ask for.
    static QIcon icon(const QColor& color, const QColor& badge = {});
};

} // namespace korvane
