#include "overlay/StatusDot.h"

#include "overlay/LightStyle.h"
#include "overlay/OverlayGeometry.h"
#include "overlay/StateFade.h"
#include "status/AgentStateColor.h"

#include <QPainter>
#include <cmath>

namespace korvane {

StatusDot::StatusDot(AgentState state, double scale, QWidget* parent)
    : QWidget(parent), m_state(state), m_scale(scale), m_fromColor(stateColor(state)), m_toColor(m_fromColor)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(sizeHint());
    m_fade = new StateFade(this, [this](double t) {
        m_progress = t;
        update();
    });
}

void StatusDot::setState(AgentState state)
{
    if (state == m_state)
        return;
    m_state = state;
    // A change during a fade starts from the colour that dominates the screen.
    m_fromColor = m_progress >= 0.5 ? m_toColor : m_fromColor;
    m_toColor = stateColor(state);
    m_progress = 0;
    m_fade->start();
}

void StatusDot::setDotCenter(const QPointF& center)
{
    if (m_center == center)
        return;
    m_center = center;
    update();
}

QPointF StatusDot::dotCenter() const
{
    return m_center.value_or(QPointF(width() / 2.0, height() / 2.0));
}

QSize StatusDot::footprint(double scale)
{
    const int side = static_cast<int>(
        std::ceil(OverlayGeometry::kLampDiameter * scale + 2 * LightStyle::glowReach(scale)));
    return {side, side};
}

QSize StatusDot::sizeHint() const
{
    return footprint(m_scale);
}

void StatusDot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPointF center = dotCenter();
    if (m_progress >= 1) {
        LightStyle::paintLight(painter, center, m_scale, m_toColor, 1.0, 1.0);
        return;
    }
    // The old and the new colour cross-fade, glow and body alike.
    LightStyle::paintGlow(painter, center, m_scale, m_fromColor, 1 - m_progress);
    LightStyle::paintGlow(painter, center, m_scale, m_toColor, m_progress);
    LightStyle::paintBody(painter, center, m_scale, m_fromColor, 1.0, 1 - m_progress);
    LightStyle::paintBody(painter, center, m_scale, m_toColor, 1.0, m_progress);
}

} // namespace korvane
