#pragma once

// Tile addressing: the tile grid of a UTM zone, scale and theme codes, the
// request URL, and the rule that moves a column off one zone into the next.

#include <QString>

#include <array>
#include <cstdint>

namespace varrow {

constexpr int TileSize = 200;         // pixels, width and height of every tile
constexpr double ZoneSpan = 921600.0; // metres of easting one zone's tile grid covers
constexpr int MaxTilesPerSide = 75;    // a map is 1 to 75 tiles in each direction

// Enumeration values are what records, the cache and the position file carry;
// they are not the order of the theme selector (see ThemeFromSelectorIndex).
enum class TTileTheme : std::uint8_t { Aerial = 0, Topo = 1, ColorAerial = 2 };

constexpr int ThemeCount = 3;
// The one mapping between the theme selector ("Topo", "Aerial", "Color Aerial")
// and the enumeration.
TTileTheme ThemeFromSelectorIndex(int index);
int SelectorIndexOfTheme(TTileTheme theme);
QString ThemeLabel(TTileTheme theme);

constexpr int ScaleCount = 12;
// Scale of selector index i: 512 / 2^i metres per pixel. Index is clamped.
double ScaleOfIndex(int index);
// Selector index of one of the twelve scales, or -1.
int ScaleIndexOf(double scale);
QString ScaleLabel(int index);

struct TPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    friend bool operator==(const TPoint& a, const TPoint& b) { return a.X == b.X && a.Y == b.Y; }
    friend bool operator!=(const TPoint& a, const TPoint& b) { return !(a == b); }
};

struct TTileLocation {
    QString Name; // free text, at most 255 characters
    TTileTheme Theme = TTileTheme::Topo;
    double Scale = 512.0; // metres per pixel
    TPoint Tile;          // column, row
    TPoint Offset;        // pixels east and north of the tile's south-west corner
    std::int32_t Zone = 13;
    bool Outline = false; // frame each tile when drawn
};

// Tile identity: theme, scale, column, row and zone only.
bool SameTile(const TTileLocation& a, const TTileLocation& b);

// "Location-X-Y", the name of a location captured from the view.
QString LocationName(const TPoint& tile);

void TileFromUtm(double easting, double northing, double scale, TPoint& tile, TPoint& offset);
void UtmFromTile(const TPoint& tile, const TPoint& offset, double scale, double& easting,
                 double& northing);

int ThemeCode(TTileTheme theme);
int ScaleCode(double scale);

// The address the bundled service listens on.
extern const char* const DefaultTileService;
// Base address of the tile service: $VARROW_TILE_SERVICE, else the configured
// value when not empty, else DefaultTileService. Trailing slashes are dropped.
QString ResolveTileService(const QString& configured = QString());
// Why an address cannot be a tile service (it must be http:// or https:// with
// a host, and no query), naming it; empty when it can.
QString TileServiceProblem(const QString& base);

QString BuildTileUrl(const TTileLocation& location, const QString& serviceBase);
QString BuildTileUrl(const TTileLocation& location); // with ResolveTileService()

// "A map is 1 to 75 tiles in each direction, not 80 × 3." when either count
// is out of range, empty otherwise.
QString TileCountProblem(int nx, int ny);

// UTM zones are 1 to 60 north of the equator and -1 to -60 south of it.
bool IsValidZone(int zone);
// "Zone 0 does not exist: ..." for a zone that is not, empty otherwise.
QString ZoneProblem(int zone);
// The zone east (west) of a zone in its own hemisphere: east of 13 is 14, east
// of -13 is -14; east of 60 is 1 and east of -60 is -1. Zones that do not
// exist are moved by one as if they were northern.
std::int32_t EastZoneOf(std::int32_t zone);
std::int32_t WestZoneOf(std::int32_t zone);

int TilesPerZone(double scale);
// A column off either side of the zone's tile grid moves into the neighbour zone.
void WrapTileColumn(std::int32_t& column, std::int32_t& zone, double scale);
void WrapEasting(double& easting, std::int32_t& zone);

} // namespace varrow
