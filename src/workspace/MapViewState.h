#pragma once

// The live view: which piece of the earth the mosaic shows and how. The main
// window mirrors these values in its controls; the command-line renderer uses
// them directly. Mosaic pixels have their origin at the top-left corner.

#include "geo/Georef.h"
#include "tiles/TileLibrary.h"

#include <QPoint>
#include <QSize>

namespace varrow {

// Where a mosaic pixel lies, in both coordinate systems.
struct TMapPosition {
    int Zone = 0;
    double Latitude = 0.0;
    double Longitude = 0.0;
    double Northing = 0.0;
    double Easting = 0.0;
};

enum class TConnectionSpeed { Broadband = 0, Dialup = 1 };

class TMapViewState {
public:
    static constexpr int MinTileCount = 1;
    static constexpr int MaxTileCount = MaxTilesPerSide;
    static constexpr int MagMin = 0;
    static constexpr int MagMax = 100;

    double Easting = 307200.0;   // west edge of the mosaic
    double Northing = 3584000.0; // south edge of the mosaic
    int Zone = 13;
    TTileTheme Theme = TTileTheme::Topo;
    double Scale = 512.0; // metres per mosaic pixel
    int TileCountX = 3;
    int TileCountY = 3;
    int MagPosition = 23; // track-bar position of magnification 1.0
    TConnectionSpeed Speed = TConnectionSpeed::Broadband;

    // The view as a tile location: the tile holding the lower-left corner and
    // the corner's offset in it, named "Location-X-Y".
    TTileLocation CaptureView() const;
    // Makes a stored location the live view (corner, zone, scale, theme).
    void ApplyLocation(const TTileLocation& location);

    // The loader's worker limit for the chosen connection speed.
    int MaxWorkers() const;
    QSize MosaicSize() const { return {TileCountX * TileSize, TileCountY * TileSize}; }

    // Magnification of the map on screen, 0.1 to 4.0.
    double ZoomFactor() const;
    void SetZoomFactor(double factor);
    // A point on the magnified image control to a mosaic pixel.
    QPoint ScreenToMosaic(QPoint screen) const;

    // Positions of mosaic pixels; mosaicHeight is the height of the mosaic the
    // pixel belongs to. East of the zone's edge the position reads in the next
    // zone; past the zone's tile grid, in the zone whose tiles the loader drew there.
    TMapPosition PixelToPosition(double x, double y, int mosaicHeight) const;
    QPoint PositionToPixel(double latitude, double longitude, int mosaicHeight) const;
    TGeoPosition MosaicCentre() const;

    // Puts the point at the centre of the next mosaic at the current scale and
    // size (what a press on an index map does).
    void CentreOn(double latitude, double longitude);
};

// Rounds half to even, as all pixel arithmetic of the view does.
int RoundHalfEven(double v);

} // namespace varrow
