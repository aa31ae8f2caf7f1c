#pragma once

// The georeference of the map the session shows, for world files and GeoTIFF,
// and the setting that asks for them.

#include "io/GeoReference.h"
#include "workspace/MapViewState.h"

#include <QSize>
#include <QString>

namespace varrow {

// The loaded map of mosaicSize pixels, in the UTM grid of its zone.
TGeoReference GeoReferenceOf(const TMapViewState& loaded, QSize mosaicSize);

// A map that reaches past its zone's tiles shows the neighbour zone's tiles
// there, which no one projection describes: "The east part of this map is in
// zone 14: the world file describes zone 13 only". Empty for a map within its
// zone's tiles.
QString ZoneEdgeWarning(const TMapViewState& loaded, QSize mosaicSize);

// "Write world files", a setting of the defaults file; off unless stored on.
bool ReadWriteWorldFiles();
// Throws "Unable to write to ..." on failure.
void StoreWriteWorldFiles(bool on);

} // namespace varrow
