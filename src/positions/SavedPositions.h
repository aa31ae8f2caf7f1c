#pragma once

// What the saved positions dialog and varrow-render need of a saved position beyond the
// list itself: where it lies on the earth, its name kept to length, and finding one by name.

#include "geo/Georef.h"
#include "positions/PositionList.h"

#include <QString>

namespace varrow {

constexpr int MaxPositionNameLength = 255;
// The first 255 characters, never half of a character that takes two.
QString CutPositionName(const QString& name);

// The geographic position of the location's reference point, the lower-left corner of its
// map. False for a zone that does not exist (a damaged file), which has no position.
bool PositionCorner(const TTileLocation& location, TGeoPosition& corner);

// The first position called name (exactly, letter case included) in a position file, the
// user's own by default. Throws std::runtime_error naming the file and the names it holds
// when there is no such position or no such file.
TTileLocation FindSavedPosition(const QString& name, const QString& fileName = PosListPath());

} // namespace varrow
