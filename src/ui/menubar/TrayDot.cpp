#include "menubar/TrayDot.h"

#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace korvane {

QPixmap TrayDot::pixmap(const QColor& color, int size, qreal devicePixelRatio, const QColor& badge)
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
    if (!badge.isValid())
        return pixmap;

    // On whole logical pixels, in the dot's proportions, standing out of its
    // corner where the slot has room; a clear ring keeps it apart from the dot.
    const qreal unit = diameter / kDiameter;
    const int side = int(std::lround(6 * unit));
    const int out = int(std::lround(2 * unit));
    const int right = std::min(size, int(std::lround(origin + diameter)) + out);
    const int top = std::max(0, int(origin) - out);
    const QRectF mark(right - side, top, side, side);
    const qreal ring = std::max(1.0, unit);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.drawEllipse(mark.adjusted(-ring, -ring, ring, ring));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrush(badge);
    painter.drawEllipse(mark);
    return pixmap;
}

QIcon TrayDot::icon(const QColor& color, const QColor& badge)
{
    QList<qreal> ratios = {1.0, 2.0};
    if (const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const qreal dpr = app->devicePixelRatio();
        if (!ratios.contains(dpr))
            ratios.append(dpr);
    }
    // Drawn once per look: the menu asks for its rows' dots every second while it is open, and
    // an unchanged icon (the same cacheKey) is not sent to the tray host again.
    static auto* drawn = new QHash<QString, QIcon>;
    const QString key = QStringLiteral("%1 %2 %3")
                            .arg(color.rgba())
                            .arg(badge.isValid() ? badge.rgba() : 0)
                            .arg(ratios.last());
    if (const auto it = drawn->constFind(key); it != drawn->constEnd())
        return *it;
    QIcon icon;
    for (const qreal dpr : std::as_const(ratios)) {
        for (const int size : {16, 22, 24, 32})
            icon.addPixmap(pixmap(color, size, dpr, badge));
    }
    drawn->insert(key, icon);
    return icon;
}

} // namespace korvane
