#include "TileLibrary.h"

#include <QUrl>
#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace varrow {

namespace {

struct ThemeInfo {
    TTileTheme Theme;
    const char* Label;
};
// Selector order.
constexpr std::array<ThemeInfo, ThemeCount> SelectorThemes = {{
    {TTileTheme::Topo, "Topo"},
    {TTileTheme::Aerial, "Aerial"},
    {TTileTheme::ColorAerial, "Color Aerial"},
}};

constexpr std::array<const char*, ScaleCount> ScaleLabels = {
    "512", "256", "128", "64 -  30", "32", "16 -  15", "8", "4 -   7.5", "2", "1", "0.50", "0.25"};

// Tile numbers of absurd positions (a typo in a position field, a damaged
// position file) saturate well inside the 32-bit range, so that the cast is
// defined and the loader's neighbour arithmetic cannot overflow.
constexpr double TileNumberLimit = 1.0e9;

std::int32_t TruncToInt(double v) {
    if (std::isnan(v))
        return 0;
    return static_cast<std::int32_t>(std::trunc(std::clamp(v, -TileNumberLimit, TileNumberLimit)));
}

} // namespace

TTileTheme ThemeFromSelectorIndex(int index) {
    if (index < 0 || index >= ThemeCount)
        return TTileTheme::Topo;
    return SelectorThemes[index].Theme;
}

int SelectorIndexOfTheme(TTileTheme theme) {
    for (int i = 0; i < ThemeCount; ++i)
        if (SelectorThemes[i].Theme == theme)
            return i;
    return 0;
}

QString ThemeLabel(TTileTheme theme) {
    return QString::fromLatin1(SelectorThemes[SelectorIndexOfTheme(theme)].Label);
}

double ScaleOfIndex(int index) {
    index = qBound(0, index, ScaleCount - 1);
    return std::ldexp(512.0, -index);
}

int ScaleIndexOf(double scale) {
    for (int i = 0; i < ScaleCount; ++i)
        if (ScaleOfIndex(i) == scale)
            return i;
    return -1;
}

QString ScaleLabel(int index) {
    return QString::fromLatin1(ScaleLabels[qBound(0, index, ScaleCount - 1)]);
}

bool SameTile(const TTileLocation& a, const TTileLocation& b) {
    return a.Theme == b.Theme && a.Scale == b.Scale && a.Tile == b.Tile && a.Zone == b.Zone;
}

QString LocationName(const TPoint& tile) {
    return QStringLiteral("Location-%1-%2").arg(tile.X).arg(tile.Y);
}

void TileFromUtm(double easting, double northing, double scale, TPoint& tile, TPoint& offset) {
    const double fx = easting / scale / TileSize;
    const double fy = northing / scale / TileSize;
    const double tx = std::trunc(fx), ty = std::trunc(fy);
    tile.X = TruncToInt(tx);
    tile.Y = TruncToInt(ty);
    offset.X = TruncToInt((fx - tx) * TileSize);
    offset.Y = TruncToInt((fy - ty) * TileSize);
}

void UtmFromTile(const TPoint& tile, const TPoint& offset, double scale, double& easting,
                 double& northing) {
    // The products with the tile size are integer arithmetic, as stored
    // positions were computed that way.
    easting = static_cast<double>(std::int64_t{TileSize} * tile.X) * scale + offset.X * scale;
    northing = static_cast<double>(std::int64_t{TileSize} * tile.Y) * scale + offset.Y * scale;
}

int ThemeCode(TTileTheme theme) {
    switch (theme) {
    case TTileTheme::Aerial:
        return 1;
    case TTileTheme::Topo:
        return 2;
    case TTileTheme::ColorAerial:
        return 4;
    }
    return 2;
}

int ScaleCode(double scale) {
    // log2 is exact for powers of two, so no scale of the selector lands just
    // below its integer.
    return TruncToInt(std::log2(scale)) + 10;
}

const char* const DefaultTileService = "http://127.0.0.1:8600";

QString ResolveTileService(const QString& configured) {
    QString base = qEnvironmentVariable("VARROW_TILE_SERVICE").trimmed();
    if (base.isEmpty())
        base = configured.trimmed();
    if (base.isEmpty())
        base = QString::fromLatin1(DefaultTileService);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QString BuildTileUrl(const TTileLocation& location, const QString& serviceBase) {
    return QStringLiteral("%1/tile.ashx?t=%2&s=%3&x=%4&y=%5&z=%6")
        .arg(serviceBase)
        .arg(ThemeCode(location.Theme))
        .arg(ScaleCode(location.Scale))
        .arg(location.Tile.X)
        .arg(location.Tile.Y)
        .arg(location.Zone);
}

QString BuildTileUrl(const TTileLocation& location) {
    return BuildTileUrl(location, ResolveTileService());
}

QString TileServiceProblem(const QString& base) {
    const QUrl url(base, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
        !url.host().isEmpty() && !url.hasQuery() && !url.hasFragment())
        return QString();
    return QStringLiteral("\"%1\" is not the address of a tile service: it must start with "
                          "http:// or https://, as in http://127.0.0.1:8600.")
        .arg(base);
}

QString TileCountProblem(int nx, int ny) {
    if (nx >= 1 && ny >= 1 && nx <= MaxTilesPerSide && ny <= MaxTilesPerSide) return QString();
    return QStringLiteral("A map is 1 to %1 tiles in each direction, not %2 × %3.")
        .arg(MaxTilesPerSide)
        .arg(nx)
        .arg(ny);
}

namespace {
constexpr std::int32_t ZoneCount = 60;
} // namespace

bool IsValidZone(int zone) { return zone != 0 && zone >= -ZoneCount && zone <= ZoneCount; }

QString ZoneProblem(int zone) {
    if (IsValidZone(zone)) return QString();
    return QStringLiteral("Zone %1 does not exist: UTM zones are 1 to 60, negative (-1 to -60) "
                          "south of the equator.")
        .arg(zone);
}

std::int32_t EastZoneOf(std::int32_t zone) {
    if (zone < 0 && zone >= -ZoneCount) return zone == -ZoneCount ? -1 : zone - 1;
    if (zone == ZoneCount) return 1;
    return zone + 1;
}

std::int32_t WestZoneOf(std::int32_t zone) {
    if (zone < 0 && zone >= -ZoneCount) return zone == -1 ? -ZoneCount : zone + 1;
    if (zone == 1) return ZoneCount;
    return zone - 1;
}

int TilesPerZone(double scale) { return TruncToInt(ZoneSpan / (TileSize * scale)); }

void WrapTileColumn(std::int32_t& column, std::int32_t& zone, double scale) {
    const int n = TilesPerZone(scale);
    if (column < 0) {
        column += n;
        zone = WestZoneOf(zone);
    }
    if (column > n - 1) {
        column -= n;
        zone = EastZoneOf(zone);
    }
}

void WrapEasting(double& easting, std::int32_t& zone) {
    if (easting > ZoneSpan) {
        easting -= ZoneSpan;
        zone = EastZoneOf(zone);
    }
    if (easting < 0) {
        easting = ZoneSpan - (0 - easting);
        zone = WestZoneOf(zone);
    }
}

} // namespace varrow
