#pragma once

#include <QObject>
#include <functional>

class QVariantAnimation;
class QWidget;

namespace korvane {

// The short eased cross-fade a light plays when its state changes. Each step
// hands the progress (0 to 1) to the light; a hidden light skips to the end.
class StateFade : public QObject {
    Q_OBJECT

public:
    StateFade(QWidget* light, std::function<void(double)> step);

    // Starts again from 0; a fade already running is dropped where it is.
    void start();

private:
    QWidget* m_light;
    std::function<void(double)> m_step;
    QVariantAnimation* m_animation;
};

} // namespace korvane
