#pragma once

// The user defaults file "Varrow.ini" in the per-user folder: section
// "Settings" with the keys "ConnectionSpeed", "TileService" and those of the
// map source (see ReadMapSourceSetting).
//
// The INI access is our own so that reading follows our rules exactly and a
// write changes one line only, keeping every other section, key, comment and
// line end of the file as it was. Write failures are thrown as
// std::runtime_error("Unable to write to <file>: <the system's reason>").

#include "tiles/MapSources.h"

#include <QString>

#include <cstdint>

namespace varrow {

extern const char* const UserDefaultsFileName; // "Varrow.ini"
QString UserDefaultsPath();

// Section and key names compare without regard to case; the first match wins.
// Values are trimmed and lose one pair of enclosing quotes. A file that is
// missing or unreadable reads as empty.
QString ReadIniString(const QString& fileName, const QString& section, const QString& key,
                      const QString& defaultValue = QString());
// Missing key: defaultValue. More than two characters starting with "0x" or
// "0X": hexadecimal. Anything else: decimal; text that is not a 32-bit
// integer gives defaultValue.
std::int32_t ReadIniInteger(const QString& fileName, const QString& section, const QString& key,
                            std::int32_t defaultValue);
// Creates the file and the section when needed. Line breaks in value are
// dropped. Written through a temporary file renamed over the old one; an
// existing file that cannot be read is not replaced.
void WriteIniString(const QString& fileName, const QString& section, const QString& key,
                    const QString& value);
void WriteIniInteger(const QString& fileName, const QString& section, const QString& key,
                     std::int32_t value);

// The stored connection speed item, 0 when missing or unreadable.
std::int32_t ReadConnectionSpeed();
// The item a stored value selects among 0 "Broadband" and 1 "Dialup": below
// -1 gives -1 (none), 2 and above give 1.
int ConnectionSpeedSelection(std::int32_t stored);
// Stores the item index as it is (-1 when none is selected).
void WriteConnectionSpeed(int itemIndex);

// The stored tile service base address, empty when missing.
QString ReadTileServiceSetting();
void WriteTileServiceSetting(const QString& base);
// The base address to use: $VARROW_TILE_SERVICE, else the stored one, else
// the built-in default.
QString EffectiveTileService();

// The map source stored in [Settings]: MapSource (demo, usgs-topo,
// usgs-imagery, usgs-imagery-topo, xyz or service), TileService, the custom
// service's XyzTopo, XyzAerial, XyzColorAerial, XyzName, XyzAttribution,
// XyzSubdomains (comma-separated) and XyzMaxZoom, Offline (0 or 1) and
// DiskCacheMB. A missing or unknown MapSource is the demo landscape, or the
// stored TileService when there is one (files of earlier versions); numbers
// that do not read, or lie out of range, are their defaults.
TMapSourceChoice ReadMapSourceSetting();
void WriteMapSourceSetting(const TMapSourceChoice& choice);
// The source to use: a tile.ashx service at $VARROW_TILE_SERVICE when that
// is set (offline and cache settings still apply), else the stored one.
TMapSourceChoice EffectiveMapSource();
// "VARROW_TILE_SERVICE".
extern const char* const TileServiceVariable;

} // namespace varrow
