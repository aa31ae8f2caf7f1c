#pragma once

// Puts the grid the user asked for on every map: before a load starts it
// tells the session whether the loader frames the tiles, and once the load
// has finished it draws the latitude/longitude grid into the mosaic.

#include "workspace/MapViewState.h"

#include <QObject>

#include <functional>

class QAbstractButton;

namespace varrow {

class TMapSession;
class TSettingsDlg;

class TGridControl : public QObject {
    Q_OBJECT
public:
    // showGrid: the "Show Grid" check box; settings: whose "Grid Type" is used.
    TGridControl(TMapSession& session, const QAbstractButton* showGrid,
                 const TSettingsDlg* settings, QObject* parent = nullptr);

    bool ShowGrid() const;
    int GridType() const;
    bool WantsTileOutlines() const;
    bool WantsLatLongGrid() const;

    // The scale selector's item; by default the item of the view's scale.
    std::function<int()> ScaleItem;

    // Draws the latitude/longitude grid into the finished mosaic when it is
    // wanted, for the view that was loaded, and reports the whole mosaic
    // changed. Call it once the load has
    // completed and before the image control takes its background copy, so
    // that restoring the copy (the measuring tool does) keeps the grid.
    void DrawLatLongGrid();

private:
    void LoadStarting();

    TMapSession& m_session;
    const QAbstractButton* m_showGrid;
    const TSettingsDlg* m_settings;
    // The view as the load started: the live one may have moved on since
    // (a position typed, an index map pressed) without loading.
    TMapViewState m_loadedView;
};

} // namespace varrow
