#include "settings/OverlayOrientation.h"

namespace korvane {

QString rawValue(OverlayOrientation orientation)
{
    return orientation == OverlayOrientation::Horizontal ? QStringLiteral("horizontal")
                                                         : QStringLiteral("vertical");
}

std::optional<OverlayOrientation> overlayOrientationFromRaw(QStringView raw)
{
    for (OverlayOrientation o : kAllOverlayOrientations) {
        if (raw == rawValue(o))
            return o;
    }
    return std::nullopt;
}

} // namespace korvane
