#include "overlay/LightHousing.h"

#include "overlay/Lamps.h"
#include "overlay/LightStyle.h"
#include "overlay/OverlayGeometry.h"

#include <QPainter>
#include <cmath>

namespace korvane {

LightHousing::LightHousing(AgentState state, double scale, std::optional<QString> label,
                           OverlayOrientation orientation, QWidget* parent)
    : QWidget(parent), m_scale(scale), m_lineHeight(LightStyle::captionLineHeight(scale)),
      m_orientation(orientation), m_label(std::move(label)),
      m_lamps(new Lamps(state, scale, orientation, this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(sizeHint());
    layoutLamps();
}

AgentState LightHousing::state() const
{
    return m_lamps->state();
}

void LightHousing::setState(AgentState state)
{
    m_lamps->setState(state);
}

void LightHousing::setLabel(const std::optional<QString>& label)
{
    if (label == m_label)
        return;
    const bool relayout = label.has_value() != m_label.has_value();
    m_label = label;
    if (relayout)
        layoutLamps();
    update(captionRect().toAlignedRect());
}

QRectF LightHousing::plateRect() const
{
    const QSizeF content =
        OverlayGeometry::housingContentSize(m_scale, m_label.has_value(), m_orientation, m_lineHeight);
    return {QPointF((width() - content.width()) / 2, (height() - content.height()) / 2), content};
}

QRectF LightHousing::captionRect() const
{
    if (!m_label)
        return {};
    const double s = m_scale;
    const QRectF plate = plateRect();
    const QSizeF lamps = OverlayGeometry::lampsSize(s, m_orientation);
    const double labelWidth = OverlayGeometry::kLabelWidth * s;
    const double top = plate.top() + OverlayGeometry::kHousingPadding * s + lamps.height() +
                       OverlayGeometry::kLabelSpacing * s;
    return {plate.center().x() - labelWidth / 2, top, labelWidth, static_cast<double>(m_lineHeight)};
}

QSize LightHousing::sizeHint() const
{
    const QSizeF content =
        OverlayGeometry::housingContentSize(m_scale, m_label.has_value(), m_orientation, m_lineHeight);
    return {static_cast<int>(std::ceil(content.width())), static_cast<int>(std::ceil(content.height()))};
}

void LightHousing::layoutLamps()
{
    // The lamps' widget spans the housing so that their glow is not clipped.
    m_lamps->setGeometry(rect());
    const QRectF plate = plateRect();
    const QSizeF lamps = OverlayGeometry::lampsSize(m_scale, m_orientation);
    m_lamps->setLampOrigin(QPointF(plate.center().x() - lamps.width() / 2,
                                   plate.top() + OverlayGeometry::kHousingPadding * m_scale));
}

void LightHousing::resizeEvent(QResizeEvent*)
{
    layoutLamps();
}

void LightHousing::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    LightStyle::paintPlate(painter, plateRect(), m_scale);
    if (m_label)
        LightStyle::paintCaption(painter, captionRect().topLeft(), *m_label, m_scale);
}

} // namespace korvane
