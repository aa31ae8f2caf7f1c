#pragma once

// The "Loader" page at the left of the map: theme, map size, connection
// speed, scale and the double-click zoom direction. It only builds and shows
// the controls; the main window wires them to the map session.

#include "workspace/MapViewState.h"

#include <QWidget>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QSpinBox;
class QToolButton;

namespace varrow {

class TLoaderPage : public QWidget {
    Q_OBJECT
public:
    explicit TLoaderPage(QWidget* parent = nullptr);

    // Shows the view's values without running the controls' handlers.
    void ShowView(const TMapViewState& view);
    // The size readouts for the tile counts the spins show.
    void UpdateSizeReadouts();

    int ThemeItem() const;
    int ScaleItem() const;
    int SpeedItem() const; // -1 when no item is selected
    bool ZoomIn() const;
    bool ZoomOut() const;

    QGroupBox* ThemeRadio = nullptr;
    QButtonGroup* ThemeButtons = nullptr;
    QSpinBox* TileCountXSpin = nullptr;
    QSpinBox* TileCountYSpin = nullptr;
    QLabel* PixelSizeDis = nullptr;
    QLabel* MemDis = nullptr;
    QLabel* TileCntDis = nullptr;
    QGroupBox* SpeedRadio = nullptr;
    QButtonGroup* SpeedButtons = nullptr;
    QGroupBox* ScaleRadio = nullptr;
    QButtonGroup* ScaleButtons = nullptr;
    QToolButton* ZoomInBtn = nullptr;
    QToolButton* ZoomOutBtn = nullptr;

signals:
    void themeClicked();
    void tileCountsChanged();
    void speedClicked();
    void scaleClicked();

private:
    QWidget* BuildSizeGroup();
    QWidget* BuildZoomGroup();
};

} // namespace varrow
