#pragma once

#include "settings/OverlayOrientation.h"
#include "status/AgentState.h"

#include <QRectF>
#include <QWidget>
#include <optional>

namespace korvane {

class Lamps;

// A traffic light: the lamps on a dark rounded plate, with an optional caption
// under them (also in a horizontal light). The plate keeps its own size and sits
// centred in the widget, which may be a little larger.
class LightHousing : public QWidget {
    Q_OBJECT

public:
    LightHousing(AgentState state, double scale, std::optional<QString> label, OverlayOrientation orientation,
                 QWidget* parent = nullptr);

    AgentState state() const;
    double scale() const { return m_scale; }
    OverlayOrientation orientation() const { return m_orientation; }
    const std::optional<QString>& label() const { return m_label; }
    Lamps* lamps() const { return m_lamps; }

    void setState(AgentState state);
    void setLabel(const std::optional<QString>& label);

    // Where the plate is drawn, and the caption's frame (empty without a caption).
    QRectF plateRect() const;
    QRectF captionRect() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutLamps();

    double m_scale;
    int m_lineHeight; // of the caption font at m_scale, which never changes
    OverlayOrientation m_orientation;
    std::optional<QString> m_label;
    Lamps* m_lamps;
};

} // namespace korvane
