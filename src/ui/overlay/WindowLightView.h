#pragma once

#include "overlay/LightHousing.h"
#include "status/WindowStatus.h"

#include <optional>

namespace korvane {

class LightRows;

// The traffic light of one window or tab, with its name as the caption. A row
// that has gone away shows all lamps dim and an em dash until the overlay
// removes the panel.
class WindowLightView : public LightHousing {
    Q_OBJECT

public:
    static constexpr char16_t kMissingLabel = u'\u2014';

    WindowLightView(const LightRows& rows, QString workspaceID, bool showLabels, double scale,
                    OverlayOrientation orientation, QWidget* parent = nullptr);

    // The row shown (LightRows::find).
    std::optional<WindowStatus> window() const;

private:
    void follow();
    static std::optional<QString> labelFor(const std::optional<WindowStatus>& row, bool showLabels);

    const LightRows& m_rows;
    QString m_workspaceID;
    bool m_showLabels;
};

} // namespace korvane
