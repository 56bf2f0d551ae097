#include "overlay/Lamps.h"

#include "overlay/LightStyle.h"
#include "overlay/OverlayGeometry.h"
#include "overlay/StateFade.h"

#include <QPainter>
#include <cmath>

namespace korvane {

Lamps::Lamps(AgentState state, double scale, OverlayOrientation orientation, QWidget* parent)
    : QWidget(parent), m_state(state), m_scale(scale), m_orientation(orientation), m_levels(levelsFor(state))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_fade = new StateFade(this, [this](double t) {
        for (std::size_t i = 0; i < m_levels.size(); ++i)
            m_levels[i] = t >= 1 ? m_to[i] : m_from[i] + (m_to[i] - m_from[i]) * t;
        update();
    });
}

std::array<double, 3> Lamps::levelsFor(AgentState state, bool attention)
{
    std::array<double, 3> levels{attention ? kAttentionLevel : 0, 0, 0};
    const int lit = LightStyle::litLamp(state);
    if (lit >= 0)
        levels[static_cast<std::size_t>(lit)] = 1;
    return levels;
}

void Lamps::setState(AgentState state)
{
    fadeTo(state, m_attention);
}

void Lamps::setAttention(bool attention)
{
    fadeTo(m_state, attention);
}

void Lamps::fadeTo(AgentState state, bool attention)
{
    if (state == m_state && attention == m_attention)
        return;
    m_state = state;
    m_attention = attention;
    m_from = m_levels; // a change during a fade starts from what is on screen
    m_to = levelsFor(state, attention);
    m_fade->start();
}

void Lamps::setLampOrigin(const QPointF& topLeft)
{
    if (m_origin == topLeft)
        return;
    m_origin = topLeft;
    update();
}

QPointF Lamps::lampOrigin() const
{
    if (m_origin)
        return *m_origin;
    const QSizeF run = OverlayGeometry::lampsSize(m_scale, m_orientation);
    return {(width() - run.width()) / 2, (height() - run.height()) / 2};
}

QSize Lamps::sizeHint() const
{
    const QSizeF run = OverlayGeometry::lampsSize(m_scale, m_orientation);
    const double reach = 2 * LightStyle::glowReach(m_scale);
    return {static_cast<int>(std::ceil(run.width() + reach)),
            static_cast<int>(std::ceil(run.height() + reach))};
}

void Lamps::paint(QPainter& painter, const QPointF& topLeft, double scale, OverlayOrientation orientation,
                  const std::array<double, 3>& levels)
{
    const double d = OverlayGeometry::kLampDiameter * scale;
    const double step = (OverlayGeometry::kLampDiameter + OverlayGeometry::kLampSpacing) * scale;
    const bool horizontal = orientation == OverlayOrientation::Horizontal;
    for (int i = 0; i < 3; ++i) {
        const double level = levels[static_cast<std::size_t>(i)];
        const QPointF center =
            topLeft + QPointF(d / 2 + (horizontal ? step * i : 0), d / 2 + (horizontal ? 0 : step * i));
        const QColor color = LightStyle::lampColor(i);
        // Lit and dim cross-fade while the state changes.
        LightStyle::paintGlow(painter, center, scale, color, level);
        if (level < 1)
            LightStyle::paintBody(painter, center, scale, color, LightStyle::kDimOpacity, 1 - level);
        if (level > 0)
            LightStyle::paintBody(painter, center, scale, color, 1.0, level);
    }
}

void Lamps::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, lampOrigin(), m_scale, m_orientation, m_levels);
}

} // namespace korvane
