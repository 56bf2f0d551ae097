#include "platform/Clock.h"

#include <QDateTime>

namespace korvane {

double SystemClock::now() const
{
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

const SystemClock& SystemClock::instance()
{
    static const SystemClock clock;
    return clock;
}

} // namespace korvane
