#include "settings/OverlayMode.h"

namespace korvane {

QString rawValue(OverlayMode mode)
{
    switch (mode) {
    case OverlayMode::PerWindow:
        return QStringLiteral("perWindow");
    case OverlayMode::Row:
        return QStringLiteral("row");
    case OverlayMode::Combined:
        break;
    }
    return QStringLiteral("combined");
}

std::optional<OverlayMode> overlayModeFromRaw(QStringView raw)
{
    for (OverlayMode m : kAllOverlayModes) {
        if (raw == rawValue(m))
            return m;
    }
    return std::nullopt;
}

} // namespace korvane
