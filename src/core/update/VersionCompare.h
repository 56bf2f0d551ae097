#pragma once

#include <QStringView>

namespace korvane {

// True when `version` is strictly newer than `than`, comparing the dotted
// pieces as numbers. Empty pieces are dropped, a piece that is not a signed
// 64-bit decimal integer counts as 0 ("2.0-beta" is 2.0) and missing pieces
// count as 0, so "1.2" and "1.2.0" are the same version.
bool isNewer(QStringView version, QStringView than);

} // namespace korvane
