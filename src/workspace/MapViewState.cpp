#include "MapViewState.h"

#include "tiles/TileLoader.h"

#include <QtGlobal>

#include <cmath>

namespace varrow {

namespace {
constexpr double MagSpan = 3.9; // factors 0.1 .. 4.0 over the track bar
constexpr double MagStep = MagSpan / (TMapViewState::MagMax - TMapViewState::MagMin);
} // namespace

int RoundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

TTileLocation TMapViewState::CaptureView() const {
    TTileLocation loc;
    TileFromUtm(Easting, Northing, Scale, loc.Tile, loc.Offset);
    loc.Name = LocationName(loc.Tile);
    loc.Theme = Theme;
    loc.Scale = Scale;
    loc.Zone = Zone;
    return loc;
}

void TMapViewState::ApplyLocation(const TTileLocation& location) {
    UtmFromTile(location.Tile, location.Offset, location.Scale, Easting, Northing);
    Zone = location.Zone;
    Scale = location.Scale;
    Theme = location.Theme;
}

int TMapViewState::MaxWorkers() const {
    return TTileLoader::WorkersForConnectionSpeed(static_cast<int>(Speed));
}

double TMapViewState::ZoomFactor() const { return 0.1 + MagPosition * MagStep; }

void TMapViewState::SetZoomFactor(double factor) {
    MagPosition = qBound(MagMin, RoundHalfEven((factor - 0.1) / MagStep), MagMax);
}

QPoint TMapViewState::ScreenToMosaic(QPoint screen) const {
    const double f = ZoomFactor();
    return {RoundHalfEven(screen.x() / f), RoundHalfEven(screen.y() / f)};
}

TMapPosition TMapViewState::PixelToPosition(double x, double y, int mosaicHeight) const {
    TMapPosition p;
    p.Zone = Zone;
    p.Easting = x * Scale + Easting;
    p.Northing = (mosaicHeight - y) * Scale + Northing;
    // Past the zone's tile grid the picture shows the neighbour zone's tiles
    // from its first (last) column on, as the loader wraps them: the pixel is
    // a place of that zone.
    if (p.Easting >= ZoneSpan) {
        p.Easting -= ZoneSpan;
        p.Zone = EastZoneOf(p.Zone);
    } else if (p.Easting < 0) {
        p.Easting += ZoneSpan;
        p.Zone = WestZoneOf(p.Zone);
    } else {
        const TZoneEdges edges = ZoneEdgeEastings(p.Zone, NorthAmerican1983, p.Northing);
        if (p.Easting > edges.East) {
            p.Easting = p.Easting - edges.East + edges.West;
            p.Zone = EastZoneOf(p.Zone);
        }
        if (p.Easting < edges.West) {
            p.Easting = edges.East - (edges.West - p.Easting);
            p.Zone = WestZoneOf(p.Zone);
        }
    }
    const TGeoPosition g = UtmToGeographic(p.Zone, NorthAmerican1983, p.Northing, p.Easting);
    p.Latitude = g.Latitude;
    p.Longitude = g.Longitude;
    return p;
}

QPoint TMapViewState::PositionToPixel(double latitude, double longitude, int mosaicHeight) const {
    const TUtmPosition own = GeographicToUtm(NorthAmerican1983, latitude, longitude);
    const TUtmPosition here =
        UtmToOtherZone(own.Zone, Zone, NorthAmerican1983, own.Northing, own.Easting);
    return {RoundHalfEven((here.Easting - Easting) / Scale),
            mosaicHeight - RoundHalfEven((here.Northing - Northing) / Scale)};
}

TGeoPosition TMapViewState::MosaicCentre() const {
    const QSize size = MosaicSize();
    const TMapPosition p = PixelToPosition(size.width() / 2, size.height() / 2, size.height());
    return {p.Longitude, p.Latitude};
}

void TMapViewState::CentreOn(double latitude, double longitude) {
    const TUtmPosition u = GeographicToUtm(NorthAmerican1983, latitude, longitude);
    Zone = u.Zone;
    Easting = u.Easting - (TileCountX / 2.0) * TileSize * Scale;
    Northing = u.Northing - (TileCountY / 2.0) * TileSize * Scale;
}

} // namespace varrow
