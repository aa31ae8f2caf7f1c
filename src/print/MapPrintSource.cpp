#include "MapPrintSource.h"

#include "workspace/MapSession.h"

namespace varrow {

TPrintMapInfo PrintMapInfoOf(const TMapSession& session) {
    const TMapViewState& map = session.LoadedView();
    const QSize size = session.Mosaic().size();
    TPrintMapInfo info;
    info.MetresPerPixel = map.Scale;
    info.Zone = map.Zone;
    info.LowerLeftEasting = map.Easting;
    info.LowerLeftNorthing = map.Northing;
    info.UpperRightEasting = map.Easting + size.width() * map.Scale;
    info.UpperRightNorthing = map.Northing + size.height() * map.Scale;
    info.Theme = ThemeLabel(map.Theme);
    info.TileSource = session.TileSourceName();
    return info;
}

TPrintMapSource PrintMapSourceOf(const TMapSession& session) {
    TPrintMapSource source;
    source.Image = [&session]() -> const QImage& { return session.Mosaic(); };
    source.Info = [&session] { return PrintMapInfoOf(session); };
    return source;
}

} // namespace varrow
