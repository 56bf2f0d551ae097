#include "overlay/StateFade.h"

#include "overlay/LightStyle.h"

#include <QVariantAnimation>
#include <QWidget>

namespace korvane {

StateFade::StateFade(QWidget* light, std::function<void(double)> step)
    : QObject(light), m_light(light), m_step(std::move(step)), m_animation(new QVariantAnimation(this))
{
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    m_animation->setDuration(LightStyle::kStateAnimationMs);
    m_animation->setEasingCurve(LightStyle::stateEasing());
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { m_step(value.toDouble()); });
}

void StateFade::start()
{
    m_animation->stop();
    if (!m_light->isVisible()) {
        m_step(1.0);
        return;
    }
    m_animation->start();
}

} // namespace korvane
