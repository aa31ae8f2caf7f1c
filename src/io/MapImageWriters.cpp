#include "io/MapImageWriters.h"

#include "io/AtomicFile.h"
#include "io/ColourQuantiser.h"
#include "io/GeoReference.h"
#include "io/RgbScanlines.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace varrow {

namespace {

// Header bytes in either byte order.
class THeader {
public:
    void Bytes(const char* text, int count) { Data.append(text, count); }
    void Zeros(int count) { Data.append(count, '\0'); }
    void Le16(std::uint32_t v) { Put(v, 2, false); }
    void Le32(std::uint32_t v) { Put(v, 4, false); }
    void Be16(std::uint32_t v) { Put(v, 2, true); }
    void Be32(std::uint32_t v) { Put(v, 4, true); }
    void Byte(std::uint32_t v) { Put(v, 1, false); }
    const QByteArray& Bytes() const { return Data; }

private:
    void Put(std::uint32_t v, int size, bool bigEndian) {
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (bigEndian ? size - 1 - i : i);
            Data.append(static_cast<char>((v >> shift) & 0xffu));
        }
    }
    QByteArray Data;
};

void CheckSize(const QImage& bitmap) {
    if (bitmap.isNull()) throw EFileWriteError("Invalid Pixel Format");
    if (bitmap.width() > 0xffff || bitmap.height() > 0xffff)
        throw EFileWriteError("The picture is too large for this file format");
}

// --- TIFF ----------------------------------------------------------------------------------

constexpr std::uint32_t TiffDataOffset = 36;
constexpr int TiffEntryCount = 15;
constexpr std::uint32_t TiffShort = 3, TiffLong = 4, TiffRational = 5, TiffAscii = 2,
                        TiffDouble = 12;

// The GeoTIFF tags that place a map: its pixel size, the point of its
// top-left corner, and the keys naming its projected system (PixelIsArea:
// the tie point is the corner of the pixel, not its centre).
constexpr int GeoTiffEntries = 3;
constexpr std::uint32_t GeoKeyShorts = 4 + 4 * 4;
constexpr std::uint32_t GeoTiffExtraBytes = 8 * 3 + 8 * 6 + 2 * GeoKeyShorts;

void AppendDouble(THeader& data, double value) {
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    data.Le32(static_cast<std::uint32_t>(bits & 0xffffffffu));
    data.Le32(static_cast<std::uint32_t>(bits >> 32));
}

QByteArray GeoTiffData(const TGeoReference& geo) {
    THeader data;
    for (const double v : {geo.PixelSize, geo.PixelSize, 0.0}) // ModelPixelScale
        AppendDouble(data, v);
    for (const double v : {0.0, 0.0, 0.0, geo.West, geo.North, 0.0}) // ModelTiepoint
        AppendDouble(data, v);
    const std::uint32_t keys[GeoKeyShorts] = {
        1,    1, 0, 4,                                          // version 1.1.0, four keys
        1024, 0, 1, 1,                                          // model type: projected
        1025, 0, 1, 1,                                          // raster type: pixel is area
        3072, 0, 1, static_cast<std::uint32_t>(EpsgCode(geo.Zone)), // projected system
        3076, 0, 1, 9001};                                      // linear units: metre
    for (const std::uint32_t k : keys)
        data.Le16(k);
    return data.Bytes();
}

void WriteTiff(const QImage& bitmap, QIODevice& out, const TGeoReference* geo,
               const TSaveProgress* progress, const QString& artist) {
    CheckSize(bitmap);
    // The credit of the map's source goes only into a placed file: the plain
    // file keeps its fixed layout.
    QByteArray credit = geo ? artist.toUtf8() : QByteArray();
    if (!credit.isEmpty()) credit.append('\0');
    const int entries = TiffEntryCount + (geo ? GeoTiffEntries : 0) + (credit.isEmpty() ? 0 : 1);
    const std::uint32_t width = static_cast<std::uint32_t>(bitmap.width());
    const std::uint32_t height = static_cast<std::uint32_t>(bitmap.height());
    const std::uint64_t dataSize = std::uint64_t{width} * 3 * height;
    const std::uint64_t directory = TiffDataOffset + dataSize;
    const std::uint64_t extra = directory + 2 + 12 * entries + 4;
    if (extra + (geo ? GeoTiffExtraBytes : 0) + credit.size() > 0xffffffffu)
        throw EFileWriteError("The picture is too large for a TIFF file");

    THeader head;
    head.Bytes("II", 2);
    head.Le16(42);
    head.Le32(static_cast<std::uint32_t>(directory));
    head.Le32(100); // X resolution 100/1
    head.Le32(1);
    head.Le32(100); // Y resolution 100/1
    head.Le32(1);
    head.Le32(0);
    head.Bytes("Quenlock", 8); // software name, no terminating zero
    WriteBytes(out, head.Bytes());

    TRgbScanlines rows(bitmap, progress);
    std::vector<char> line(width * 3);
    for (std::uint32_t y = 0; y < height; ++y) {
        const QRgb* row = rows.Row(static_cast<int>(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            line[3 * x] = static_cast<char>(qRed(row[x]));
            line[3 * x + 1] = static_cast<char>(qGreen(row[x]));
            line[3 * x + 2] = static_cast<char>(qBlue(row[x]));
        }
        WriteBytes(out, line.data(), static_cast<qint64>(line.size()));
    }

    // The directory follows the pixels directly. It has no extra-samples entry: readers take
    // one of three samples for alpha when it is there.
    THeader dir;
    auto entry = [&dir](std::uint32_t tag, std::uint32_t type, std::uint32_t count,
                        std::uint32_t value) {
        dir.Le16(tag);
        dir.Le16(type);
        dir.Le32(count);
        if (type == TiffShort && count == 1) { // held in place; longer arrays by offset
            dir.Le16(value);
            dir.Le16(0);
        } else {
            dir.Le32(value);
        }
    };
    dir.Le16(static_cast<std::uint32_t>(entries));
    entry(254, TiffLong, 1, 0);                                    // new subfile type
    entry(256, TiffShort, 1, width);                               // image width
    entry(257, TiffShort, 1, height);                              // image length
    entry(258, TiffShort, 1, 8);                                   // bits per sample
    entry(259, TiffShort, 1, 1);                                   // no compression
    entry(262, TiffShort, 1, 2);                                   // RGB
    entry(273, TiffLong, 1, TiffDataOffset);                       // strip offset
    entry(277, TiffShort, 1, 3);                                   // samples per pixel
    entry(278, TiffLong, 1, height);                               // rows per strip
    entry(279, TiffLong, 1, static_cast<std::uint32_t>(dataSize)); // strip byte count
    entry(282, TiffRational, 1, 8);                                // X resolution
    entry(283, TiffRational, 1, 16);                               // Y resolution
    entry(284, TiffShort, 1, 1);                                   // chunky planes
    entry(296, TiffShort, 1, 2);                                   // resolution in inches
    entry(305, TiffAscii, 8, 28);                                  // software
    if (!credit.isEmpty())
        entry(315, TiffAscii, static_cast<std::uint32_t>(credit.size()), // artist
              static_cast<std::uint32_t>(extra + GeoTiffExtraBytes));
    if (geo) {
        const auto at = static_cast<std::uint32_t>(extra);
        entry(33550, TiffDouble, 3, at);                     // ModelPixelScale
        entry(33922, TiffDouble, 6, at + 8 * 3);             // ModelTiepoint
        entry(34735, TiffShort, GeoKeyShorts, at + 8 * 9);   // GeoKeyDirectory
    }
    dir.Le32(0); // no next directory
    QByteArray tail = dir.Bytes();
    if (geo) tail += GeoTiffData(*geo);
    tail += credit;
    WriteBytes(out, tail);
}

// --- PCX -----------------------------------------------------------------------------------

// One plane line: runs of up to 63 equal bytes as 192 + length and the byte; a lone byte
// below 192 stands for itself.
void EncodePcxLine(const std::uint8_t* line, int count, QByteArray& out) {
    int i = 0;
    while (i < count) {
        const std::uint8_t value = line[i];
        int run = 1;
        while (i + run < count && run < 63 && line[i + run] == value)
            ++run;
        if (run == 1 && value < 192) {
            out.append(static_cast<char>(value));
        } else {
            out.append(static_cast<char>(192 + run));
            out.append(static_cast<char>(value));
        }
        i += run;
    }
}

std::uint32_t DotsPerInch(int dotsPerMetre) {
    const double dpi = std::nearbyint(dotsPerMetre * 0.0254); // ties to even
    return static_cast<std::uint32_t>(std::clamp(dpi, 0.0, 65535.0));
}

void WritePcx(const QImage& bitmap, QIODevice& out, const TSaveProgress* progress) {
    CheckSize(bitmap);
    const int width = bitmap.width();
    const int height = bitmap.height();
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);

    THeader head;
    head.Byte(10); // manufacturer
    head.Byte(5);  // version
    head.Byte(1);  // run-length encoded
    head.Byte(8);  // bits per pixel per plane
    head.Le16(0);
    head.Le16(0);
    head.Le16(w - 1);
    head.Le16(h - 1);
    head.Le16(DotsPerInch(bitmap.dotsPerMeterX()));
    head.Le16(DotsPerInch(bitmap.dotsPerMeterY()));
    head.Zeros(48); // 16-colour palette
    head.Byte(0);
    head.Byte(3); // planes
    head.Le16(w); // bytes per plane line, odd widths included
    head.Le16(1); // palette information
    head.Le16(w); // screen size
    head.Le16(h);
    head.Zeros(54);
    WriteBytes(out, head.Bytes());

    TRgbScanlines rows(bitmap, progress);
    std::vector<std::uint8_t> plane(w);
    QByteArray encoded;
    encoded.reserve(2 * 3 * width);
    for (int y = 0; y < height; ++y) {
        const QRgb* row = rows.Row(y);
        encoded.clear();
        for (int shift : {16, 8, 0}) { // red, green, blue
            for (int x = 0; x < width; ++x)
                plane[x] = static_cast<std::uint8_t>((row[x] >> shift) & 0xffu);
            EncodePcxLine(plane.data(), width, encoded);
        }
        WriteBytes(out, encoded);
    }
}

// --- IFF PBM -------------------------------------------------------------------------------

void WriteLbm(const QImage& bitmap, QIODevice& out, const TSaveProgress* progress) {
    CheckSize(bitmap);
    const int width = bitmap.width();
    const int height = bitmap.height();
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);

    TRgbScanlines rows(bitmap, progress, 2); // counted, then written
    TColourQuantiser quantiser;
    for (int y = 0; y < height; ++y)
        quantiser.AddPixels(rows.Row(y), width);
    quantiser.Build(256);

    // Rows are not padded. A BODY of odd length (never the mosaic's: it is a whole number of
    // tiles wide) is followed by the pad byte that IFF readers expect after an odd chunk.
    const std::uint32_t body = w * h;
    const std::uint32_t pad = body & 1u;
    THeader head;
    head.Bytes("FORM", 4);
    head.Be32(4 + (8 + 20) + (8 + 768) + (8 + body + pad));
    head.Bytes("PBM ", 4);
    head.Bytes("BMHD", 4);
    head.Be32(20);
    head.Be16(w);
    head.Be16(h);
    head.Be16(0); // origin
    head.Be16(0);
    head.Byte(8); // planes
    head.Byte(0); // no masking
    head.Byte(0); // no compression
    head.Byte(0);
    head.Be16(255); // transparent colour
    head.Byte(1);   // aspect
    head.Byte(1);
    head.Be16(w); // page size
    head.Be16(h);
    head.Bytes("CMAP", 4);
    head.Be32(768);
    const std::vector<QRgb>& palette = quantiser.Palette();
    for (std::size_t i = 0; i < 256; ++i) {
        const QRgb c = i < palette.size() ? palette[i] : 0;
        head.Byte(static_cast<std::uint32_t>(qRed(c)));
        head.Byte(static_cast<std::uint32_t>(qGreen(c)));
        head.Byte(static_cast<std::uint32_t>(qBlue(c)));
    }
    head.Bytes("BODY", 4);
    head.Be32(body);
    WriteBytes(out, head.Bytes());

    std::vector<std::uint8_t> line(w);
    for (int y = 0; y < height; ++y) {
        quantiser.Map(rows.Row(y), width, line.data());
        WriteBytes(out, reinterpret_cast<const char*>(line.data()), width);
    }
    if (pad) WriteBytes(out, "", 1);
}

} // namespace

void WriteTiffFile(const QImage& bitmap, const QString& fileName, const TGeoReference* geo,
                   const TSaveProgress* progress, const QString& artist) {
    WriteFileAtomically(fileName,
                        [&](QIODevice& out) { WriteTiff(bitmap, out, geo, progress, artist); });
}

void WritePcxFile(const QImage& bitmap, const QString& fileName, const TSaveProgress* progress) {
    WriteFileAtomically(fileName, [&](QIODevice& out) { WritePcx(bitmap, out, progress); });
}

void WriteLbmFile(const QImage& bitmap, const QString& fileName, const TSaveProgress* progress) {
    WriteFileAtomically(fileName, [&](QIODevice& out) { WriteLbm(bitmap, out, progress); });
}

} // namespace varrow
