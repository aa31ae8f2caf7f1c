#pragma once

// The map side of the "Image Loader" page: the magnification bar, "Show
// Grid", the scrolling map image and the position readouts under it. It
// builds and shows; the main window wires it to the map session.

#include "workspace/Readouts.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QScrollArea;
class QSlider;
class QToolButton;

namespace varrow {

class TImageEx;

class TMapArea : public QWidget {
    Q_OBJECT
public:
    explicit TMapArea(QWidget* parent = nullptr);

    // Empty readouts leave the fields blank.
    void ShowReadouts(const TMouseReadouts& readouts);
    void ShowZoom(double factor);
    // Moves the magnification bar without running its handler.
    void SetMagPosition(int position);

    // Runs a resize of the map image keeping the point at the window's middle there.
    void KeepViewCentre(const std::function<void()>& resize);
    // Scrolls to the map's lower-left corner, where its loading starts.
    void ShowSouthWestCorner();
    // Scrolls to the middle of the map.
    void ShowMiddle();
    // The middle of the map image, in control pixels.
    QPoint ImageCentre() const;

    QSlider* MagBar = nullptr;
    QLabel* ZoomDis = nullptr;
    QToolButton* ResetBtn = nullptr;
    QCheckBox* GridChk = nullptr;
    QScrollArea* ScrollWindow1 = nullptr;
    TImageEx* TerrainImage = nullptr;
    QLabel* ImageLongDis = nullptr;
    QLabel* ImageLatDis = nullptr;
    QLabel* ImageLong2Dis = nullptr;
    QLabel* ImageLat2Dis = nullptr;
    QLabel* ImageEastDis = nullptr;
    QLabel* ImageNorthDis = nullptr;
    QLabel* ImageZoneDis = nullptr;

private:
    QLayout* BuildReadouts();
};

} // namespace varrow
