#pragma once

#include <QMetaType>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace korvane {

enum class OverlayOrientation : std::uint8_t { Vertical, Horizontal };

inline constexpr std::array<OverlayOrientation, 2> kAllOverlayOrientations = {OverlayOrientation::Vertical,
                                                                              OverlayOrientation::Horizontal};

QString rawValue(OverlayOrientation orientation);                             // "vertical", "horizontal"
std::optional<OverlayOrientation> overlayOrientationFromRaw(QStringView raw); // exact, case-sensitive

} // namespace korvane

Q_DECLARE_METATYPE(korvane::OverlayOrientation)
