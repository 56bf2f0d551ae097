#pragma once

#include "status/AgentState.h"

#include <QColor>
#include <QPointF>
#include <QWidget>
#include <optional>

namespace korvane {

class StateFade;

// One dot in the colour of a state, always glowing (grey for unknown). A change
// of state cross-fades the colour and the glow.
//
// The widget leaves room around the dot for its glow; the dot is centred unless
// a centre is set.
class StatusDot : public QWidget {
    Q_OBJECT

public:
    StatusDot(AgentState state, double scale, QWidget* parent = nullptr);

    AgentState state() const { return m_state; }
    double scale() const { return m_scale; }
    void setState(AgentState state);

    void setDotCenter(const QPointF& center);
    QPointF dotCenter() const;

    // How much room the dot and its glow take: the dot plus the glow's reach on each side.
    static QSize footprint(double scale);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AgentState m_state;
    double m_scale;
    QColor m_fromColor;
    QColor m_toColor;
    double m_progress = 1; // 1: showing m_toColor only
    std::optional<QPointF> m_center;
    StateFade* m_fade = nullptr;
};

} // namespace korvane
