#pragma once

#include <QList>
#include <QStringView>

namespace korvane {

// The numbers of a dotted version string: empty pieces are dropped and a piece
// that is not a signed 64-bit decimal integer counts as 0 ("2.0-beta" is 2, 0).
QList<qint64> versionParts(QStringView version);

// True when `version` is strictly newer than `than`; missing pieces count as 0,
// so "1.2" and "1.2.0" are the same version.
bool isNewer(QStringView version, QStringView than);

} // namespace korvane
