#pragma once

// Command line of varrow-render: what map to build and where to write it.

#include "print/PrintLayout.h"
#include "tiles/MapSources.h"
#include "workspace/GridOverlay.h"
#include "workspace/MapViewState.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace varrow {

struct TRenderOptions {
    TMapViewState View;   // corner, zone, theme, scale, tile counts, speed
    TGridOptions Grid;    // the grid drawn into the map, none by default
    QString Service;      // empty: the usual resolution order
    bool HasSource = false; // --source given: the map source instead of the stored one
    TMapSourceChoice Source;
    bool Offline = false;  // --offline: only what the disk cache holds
    QString CacheRoot;     // --cache: the disk cache folder
    QString Output;       // the image; may be empty when another output is asked for
    QString PrintFile;    // --print: the map printed into a PDF file
    QString KmzFile;      // --kmz: a KMZ ground overlay of the map
    bool KmzExact = false; // --kmz-exact: warped to lie exactly where it belongs
    QString Position;     // --position: the name of a saved position to build
    QString Positions;    // --positions: the position list file, the user's by default
    TPrintSettings Print;
    bool WorldFile = false; // --world-file: world file, .prj and GeoTIFF tags
    bool AllowLost = false;
    bool Quiet = false;
    bool ShowHelp = false;
    bool ShowVersion = false;
};

// Parses the arguments (without the program name). On a bad argument returns
// nothing and sets error to a message naming the bad value and the allowed ones.
std::optional<TRenderOptions> ParseRenderOptions(const QStringList& args, QString& error);

QString RenderUsage();

} // namespace varrow
