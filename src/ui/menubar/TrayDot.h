#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace korvane {

// The tray's picture: a dot in the colour of the overall state with a thin dark rim.
class TrayDot {
public:
    static constexpr int kDiameter = 13;

    // The dot in a square pixmap of `size` logical pixels.
    static QPixmap pixmap(const QColor& color, int size, qreal devicePixelRatio);
    // Pixmaps for the sizes and pixel ratios tray hosts ask for.
    static QIcon icon(const QColor& color);
};

} // namespace korvane
