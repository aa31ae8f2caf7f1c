// A KMZ overlay placed exactly: the map warped into a latitude/longitude grid
// lands within a pixel of its ground position, where the plain corner box
// lands tens of pixels off three degrees from the zone's central meridian.

#include "export/KmlWarp.h"

#include "KmzPeers.h"
#include "geo/Georef.h"

#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace varrow {
namespace {

// A map of 5 × 5 tiles at 4 m per pixel whose middle lies offDegrees east of
// zone 13's central meridian (105° W), at 36° N.
TMapViewState MapAt(double offDegrees) {
    TMapViewState view;
    view.Scale = 4.0;
    view.TileCountX = view.TileCountY = 5;
    const TUtmPosition centre =
        GeographicToUtmInZone(13, NorthAmerican1983, 36.0, -105.0 + offDegrees);
    view.Zone = 13;
    view.Easting = std::round(centre.Easting - 2000.0);
    view.Northing = std::round(centre.Northing - 2000.0);
    return view;
}

// Mosaic points at the corners and the middle of the map.
const QPointF Points[] = {{0.5, 0.5}, {999.5, 0.5}, {0.5, 999.5}, {999.5, 999.5}, {500.5, 500.5}};

// How far the overlay shows a mosaic point from its true place, in pixels,
// when the mosaic is laid unwarped into the box of its corners.
double PlainError(const TMapViewState& view, QPointF p) {
    const TOverlayInfo box = ComputeOverlayBounds(view, QSize(1000, 1000));
    const TGeoPosition g = UtmToGeographic(view.Zone, NorthAmerican1983,
                                           view.Northing + (1000 - p.y()) * view.Scale,
                                           view.Easting + p.x() * view.Scale);
    const QPointF shown((g.Longitude - box.West) / (box.East - box.West) * 1000,
                        (box.North - g.Latitude) / (box.North - box.South) * 1000);
    return std::hypot(shown.x() - p.x(), shown.y() - p.y());
}

TEST(KmlWarp, ThePlainBoxIsTensOfPixelsOffAwayFromTheCentralMeridian) {
    double worst = 0;
    for (const QPointF p : Points)
        worst = std::max(worst, PlainError(MapAt(3.0), p));
    EXPECT_GT(worst, 10.0) << "the fault the warp mends";
    RecordProperty("plain_worst_px_3deg", std::to_string(worst));
}

TEST(KmlWarp, EveryPointOfTheWarpedOverlayIsWithinAPixelOfItsPlace) {
    for (const double off : {0.0, 3.0}) {
        SCOPED_TRACE(off);
        const TMapViewState view = MapAt(off);
        // Thin black lines through the points on white: where the warp puts
        // them shows whether it puts them right.
        QImage mosaic(1000, 1000, QImage::Format_RGB32);
        mosaic.fill(Qt::white);
        for (const QPointF p : Points)
            for (int k = 0; k < 1000; ++k)
                mosaic.setPixel(static_cast<int>(p.x()), k, qRgb(0, 0, 0));
        const TLatLongWarp warp(view, mosaic.size());
        const QImage overlay = warp.Warp(mosaic);
        ASSERT_EQ(overlay.size(), warp.Size());
        EXPECT_NEAR(warp.Size().width(), 1000, 60);
        for (const QPointF p : Points) {
            // The exact inverse of the overlay's own mapping.
            const QPointF o = warp.OverlayPointOf(p);
            const QPointF back = warp.MosaicPointOf(o.x() - 0.5, o.y() - 0.5);
            EXPECT_NEAR(back.x(), p.x(), 1e-3); // the conversions round trip to 0.3 mm
            EXPECT_NEAR(back.y(), p.y(), 1e-3);
            // The line's darkest pixel along the overlay row lies within a
            // pixel of where the mapping says (the warp interpolates its points).
            const int row = std::clamp(static_cast<int>(o.y()), 0, overlay.height() - 1);
            int darkest = -1, level = 256;
            for (int x = std::max(0, static_cast<int>(o.x()) - 6);
                 x < std::min(overlay.width(), static_cast<int>(o.x()) + 7); ++x) {
                const QRgb c = overlay.pixel(x, row);
                if (qAlpha(c) != 0 && qGray(c) < level) {
                    level = qGray(c);
                    darkest = x;
                }
            }
            ASSERT_GE(darkest, 0);
            EXPECT_LE(std::abs(darkest + 0.5 - o.x()), 1.0) << p.x() << "," << p.y();
        }
        // Where the box reaches past the map the overlay is clear.
        EXPECT_EQ(qAlpha(overlay.pixel(0, 0)) == 0 || qAlpha(overlay.pixel(overlay.width() - 1, 0)) == 0,
                  off != 0.0);
    }
}

TEST(KmlWarp, AnExactKmzHoldsTheWarpedPngAndOtherProgramsPlaceIt) {
    QTemporaryDir dir;
    const TMapViewState view = MapAt(3.0);
    QImage mosaic(1000, 1000, QImage::Format_RGB32);
    mosaic.fill(qRgb(90, 140, 60));
    const QString kmz = dir.filePath(QStringLiteral("Edge.kmz"));
    WriteKmzFile(kmz, mosaic, view, true);
    const TLatLongWarp warp(view, mosaic.size());
    test::ExpectPeersRead(kmz, warp.Size(), warp.Box());
    const QByteArray kml = test::Unzipped(kmz, QStringLiteral("doc.kml"));
    EXPECT_TRUE(kml.contains("<href>files/Edge.png</href>")) << kml.toStdString();
    const QImage png = QImage::fromData(test::Unzipped(kmz, QStringLiteral("files/Edge.png")));
    EXPECT_EQ(png.size(), warp.Size());
    EXPECT_TRUE(png.hasAlphaChannel());
}

} // namespace
} // namespace varrow
