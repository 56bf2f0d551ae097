#include "overlay/CombinedLightView.h"

#include "overlay/Lamps.h"
#include "settings/LightRows.h"
#include "status/StatusStore.h"

namespace korvane {

CombinedLightView::CombinedLightView(const StatusStore& store, double scale, OverlayOrientation orientation,
                                     QWidget* parent)
    : LightHousing(store.state(), scale, std::nullopt, orientation, parent)
{
    const auto follow = [this, &store] {
        setState(store.state());
        lamps()->setAttention(LightRows::needingYou(store.windows()) > 0);
    };
    follow();
    connect(&store, &StatusStore::changed, this, follow);
}

} // namespace korvane
