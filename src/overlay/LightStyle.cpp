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
#include <cmath>
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

std::vector<float> gaussianKernel(double sigma)
{
    const int half = std::max(1, static_cast<int>(std::ceil(3 * sigma)));
    std::vector<float> k(static_cast<std::size_t>(2 * half + 1));
    double sum = 0;
    for (int i = -half; i <= half; ++i) {
        const double v = std::exp(-(i * i) / (2 * sigma * sigma));
        k[static_cast<std::size_t>(i + half)] = static_cast<float>(v);
        sum += v;
    }
    for (float& v : k)
        v = static_cast<float>(v / sum);
    return k;
}

// One pass of a separable blur over a coverage map, along rows or columns.
void blurPass(const std::vector<float>& in, std::vector<float>& out, int size,
              const std::vector<float>& kernel, bool alongRows)
{
    const int half = static_cast<int>(kernel.size() / 2);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float acc = 0;
            for (int i = -half; i <= half; ++i) {
                const int sx = alongRows ? x + i : x;
                const int sy = alongRows ? y : y + i;
                if (sx < 0 || sy < 0 || sx >= size || sy >= size)
                    continue;
                acc +=
                    kernel[static_cast<std::size_t>(i + half)] * in[static_cast<std::size_t>(sy * size + sx)];
            }
            out[static_cast<std::size_t>(y * size + x)] = acc;
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
    const std::vector<float> kernel = gaussianKernel(std::max(0.5, sigmaPx));
    blurPass(a, tmp, size, kernel, true);
    blurPass(tmp, a, size, kernel, false);

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
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 255, 255, qRound(kPlateStrokeOpacity * 255)), 1.0));
    painter.setBrush(QColor(0, 0, 0, qRound(kPlateOpacity * 255)));
    painter.drawRoundedRect(rect, radius, radius);
    painter.restore();
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
    const double r = OverlayGeometry::kLampDiameter * scale / 2;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = color;
    fill.setAlphaF(static_cast<float>(std::clamp(fillOpacity, 0.0, 1.0)));
    painter.setPen(QPen(QColor(0, 0, 0, qRound(kLampStrokeOpacity * 255)), 1.0));
    painter.setBrush(fill);
    painter.drawEllipse(center, r, r);
    painter.restore();
}

double LightStyle::glowReach(double scale)
{
    return std::ceil(3 * glowSigma(scale)) + 1;
}

int LightStyle::glowCacheSize()
{
    return static_cast<int>(glowCache().size());
}

void LightStyle::clearGlowCache()
{
    glowCache().clear();
}

} // namespace korvane
