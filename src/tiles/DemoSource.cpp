#include "DemoSource.h"

#include "demo/TileRenderer.h"

namespace varrow {

void TDemoSource::FetchTile(TIdHTTPEx&, const TTileLocation& location, QImage& bitmap) const {
    const demo::TileAddress address{ThemeCode(location.Theme), ScaleCode(location.Scale),
                                    location.Tile.X, location.Tile.Y, location.Zone};
    const std::string problem = demo::TileAddressProblem(address);
    if (!problem.empty()) throw TTileError("The demo landscape has no such tile: " + problem);
    bitmap = demo::RenderTile(address);
}

} // namespace varrow
