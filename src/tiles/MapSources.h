#pragma once

// The map sources a user can choose, as one value that the settings file,
// the settings dialog and the command lines share, and the source each
// choice makes.

#include "TileDiskCache.h"
#include "TileSource.h"

#include <QStringList>

#include <array>

namespace varrow {

enum class TMapSourceKind { Demo, UsgsTopo, UsgsImagery, UsgsImageryTopo, Xyz, Service };
constexpr int MapSourceKindCount = 6;

// "demo", "usgs-topo", "usgs-imagery", "usgs-imagery-topo", "xyz", "service".
QString MapSourceId(TMapSourceKind kind);
bool MapSourceKindOfId(const QString& id, TMapSourceKind& kind);
// "Demo landscape", "USGS Topo", ..., "Custom XYZ", "Tile service (tile.ashx)".
QString MapSourceLabel(TMapSourceKind kind);

// The USGS National Map's cached basemaps: public domain, zoom 16 at most.
extern const char* const UsgsTopoTemplate;
extern const char* const UsgsImageryTemplate;
extern const char* const UsgsImageryTopoTemplate;
extern const char* const UsgsAttribution; // "USGS The National Map"
constexpr int UsgsMaxZoom = 16;

// A service of the user's own. A theme without a template borrows one: Topo
// and Color Aerial each other's, Aerial Color Aerial's in grey.
struct TCustomXyzSource {
    std::array<QString, ThemeCount> Templates; // by TTileTheme value
    QString Name;
    QString Attribution;
    QStringList Subdomains{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    int MaxZoom = UsgsMaxZoom;
};

struct TMapSourceChoice {
    TMapSourceKind Kind = TMapSourceKind::Demo;
    QString Service; // tile.ashx base address; empty: the built-in one
    TCustomXyzSource Custom;
    bool Offline = false; // never ask a service: only what the disk cache holds
    QString CacheRoot;    // empty: $VARROW_CACHE, else the platform's cache folder
    qint64 CacheLimitBytes = TTileDiskCache::DefaultLimitBytes;
};

// The folder of the disk cache a choice uses.
QString DiskCacheFolder(const TMapSourceChoice& choice);

// Throws TTileError naming what is wrong (an address or template that
// cannot be one).
TTileSourcePtr MakeTileSource(const TMapSourceChoice& choice);

// A source as the command lines name it: demo, usgs-topo, usgs-imagery,
// usgs-imagery-topo, xyz:TEMPLATE, or the http(s) address of a tile.ashx
// service. Sets the kind and its address or template in choice and leaves
// the rest; false with a message naming the text and the choices.
bool ParseSourceArgument(const QString& text, TMapSourceChoice& choice, QString& error);

} // namespace varrow
