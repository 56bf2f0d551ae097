#include "overlay/DotStripView.h"

#include "overlay/LightStyle.h"
#include "overlay/OverlayGeometry.h"
#include "overlay/StatusDot.h"
#include "settings/LightRows.h"
#include "status/StatusStore.h"

#include <QHash>
#include <QPainter>
#include <cmath>

namespace korvane {

DotStripView::DotStripView(const LightRows& rows, bool showLabels, double scale,
                           OverlayOrientation orientation, QWidget* parent)
    : QWidget(parent), m_rows(rows), m_showLabels(showLabels), m_scale(scale),
      m_lineHeight(LightStyle::captionLineHeight(scale)), m_orientation(orientation)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    follow();
    resize(sizeHint());
    connect(&rows, &LightRows::changed, this, &DotStripView::follow);
}

DotStripView::~DotStripView() = default;

std::vector<DotStripView::Cell> DotStripView::wantedCells() const
{
    std::vector<Cell> wanted;
    const WindowStatusList& rows = m_rows.rows();
    if (rows.isEmpty()) {
        wanted.push_back({std::nullopt,
                          m_showLabels ? std::optional<QString>(QStringLiteral("Agent")) : std::nullopt,
                          m_rows.store().state()});
        return wanted;
    }
    wanted.reserve(static_cast<std::size_t>(rows.size()));
    for (const WindowStatus& row : rows)
        wanted.push_back({row.id, m_showLabels ? std::optional<QString>(row.name) : std::nullopt, row.state});
    return wanted;
}

std::vector<DotStripView::Cell> DotStripView::cells() const
{
    std::vector<Cell> out;
    out.reserve(m_shown.size());
    for (const Shown& s : m_shown)
        out.push_back(s.cell);
    return out;
}

void DotStripView::follow()
{
    std::vector<Cell> wanted = wantedCells();
    if (wanted == cells())
        return; // something changed that this strip does not show

    // A dot that stays (same row) keeps its widget, so its colour change fades.
    QHash<QString, StatusDot*> byId;
    StatusDot* placeholder = nullptr;
    for (const Shown& s : m_shown) {
        if (s.cell.id)
            byId.insert(*s.cell.id, s.dot);
        else
            placeholder = s.dot;
    }
    std::vector<Shown> next;
    next.reserve(wanted.size());
    for (Cell& cell : wanted) {
        StatusDot* dot = nullptr;
        if (cell.id)
            dot = byId.take(*cell.id);
        else
            std::swap(dot, placeholder);
        if (dot) {
            dot->setState(cell.state);
        } else {
            dot = new StatusDot(cell.state, m_scale, this);
            dot->show();
        }
        next.push_back({std::move(cell), dot});
    }
    for (StatusDot* gone : std::as_const(byId))
        delete gone;
    delete placeholder;
    m_shown = std::move(next);
    layoutDots();
    update();
}

QSizeF DotStripView::contentSize() const
{
    return OverlayGeometry::rowContentSize(m_scale, static_cast<int>(m_shown.size()), m_showLabels,
                                           m_orientation, m_lineHeight);
}

std::optional<QString> DotStripView::idAt(QPointF pos) const
{
    const std::vector<Cell> all = cells();
    for (int i = 0; i < int(all.size()); ++i) {
        if (cellRect(i).united(captionRect(i)).contains(pos))
            return all[std::size_t(i)].id;
    }
    return std::nullopt;
}

QRectF DotStripView::plateRect() const
{
    const QSizeF content = contentSize();
    return {QPointF((width() - content.width()) / 2, (height() - content.height()) / 2), content};
}

QRectF DotStripView::cellRect(int i) const
{
    const double s = m_scale;
    const double cw = m_showLabels
                          ? std::max(OverlayGeometry::kLampDiameter, OverlayGeometry::kLabelWidth) * s
                          : OverlayGeometry::kLampDiameter * s;
    const double ch = OverlayGeometry::kLampDiameter * s +
                      (m_showLabels ? OverlayGeometry::kLabelSpacing * s + m_lineHeight : 0);
    const double step = OverlayGeometry::kDotSpacing * s;
    const QRectF plate = plateRect();
    QPointF topLeft(plate.left() + OverlayGeometry::kStripPaddingX * s,
                    plate.top() + OverlayGeometry::kStripPaddingY * s);
    if (m_orientation == OverlayOrientation::Horizontal)
        topLeft.rx() += (cw + step) * i;
    else
        topLeft.ry() += (ch + step) * i;
    return {topLeft, QSizeF(cw, ch)};
}

QRectF DotStripView::captionRect(int i) const
{
    if (!m_showLabels || i < 0 || i >= static_cast<int>(m_shown.size()))
        return {};
    const QRectF cell = cellRect(i);
    const double labelWidth = OverlayGeometry::kLabelWidth * m_scale;
    return {cell.center().x() - labelWidth / 2,
            cell.top() + (OverlayGeometry::kLampDiameter + OverlayGeometry::kLabelSpacing) * m_scale,
            labelWidth, static_cast<double>(m_lineHeight)};
}

void DotStripView::layoutDots()
{
    const QSize footprint = StatusDot::footprint(m_scale);
    for (int i = 0; i < static_cast<int>(m_shown.size()); ++i) {
        const QRectF cell = cellRect(i);
        const QPointF center(cell.center().x(), cell.top() + OverlayGeometry::kLampDiameter * m_scale / 2);
        const QPoint topLeft(static_cast<int>(std::floor(center.x() - footprint.width() / 2.0)),
                             static_cast<int>(std::floor(center.y() - footprint.height() / 2.0)));
        StatusDot* dot = m_shown[static_cast<std::size_t>(i)].dot;
        dot->setGeometry(QRect(topLeft, footprint));
        dot->setDotCenter(center - QPointF(topLeft));
    }
}

QSize DotStripView::sizeHint() const
{
    const QSizeF content = contentSize();
    return {static_cast<int>(std::ceil(content.width())), static_cast<int>(std::ceil(content.height()))};
}

void DotStripView::resizeEvent(QResizeEvent*)
{
    layoutDots();
}

void DotStripView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    LightStyle::paintPlate(painter, plateRect(), m_scale);
    for (int i = 0; i < static_cast<int>(m_shown.size()); ++i) {
        if (const auto& label = m_shown[static_cast<std::size_t>(i)].cell.label)
            LightStyle::paintCaption(painter, captionRect(i).topLeft(), *label, m_scale);
    }
}

} // namespace korvane
