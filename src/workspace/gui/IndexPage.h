#pragma once

// The "Index" page: index maps of the conterminous United States, Alaska and
// Hawaii. Moving the mouse over a map reads out the place under it; a press
// makes that place the centre of the next map; a double click also asks for
// the map to be loaded. After every load start a cross marks the mosaic's
// centre on the map that contains it.

#include "workspace/IndexMaps.h"
#include "workspace/gui/BitCursor.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <functional>

class QLabel;

namespace varrow {

class TMapSession;
class TNavigator;

// One index map: shows its picture, with the marker drawn into it, and
// reports the mouse in control coordinates.
class TIndexMapImage : public QWidget {
    Q_OBJECT
public:
    TIndexMapImage(TIndexMap map, QWidget* parent = nullptr);

    TIndexMap Map() const { return m_map; }
    // The picture as shown, marker included.
    const QImage& Picture() const { return m_picture; }
    const TBitCursor& Marker() const { return m_marker; }

    // (x, y) in control pixels.
    void ShowMarker(int x, int y);
    void HideMarker();

    QSize sizeHint() const override;

signals:
    void mouseMoved(QPoint point);
    void mousePressed(Qt::MouseButton button, QPoint point);
    void doubleClicked(QPoint point);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPoint ControlToPicture(int x, int y) const;

    TIndexMap m_map;
    QImage m_picture;
    TBitCursor m_marker;
};

class TIndexPage : public QWidget {
    Q_OBJECT
public:
    // Marks the mosaic centre at every load start of the session.
    TIndexPage(TMapSession& session, TNavigator& navigator, QWidget* parent = nullptr);

    TIndexMapImage* MapImage(TIndexMap map) const;

    // Selects a scale item the way the scale selector does (its handler runs
    // only when the item changes). By default the navigator changes the scale
    // when the view is not at that item already; the main window may route it
    // through its own selector instead.
    std::function<void(int scaleIndex)> SelectScale;

    // Handlers, named after their control and event; points are control pixels.
    void USImageMouseMove(QPoint point) { MapMouseMove(TIndexMap::UnitedStates, point); }
    void AlaskaImageMouseMove(QPoint point) { MapMouseMove(TIndexMap::Alaska, point); }
    void HawaiiImageMouseMove(QPoint point) { MapMouseMove(TIndexMap::Hawaii, point); }
    void USImageMouseDown(QPoint point) { MapMouseDown(TIndexMap::UnitedStates, point); }
    void AlaskaImageMouseDown(QPoint point) { MapMouseDown(TIndexMap::Alaska, point); }
    void HawaiiImageMouseDown(QPoint point) { MapMouseDown(TIndexMap::Hawaii, point); }
    void USImageDblClick();
    void MarkMosaicCentre();

signals:
    // A double click on a map: show the map page and load the view.
    void loadRequested();

private:
    void MapMouseMove(TIndexMap map, QPoint point);
    void MapMouseDown(TIndexMap map, QPoint point);
    void ShowMarker(TIndexMap map, QPoint point);

    TMapSession& m_session;
    TNavigator& m_navigator;

    TIndexMapImage* USImage = nullptr;
    TIndexMapImage* AlaskaImage = nullptr;
    TIndexMapImage* HawaiiImage = nullptr;
    QLabel* USIndexLongDis = nullptr;
    QLabel* USIndexLatDis = nullptr;
    QLabel* USUTMEastDis = nullptr;
    QLabel* USUTMNorthDis = nullptr;
    QLabel* USUTMZoneDis = nullptr;
};

} // namespace varrow
