#pragma once

#include "overlay/LightHousing.h"

namespace korvane {

class StatusStore;

// The traffic light of the whole machine: follows the store's overall state, its
// red lamp glowing softly beside another while someone needs the user.
class CombinedLightView : public LightHousing {
    Q_OBJECT

public:
    CombinedLightView(const StatusStore& store, double scale, OverlayOrientation orientation,
                      QWidget* parent = nullptr);
};

} // namespace korvane
