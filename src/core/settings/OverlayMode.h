#pragma once

#include <QMetaType>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace korvane {

// The layout of the floating lights. The raw value is also the stored form.
enum class OverlayMode : std::uint8_t { Combined, PerWindow, Row };

inline constexpr std::array<OverlayMode, 3> kAllOverlayModes = {OverlayMode::Combined, OverlayMode::PerWindow,
                                                                OverlayMode::Row};

QString rawValue(OverlayMode mode);                             // "combined", "perWindow", "row"
std::optional<OverlayMode> overlayModeFromRaw(QStringView raw); // exact, case-sensitive

} // namespace korvane

Q_DECLARE_METATYPE(korvane::OverlayMode)
