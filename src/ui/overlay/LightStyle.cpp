#include "overlay/LightStyle.h"

#include "overlay/OverlayGeometry.h"
#include "status/AgentStateColor.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace korvane {

namespace {

// The glow is a Gaussian blur of the light's silhouette; the blur radius is
// taken as two standard deviations, and the image reaches three of them.
double glowSigma(double scale)
{
    return OverlayGeometry::kGlowRadius * scale / 2;
}

struct GlowKey {
    QRgb rgb;
    int diameter; // device pixels, in 1/16
    int sigma;    // device pixels, in 1/16
    friend bool operator==(const GlowKey&, const GlowKey&) = default;
};

size_t qHash(const GlowKey& k, size_t seed = 0)
{
    return qHashMulti(seed, k.rgb, k.diameter, k.sigma);
}

QHash<GlowKey, QPixmap>& glowCache()
{
    static QHash<GlowKey, QPixmap> cache;
    return cache;
}

// Widths of three box blurs that together approximate a Gaussian of `sigma`
// (three passes of a running sum cost the same at any radius).
std::array<int, 3> boxWidths(double sigma)
{
    constexpr int n = 3;
    const double ideal = std::sqrt(12 * sigma * sigma / n + 1);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const double m =
        std::round((12 * sigma * sigma - n * lower * lower - 4 * n * lower - 3 * n) / (-4.0 * lower - 4));
    std::array<int, n> widths{};
    for (int i = 0; i < n; ++i)
        widths[static_cast<std::size_t>(i)] = i < m ? lower : upper;
    return widths;
}

// One box blur of odd `width` over a square coverage map, along rows or columns;
// outside the map counts as empty.
void boxBlur(const std::vector<float>& in, std::vector<float>& out, int size, int width, bool alongRows)
{
    const int half = width / 2;
    const float scale = 1.0F / static_cast<float>(width);
    const auto at = [&](const std::vector<float>& v, int line, int i) {
        return alongRows ? v[static_cast<std::size_t>(line * size + i)]
                         : v[static_cast<std::size_t>(i * size + line)];
    };
    for (int line = 0; line < size; ++line) {
        float sum = 0;
        for (int i = 0; i <= half && i < size; ++i)
            sum += at(in, line, i);
        for (int i = 0; i < size; ++i) {
            const std::size_t index = alongRows ? static_cast<std::size_t>(line * size + i)
                                                : static_cast<std::size_t>(i * size + line);
            out[index] = sum * scale;
            if (i + half + 1 < size)
                sum += at(in, line, i + half + 1);
            if (i - half >= 0)
                sum -= at(in, line, i - half);
        }
    }
}

QPixmap makeGlow(const QColor& color, double diameterPx, double sigmaPx, qreal dpr)
{
    const int reach = static_cast<int>(std::ceil(3 * sigmaPx)) + 1;
    const int size = static_cast<int>(std::ceil(diameterPx)) + 2 * reach;

    // The silhouette: the filled circle plus the outer half of its stroke.
    QImage mask(size, size, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        const double r = diameterPx / 2 + 0.5 * dpr;
        p.drawEllipse(QPointF(size / 2.0, size / 2.0), r, r);
    }
    std::vector<float> a(static_cast<std::size_t>(size * size));
    for (int y = 0; y < size; ++y) {
        const uchar* line = mask.constScanLine(y);
        for (int x = 0; x < size; ++x)
            a[static_cast<std::size_t>(y * size + x)] = line[x] / 255.0F;
    }
    std::vector<float> tmp(a.size());
    for (const int width : boxWidths(std::max(0.5, sigmaPx))) {
        boxBlur(a, tmp, size, width, true);
        boxBlur(tmp, a, size, width, false);
    }

    QImage glow(size, size, QImage::Format_ARGB32_Premultiplied);
    const float opacity = static_cast<float>(LightStyle::kGlowOpacity);
    for (int y = 0; y < size; ++y) {
        auto* line = reinterpret_cast<QRgb*>(glow.scanLine(y));
        for (int x = 0; x < size; ++x) {
            const float alpha = std::clamp(a[static_cast<std::size_t>(y * size + x)] * opacity, 0.0F, 1.0F);
            const auto premul = [alpha](int c) { return static_cast<int>(std::lround(c * alpha)); };
            line[x] = qRgba(premul(color.red()), premul(color.green()), premul(color.blue()),
                            static_cast<int>(std::lround(alpha * 255)));
        }
    }
    QPixmap pixmap = QPixmap::fromImage(glow);
    pixmap.setDevicePixelRatio(dpr);
    return pixmap;
}

const QPixmap& glowPixmap(const QColor& color, double scale, qreal dpr)
{
    const double diameterPx = OverlayGeometry::kLampDiameter * scale * dpr;
    const double sigmaPx = glowSigma(scale) * dpr;
    const GlowKey key{color.rgb(), static_cast<int>(std::lround(diameterPx * 16)),
                      static_cast<int>(std::lround(sigmaPx * 16))};
    auto& cache = glowCache();
    auto it = cache.find(key);
    if (it == cache.end()) {
        // Four colours at a few sizes are all a session needs; a long run of
        // palette or scale changes must not grow the cache without end.
        if (cache.size() >= 64)
            cache.clear();
        it = cache.insert(key, makeGlow(color, diameterPx, sigmaPx, dpr));
    }
    return *it;
}

struct SpriteKey {
    QByteArray what; // the kind of shape and its own parameters
    int width;       // device pixels, in 1/8
    int height;
    int phaseX; // the shape's offset from the pixel grid, in 1/8 pixel
    int phaseY;
    int deviceScale; // in 1/64
    friend bool operator==(const SpriteKey&, const SpriteKey&) = default;
};

size_t qHash(const SpriteKey& k, size_t seed = 0)
{
    return qHashMulti(seed, k.what, k.width, k.height, k.phaseX, k.phaseY, k.deviceScale);
}

QHash<SpriteKey, QImage>& spriteCache()
{
    static QHash<SpriteKey, QImage> cache;
    return cache;
}

int eighths(double v)
{
    return static_cast<int>(std::lround(v * 8));
}

// Paints what `paint` draws inside `bounds` through a cached image. The image is
// made for the shape's offset from the device pixel grid, so blitting it gives
// the same pixels as painting directly, at a fraction of the cost.
void paintCached(QPainter& painter, const QRectF& bounds, const QByteArray& what,
                 const std::function<void(QPainter&)>& paint)
{
    const QTransform device = painter.deviceTransform();
    const double scale = device.m11();
    if (device.type() > QTransform::TxScale || scale <= 0 || scale != device.m22()) {
        paint(painter); // rotated or sheared: not worth caching
        return;
    }
    const QPointF topLeft = device.map(bounds.topLeft());
    const QPointF anchor(std::floor(topLeft.x()), std::floor(topLeft.y()));
    const QPointF phase(eighths(topLeft.x() - anchor.x()) / 8.0, eighths(topLeft.y() - anchor.y()) / 8.0);
    const QSizeF size = bounds.size() * scale;
    const SpriteKey key{what,
                        eighths(size.width()),
                        eighths(size.height()),
                        eighths(phase.x()),
                        eighths(phase.y()),
                        static_cast<int>(std::lround(scale * 64))};
    auto& cache = spriteCache();
    auto it = cache.find(key);
    if (it == cache.end()) {
        if (cache.size() >= 512)
            cache.clear();
        QImage image(static_cast<int>(std::ceil(phase.x() + size.width())) + 1,
                     static_cast<int>(std::ceil(phase.y() + size.height())) + 1,
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.translate(phase);
        p.scale(scale, scale);
        p.translate(-bounds.topLeft());
        paint(p);
        p.end();
        it = cache.insert(key, image);
    }
    // One image pixel per device pixel, placed on the anchor pixel.
    painter.save();
    painter.setWorldTransform(QTransform());
    const QTransform toLogical = painter.deviceTransform().inverted();
    const QPointF at = toLogical.map(anchor);
    const double logicalPerPixel = toLogical.m11();
    painter.drawImage(QRectF(at, QSizeF(it->width(), it->height()) * logicalPerPixel), *it);
    painter.restore();
}

} // namespace

QFont LightStyle::captionFont(double scale)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(OverlayGeometry::kLabelFontSize * scale))));
    font.setWeight(QFont::Medium);
    return font;
}

int LightStyle::captionLineHeight(double scale)
{
    return static_cast<int>(std::ceil(QFontMetricsF(captionFont(scale)).lineSpacing()));
}

QString LightStyle::elidedCaption(const QString& text, double scale)
{
    return QFontMetricsF(captionFont(scale))
        .elidedText(text, Qt::ElideMiddle, OverlayGeometry::kLabelWidth * scale, Qt::TextSingleLine);
}

QColor LightStyle::lampColor(int lamp)
{
    static constexpr AgentState kLampStates[] = {AgentState::Waiting, AgentState::Working, AgentState::Idle};
    return stateColor(kLampStates[std::clamp(lamp, 0, 2)]);
}

int LightStyle::litLamp(AgentState state)
{
    switch (state) {
    case AgentState::Waiting:
    case AgentState::Error:
        return 0;
    case AgentState::Working:
        return 1;
    case AgentState::Idle:
        return 2;
    case AgentState::Unknown:
        break;
    }
    return -1;
}

QEasingCurve LightStyle::stateEasing()
{
    // The common CSS/Core Animation ease-in-out: control points (0.42, 0) and (0.58, 1).
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

void LightStyle::paintPlate(QPainter& painter, const QRectF& rect, double scale)
{
    const double radius = OverlayGeometry::kCornerRadius * scale;
    const QByteArray what = "plate " + QByteArray::number(radius);
    // The stroke reaches half a pixel past the rect, its antialiasing a little more.
    paintCached(painter, rect.adjusted(-1, -1, 1, 1), what, [&rect, radius](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(255, 255, 255, qRound(kPlateStrokeOpacity * 255)), 1.0));
        p.setBrush(QColor(0, 0, 0, qRound(kPlateOpacity * 255)));
        p.drawRoundedRect(rect, radius, radius);
    });
}

void LightStyle::paintCaption(QPainter& painter, const QPointF& frameTopLeft, const QString& text,
                              double scale)
{
    const QRectF frame(frameTopLeft, QSizeF(OverlayGeometry::kLabelWidth * scale, captionLineHeight(scale)));
    painter.save();
    painter.setFont(captionFont(scale));
    painter.setPen(QColor(255, 255, 255, qRound(kCaptionOpacity * 255)));
    painter.drawText(frame, Qt::AlignCenter | Qt::TextSingleLine, elidedCaption(text, scale));
    painter.restore();
}

void LightStyle::paintGlow(QPainter& painter, const QPointF& center, double scale, const QColor& color,
                           double opacity)
{
    if (opacity <= 0)
        return;
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap& pixmap = glowPixmap(color, scale, dpr);
    const QSizeF size = pixmap.deviceIndependentSize();
    const qreal previous = painter.opacity();
    painter.setOpacity(previous * std::min(1.0, opacity));
    painter.drawPixmap(center - QPointF(size.width() / 2, size.height() / 2), pixmap);
    painter.setOpacity(previous);
}

void LightStyle::paintLight(QPainter& painter, const QPointF& center, double scale, const QColor& color,
                            double fillOpacity, double glow)
{
    paintGlow(painter, center, scale, color, glow);
    paintBody(painter, center, scale, color, fillOpacity);
}

void LightStyle::paintBody(QPainter& painter, const QPointF& center, double scale, const QColor& color,
                           double fillOpacity, double opacity)
{
    if (opacity <= 0)
        return;
    const double r = OverlayGeometry::kLampDiameter * scale / 2;
    QColor fill = color;
    fill.setAlphaF(static_cast<float>(std::clamp(fillOpacity, 0.0, 1.0)));
    const QByteArray what = "body " + QByteArray::number(fill.rgba(), 16) + ' ' + QByteArray::number(r);
    const qreal previous = painter.opacity();
    painter.setOpacity(previous * std::min(1.0, opacity));
    const QRectF bounds(center - QPointF(r + 1, r + 1), QSizeF(2 * r + 2, 2 * r + 2));
    paintCached(painter, bounds, what, [&center, r, &fill](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0, 0, 0, qRound(kLampStrokeOpacity * 255)), 1.0));
        p.setBrush(fill);
        p.drawEllipse(center, r, r);
    });
    painter.setOpacity(previous);
}

double LightStyle::glowReach(double scale)
{
    return std::ceil(3 * glowSigma(scale)) + 1;
}

} // namespace korvane
