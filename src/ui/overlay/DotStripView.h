#pragma once

#include "settings/OverlayOrientation.h"
#include "status/AgentState.h"
#include "status/WindowStatus.h"

#include <QRectF>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <vector>

namespace korvane {

class StatusDot;
class LightRows;

// A row or column of dots on a plate, one per row of LightRows, each with its
// name as an optional caption. With no rows it shows one dot in the overall
// state, captioned "Agent".
class DotStripView : public QWidget {
    Q_OBJECT

public:
    DotStripView(const LightRows& rows, bool showLabels, double scale, OverlayOrientation orientation,
                 QWidget* parent = nullptr);
    ~DotStripView() override;

    struct Cell {
        std::optional<QString> id; // none: the placeholder of an empty strip
        std::optional<QString> label;
        AgentState state = AgentState::Unknown;
        friend bool operator==(const Cell&, const Cell&) = default;
    };

    std::vector<Cell> cells() const;
    // The caption frame of cell i (empty without captions).
    QRectF captionRect(int i) const;
    QRectF plateRect() const;
    // The row of the dot (or its caption) at pos, if any.
    std::optional<QString> idAt(QPointF pos) const;

    double scale() const { return m_scale; }
    OverlayOrientation orientation() const { return m_orientation; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Shown {
        Cell cell;
        StatusDot* dot;
    };

    std::vector<Cell> wantedCells() const;
    void follow();
    void layoutDots();
    QRectF cellRect(int i) const;
    QSizeF contentSize() const;

    const LightRows& m_rows;
    bool m_showLabels;
    double m_scale;
    int m_lineHeight;
    OverlayOrientation m_orientation;
    std::vector<Shown> m_shown;
};

} // namespace korvane
