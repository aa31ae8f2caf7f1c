#pragma once

// Moving the mosaic over the earth: pans by whole tiles, zone buttons, zero
// offset, scale/theme/size changes, dragging and double-click zoom. Each
// operation edits the session's view and starts the load it calls for.

#include "tiles/TileLibrary.h"

#include <QPoint>

namespace varrow {

class TMapSession;

class TNavigator {
public:
    explicit TNavigator(TMapSession& session) : m_session(session) {}

    void Pan(int dx, int dy); // tiles; +x east, +y north
    void ZeroOffset();
    void WestZone();
    void EastZone();
    // A position typed into the easting/northing fields: no load.
    void SetPosition(double easting, double northing);
    void SetZone(int zone);
    void ChangeScale(int scaleIndex); // keeps the centre
    void ChangeTheme(TTileTheme theme);
    void ChangeTileCounts(int tilesX, int tilesY);
    void ChangeSpeed(bool dialup);

    // Dragging, in mosaic pixels. While dragging the view shows the mosaic
    // shifted by DragOffset(); the release moves the view and loads.
    void DragBegin(QPoint mosaicPoint);
    QPoint DragMove(QPoint mosaicPoint);
    void DragEnd(QPoint mosaicPoint);
    bool Dragging() const { return m_dragging; }
    QPoint DragOffset() const { return m_dragOffset; }

    // Centres the view on the clicked mosaic pixel, then zooms one scale step
    // in or out when asked. mosaicCentre is the mosaic pixel shown at the
    // centre of the image control.
    void DoubleClick(QPoint mosaicPoint, QPoint mosaicCentre, bool zoomIn, bool zoomOut);

private:
    // Moves the view so that mosaic point from lands on to; no load.
    void ShiftView(QPoint from, QPoint to);
    void MoveBy(QPoint from, QPoint to);

    TMapSession& m_session;
    bool m_dragging = false;
    QPoint m_dragStart;
    QPoint m_dragOffset;
};

} // namespace varrow
