#pragma once

// A KMZ ground overlay is a box of latitude and longitude, stretched
// linearly; the map follows the UTM grid, which meets the meridians at an
// angle away from the zone's central meridian (about 2 degrees at 3 degrees
// off it). Laid into its box as it is, the map lands tens of pixels off at
// its corners. Warped into a latitude/longitude grid first, every pixel of
// the overlay shows the mosaic pixel that lies where the overlay puts it.

#include "export/KmlExport.h"

#include "io/SaveProgress.h"

#include <QImage>
#include <QPointF>

namespace varrow {

// Where a pixel of the warped overlay takes its colour from: the overlay's
// box and size, and the map it was made of.
class TLatLongWarp {
public:
    TLatLongWarp(const TMapViewState& loadedView, QSize mosaicSize);

    // The box of the whole map, widened to its extreme longitudes and latitudes.
    const TOverlayInfo& Box() const { return m_box; }
    QSize Size() const { return m_size; }
    // The exact mosaic point (pixel units, 0,0 the top-left corner) under the
    // centre of overlay pixel (column, row).
    QPointF MosaicPointOf(double column, double row) const;
    // The overlay point where a mosaic point lies.
    QPointF OverlayPointOf(QPointF mosaic) const;

    // The overlay picture: the mosaic resampled (bilinear) at each pixel's
    // point, transparent where the box reaches past the map. The points come
    // from an exact grid every few pixels, interpolated between.
    // With progress, it hears the share of rows done and may cancel
    // (ESaveCancelled).
    QImage Warp(const QImage& mosaic, const TSaveProgress* progress = nullptr) const;

private:
    TMapViewState m_view;
    QSize m_mosaic;
    TOverlayInfo m_box;
    QSize m_size;
    double m_dLon = 0.0, m_dLat = 0.0; // degrees per overlay pixel
};

} // namespace varrow
