#include "menubar/TrayDot.h"

#include <QGuiApplication>
#include <QPainter>
#include <cmath>

namespace korvane {

QPixmap TrayDot::pixmap(const QColor& color, int size, qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);

    // A 13-pixel dot up to a 22-pixel slot, on whole pixels; larger pixmaps keep its share of
    // the slot, as StatusNotifierItem hosts scale whichever pixmap they pick to their size.
    const qreal diameter = kDiameter * std::max(size, 22) / 22.0;
    const qreal origin = std::floor((size - diameter) / 2.0);
    const QRectF dot(origin, origin, diameter, diameter);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(dot);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0, 0, 0, int(std::lround(0.35 * 255))), 1.0));
    painter.drawEllipse(dot.adjusted(0.5, 0.5, -0.5, -0.5));
    return pixmap;
}

QIcon TrayDot::icon(const QColor& color)
{
    QList<qreal> ratios = {1.0, 2.0};
    if (const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const qreal dpr = app->devicePixelRatio();
        if (!ratios.contains(dpr))
            ratios.append(dpr);
    }
    QIcon icon;
    for (const qreal dpr : std::as_const(ratios)) {
        for (const int size : {16, 22, 24, 32})
            icon.addPixmap(pixmap(color, size, dpr));
    }
    return icon;
}

} // namespace korvane
