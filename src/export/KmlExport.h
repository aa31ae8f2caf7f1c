#pragma once

// "Export KML/KMZ file": the map as drawn, laid over the ground in Google Earth (or any KML
// reader). One KMZ archive holds the folder entry "files/", the map as a baseline JPEG at
// quality 90 in it, and "doc.kml", a KML 2.0 document with one ground overlay whose box is
// the geographic position of the mosaic's corners. The archive is written whatever extension
// the name has, ".kml" included.
//
// No window here: the menu command (export/gui/ExportActions.h) and varrow-render both call
// WriteKmzFile. Failures are raised as std::runtime_error with a message for the user.

#include "io/SaveProgress.h"
#include "workspace/MapViewState.h"

#include <QByteArray>

#include <pugixml.hpp>

#include <QIODevice>
#include <QImage>
#include <QSize>
#include <QString>

namespace varrow {

// The footprint of one overlay, in degrees.
struct TOverlayInfo {
    double West = 0.0;  // longitude of the mosaic's top-left corner (pixel 0, 0)
    double North = 0.0; // latitude of that corner
    double East = 0.0;  // longitude of the bottom-right corner (just outside the last pixel)
    double South = 0.0; // latitude of that corner
    double Rotation = 0.0;
    QString Href; // the image's path inside the archive, as the KML names it
};

extern const char* const KmlNamespace; // "http://earth.google.com/kml/2.0"

// The file name without its folder and without everything from its last point on:
// "C:/maps/Dallas.kmz" and "Dallas.kml" give "Dallas", ".kmz" gives "".
QString KmzBaseName(const QString& fileName);
// "files/" + base name + ".jpg" (".png"): the archive entry of the image and the KML's href.
QString OverlayImagePath(const QString& baseName, const char* extension = "jpg");

// The box of the mosaic of mosaicSize pixels that loadedView shows, with Rotation 0; Href is
// left empty. Axis-aligned in latitude and longitude, though the map follows the UTM grid.
TOverlayInfo ComputeOverlayBounds(const TMapViewState& loadedView, QSize mosaicSize);

// A new KML document: the XML declaration and the kml element in the namespace given,
// which is returned.
pugi::xml_node StartKmlDocument(pugi::xml_document& doc, const char* ns);

// Numbers as KML wants them: up to 15 significant digits, no trailing zeros, always a point
// ("0", "32.3814", "-96.9"), whatever the user's number settings.
QString KmlNumber(double value);

// doc.kml: XML declaration, two-space indentation, lines ended by CR LF. An empty Href is
// set to OverlayImagePath(baseName) first.
QByteArray BuildKmlDocument(TOverlayInfo overlay, const QString& baseName);
void BuildKmlDocument(QIODevice& out, const TOverlayInfo& overlay, const QString& baseName);

// Baseline JPEG, quality 90, 24-bit colour.
void SaveBitmapAsJpeg(const QImage& bitmap, QIODevice& out,
                      const TSaveProgress* progress = nullptr);

// Writes the whole archive to fileName. The archive is built aside and replaces fileName only
// once complete, so a failure leaves whatever file was there as it was. Placed exactly, the
// map is warped into a latitude/longitude grid first (a PNG, transparent where its box
// reaches past the map) and its box is exact; otherwise the box is the corners' and the
// image the mosaic as it is. With progress, it hears how far the export is and may cancel it
// (ESaveCancelled), leaving the file as it was.
void WriteKmzFile(const QString& fileName, const QImage& mosaic, const TMapViewState& loadedView,
                  bool placeExactly = false, const TSaveProgress* progress = nullptr);

} // namespace varrow
