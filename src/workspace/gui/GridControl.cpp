#include "GridControl.h"

#include "tiles/TileLoader.h"
#include "workspace/GridOverlay.h"
#include "workspace/MapSession.h"
#include "workspace/gui/SettingsDlg.h"

#include <QAbstractButton>

#include <mutex>

namespace varrow {

TGridControl::TGridControl(TMapSession& session, const QAbstractButton* showGrid,
                           const TSettingsDlg* settings, QObject* parent)
    : QObject(parent), m_session(session), m_showGrid(showGrid), m_settings(settings) {
    ScaleItem = [this] { return ScaleIndexOf(m_session.View().Scale); };
    // The session reads its flag after announcing the load, so every load,
    // whoever starts it, frames its tiles as the grid choice says.
    connect(&m_session, &TMapSession::loadStarting, this, &TGridControl::LoadStarting);
}

bool TGridControl::ShowGrid() const {
    return m_showGrid != nullptr && m_showGrid->isChecked();
}

int TGridControl::GridType() const {
    return m_settings != nullptr ? m_settings->GridType() : static_cast<int>(TGridType::Minutes7_5);
}

bool TGridControl::WantsTileOutlines() const {
    return varrow::WantsTileOutlines(ShowGrid(), GridType());
}

bool TGridControl::WantsLatLongGrid() const {
    return varrow::WantsLatLongGrid(ShowGrid(), GridType());
}

void TGridControl::LoadStarting() {
    m_session.TileOutlines = WantsTileOutlines();
    m_loadedView = m_session.View();
}

void TGridControl::DrawLatLongGrid() {
    QImage& mosaic = m_session.Mosaic();
    if (!WantsLatLongGrid() || mosaic.isNull()) return;
    {
        std::lock_guard<std::recursive_mutex> guard(m_session.Loader().CanvasLock());
        varrow::DrawLatLongGrid(mosaic, m_loadedView, GridSpacing(GridType()),
                                GridLineWidth(ScaleItem ? ScaleItem() : 0));
    }
    emit m_session.mosaicChanged(mosaic.rect());
}

} // namespace varrow
