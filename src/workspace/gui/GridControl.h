#pragma once

// Puts the grid the user asked for on every map: before a load starts it
// tells the session whether the loader frames the tiles, and once the load
// has finished it draws the latitude/longitude grid into the mosaic.

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
    // wanted, and reports the whole mosaic changed. Call it once the load has
    // completed and the image control has taken its background copy: that
    // copy is the map without the grid.
    void DrawLatLongGrid();

private:
    void LoadStarting();

    TMapSession& m_session;
    const QAbstractButton* m_showGrid;
    const TSettingsDlg* m_settings;
};

} // namespace varrow
