#pragma once

#include "settings/OverlayOrientation.h"
#include "status/AgentState.h"

#include <QPointF>
#include <QWidget>
#include <array>
#include <optional>

namespace korvane {

class StateFade;

// Three lamps, red, orange and green, in a column or a row; the one the state
// calls for is lit and glows, the others are dim. A change of state cross-fades.
//
// The widget may be larger than the lamps (their glow needs room); the lamps
// are drawn with their top-left corner at lampOrigin(), centred by default.
class Lamps : public QWidget {
    Q_OBJECT

public:
    Lamps(AgentState state, double scale, OverlayOrientation orientation, QWidget* parent = nullptr);

    // How far the red lamp glows beside another lit one while someone needs the user.
    static constexpr double kAttentionLevel = 0.55;

    AgentState state() const { return m_state; }
    bool attention() const { return m_attention; }
    double scale() const { return m_scale; }
    OverlayOrientation orientation() const { return m_orientation; }
    void setState(AgentState state);
    // Someone needs the user, whom the lit lamp may not show: the red lamp glows softly too.
    void setAttention(bool attention);

    void setLampOrigin(const QPointF& topLeft);
    QPointF lampOrigin() const;

    QSize sizeHint() const override;

    // Paints the lamps with their top-left corner at `topLeft`.
    static void paint(QPainter& painter, const QPointF& topLeft, double scale, OverlayOrientation orientation,
                      const std::array<double, 3>& levels);
    static std::array<double, 3> levelsFor(AgentState state, bool attention = false);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void fadeTo(AgentState state, bool attention);

    AgentState m_state;
    bool m_attention = false;
    double m_scale;
    OverlayOrientation m_orientation;
    std::array<double, 3> m_levels;
    std::array<double, 3> m_from{};
    std::array<double, 3> m_to{};
    std::optional<QPointF> m_origin;
    StateFade* m_fade = nullptr;
};

} // namespace korvane
