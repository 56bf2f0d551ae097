#include "overlay/CombinedLightView.h"

#include "status/StatusStore.h"

namespace korvane {

CombinedLightView::CombinedLightView(const StatusStore& store, double scale, OverlayOrientation orientation,
                                     QWidget* parent)
    : LightHousing(store.state(), scale, std::nullopt, orientation, parent)
{
    connect(&store, &StatusStore::changed, this, [this, &store] { setState(store.state()); });
}

} // namespace korvane
