#pragma once

// "Save Map Image": the file format follows the file name's extension, compared in lower case.

#include "io/SaveProgress.h"

#include <QIODevice>
#include <QImage>
#include <QString>

namespace varrow {

enum class TMapImageFormat { Bmp, Jpeg, Tiff, Gif, Png, Pcx, Lbm };

// ".jpg"/".jpeg", ".tif"/".tiff", ".gif", ".png", ".pcx", ".lbm"; anything else is BMP.
TMapImageFormat MapImageFormatOf(const QString& fileName);

// JPEG at quality 90, baseline, as saved maps and KMZ overlays are written.
// progress as for SaveMapImage.
void WriteJpeg(const QImage& image, QIODevice& device, const TSaveProgress* progress = nullptr);
// A PNG that keeps the picture's alpha channel (the map writer's PNG is plain RGB).
void WriteTransparentPng(const QImage& image, QIODevice& device,
                         const TSaveProgress* progress = nullptr);

// Writes the mosaic (Format_RGB32) to fileName in the format its extension names: JPEG at
// quality 90, baseline; TIFF and PCX 24-bit; GIF and IFF 8-bit with a palette; PNG 24-bit;
// BMP as the picture is. The picture is read in place, never copied whole. A file of that
// name is replaced only by a complete new one; a failure raises EFileWriteError
// (io/AtomicFile.h) with the system's message.
// With geo, a TIFF file also carries the GeoTIFF tags, and every format gets
// its world file and .prj beside it.
// With progress, it hears how far the save is now and then, and may cancel
// it (ESaveCancelled): the target stays as it was.
struct TGeoReference;
struct TSaveOptions {
    const TGeoReference* Geo = nullptr;      // world files, .prj, GeoTIFF tags
    const TSaveProgress* Progress = nullptr; // told how far the save is
    // The map source's credit, in the file where its format has a place for
    // it: a PNG text chunk, a JPEG comment, a placed TIFF's artist.
    QString Attribution;
};
void SaveMapImage(const QImage& mosaic, const QString& fileName, const TSaveOptions& options);
inline void SaveMapImage(const QImage& mosaic, const QString& fileName,
                         const TGeoReference* geo = nullptr,
                         const TSaveProgress* progress = nullptr) {
    SaveMapImage(mosaic, fileName, TSaveOptions{geo, progress, QString()});
}

} // namespace varrow
