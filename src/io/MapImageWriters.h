#pragma once

// The map image formats we write ourselves: uncompressed 24-bit TIFF, 24-bit PCX (three
// run-length encoded planes) and IFF PBM (8-bit chunky pixels with a 256-colour palette).
// Each replaces fileName only once the new file is complete; every failure raises
// EFileWriteError with the system's message. Pictures must be 1 to 65535 pixels either way.

#include "io/SaveProgress.h"

#include <QImage>
#include <QString>

namespace varrow {

struct TGeoReference;

// With geo, the file also carries the GeoTIFF tags that place the map, and the
// artist when one is given.
void WriteTiffFile(const QImage& bitmap, const QString& fileName,
                   const TGeoReference* geo = nullptr, const TSaveProgress* progress = nullptr,
                   const QString& artist = QString());
void WritePcxFile(const QImage& bitmap, const QString& fileName,
                  const TSaveProgress* progress = nullptr);
void WriteLbmFile(const QImage& bitmap, const QString& fileName,
                  const TSaveProgress* progress = nullptr);

} // namespace varrow
