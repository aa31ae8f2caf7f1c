#include "Navigation.h"

#include "workspace/MapSession.h"

#include <QtGlobal>

namespace varrow {

void TNavigator::Pan(int dx, int dy) {
    TMapViewState& view = m_session.View();
    const TTileLocation here = view.CaptureView();
    std::int32_t column = here.Tile.X + dx;
    std::int32_t zone = view.Zone;
    WrapTileColumn(column, zone, view.Scale);
    // The offsets inside the tile stay; only the tile moves.
    UtmFromTile({column, here.Tile.Y + dy}, here.Offset, view.Scale, view.Easting, view.Northing);
    view.Zone = zone;
    m_session.ViewEdited();
    m_session.LoadCurrentView(false);
}

void TNavigator::ZeroOffset() {
    TMapViewState& view = m_session.View();
    const TTileLocation here = view.CaptureView();
    UtmFromTile(here.Tile, {0, 0}, view.Scale, view.Easting, view.Northing);
    m_session.ViewEdited();
    m_session.LoadCurrentView(true);
}

void TNavigator::WestZone() {
    TMapViewState& view = m_session.View();
    const int zone = WestZoneOf(view.Zone);
    const TZoneEdges edges = ZoneEdgeEastings(zone, NorthAmerican1983, view.Northing);
    // The mosaic's centre lands on the edge the two zones share.
    view.Easting = edges.East - view.TileCountX * TileSize * view.Scale / 2;
    view.Zone = zone;
    m_session.ViewEdited();
    m_session.LoadCurrentView(false);
}

void TNavigator::EastZone() {
    TMapViewState& view = m_session.View();
    const int zone = EastZoneOf(view.Zone);
    const TZoneEdges edges = ZoneEdgeEastings(zone, NorthAmerican1983, view.Northing);
    view.Easting = edges.West - view.TileCountX * TileSize * view.Scale / 2;
    view.Zone = zone;
    m_session.ViewEdited();
    m_session.LoadCurrentView(false);
}

void TNavigator::SetPosition(double easting, double northing) {
    m_session.View().Easting = easting;
    m_session.View().Northing = northing;
    m_session.ViewEdited();
}

void TNavigator::SetZone(int zone) { m_session.View().Zone = zone; }

void TNavigator::ChangeScale(int scaleIndex) {
    TMapViewState& view = m_session.View();
    const double oldScale = view.Scale;
    const double newScale = ScaleOfIndex(scaleIndex);
    view.Scale = newScale;
    // Keep the centre: the corner moves by half the change of the mosaic's extent.
    view.Easting -= (view.TileCountX * TileSize * newScale - view.TileCountX * TileSize * oldScale) / 2;
    view.Northing -= (view.TileCountY * TileSize * newScale - view.TileCountY * TileSize * oldScale) / 2;
    m_session.ViewEdited();
    m_session.LoadCurrentView(true);
}

void TNavigator::ChangeTheme(TTileTheme theme) {
    m_session.View().Theme = theme;
    m_session.LoadCurrentView(false);
}

void TNavigator::ChangeTileCounts(int tilesX, int tilesY) {
    TMapViewState& view = m_session.View();
    view.TileCountX = qBound(TMapViewState::MinTileCount, tilesX, TMapViewState::MaxTileCount);
    view.TileCountY = qBound(TMapViewState::MinTileCount, tilesY, TMapViewState::MaxTileCount);
    m_session.LoadCurrentView(true);
}

void TNavigator::ChangeSpeed(bool dialup) {
    m_session.View().Speed = dialup ? TConnectionSpeed::Dialup : TConnectionSpeed::Broadband;
}

void TNavigator::DragBegin(QPoint mosaicPoint) {
    m_dragging = true;
    m_dragStart = mosaicPoint;
    m_dragOffset = QPoint();
}

QPoint TNavigator::DragMove(QPoint mosaicPoint) {
    if (m_dragging)
        m_dragOffset = mosaicPoint - m_dragStart;
    return m_dragOffset;
}

void TNavigator::DragEnd(QPoint mosaicPoint) {
    if (!m_dragging)
        return;
    m_dragging = false;
    m_dragOffset = QPoint();
    MoveBy(m_dragStart, mosaicPoint);
}

void TNavigator::ShiftView(QPoint from, QPoint to) {
    TMapViewState& view = m_session.View();
    const QPoint d = to - from;
    // Mosaic y grows southwards, northings northwards.
    view.Easting -= d.x() * view.Scale;
    view.Northing += d.y() * view.Scale;
    WrapEasting(view.Easting, view.Zone);
}

void TNavigator::MoveBy(QPoint from, QPoint to) {
    ShiftView(from, to);
    m_session.ViewEdited();
    m_session.LoadCurrentView(false);
}

void TNavigator::DoubleClick(QPoint mosaicPoint, QPoint mosaicCentre, bool zoomIn, bool zoomOut) {
    m_dragging = false;
    const int index = ScaleIndexOf(m_session.View().Scale);
    int zoomed = -1;
    if (index >= 0 && zoomIn && index < ScaleCount - 1)
        zoomed = index + 1;
    else if (index >= 0 && zoomOut && index > 0)
        zoomed = index - 1;
    if (zoomed < 0) {
        MoveBy(mosaicPoint, mosaicCentre);
        return;
    }
    // One load for the centred and zoomed view, not a load of the centred
    // view that the zoom aborts at once.
    ShiftView(mosaicPoint, mosaicCentre);
    ChangeScale(zoomed);
}

} // namespace varrow
