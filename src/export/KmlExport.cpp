#include "export/KmlExport.h"

#include "export/KmlWarp.h"

#include "export/XMLDocLibrary.h"
#include "export/ZipperLib.h"
#include "io/AtomicFile.h"
#include "io/MapImageFile.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QTemporaryFile>

#include <pugixml.hpp>

#include <sstream>

namespace varrow {

const char* const KmlNamespace = "http://earth.google.com/kml/2.0";

namespace {

constexpr qint64 CopyStep = 1 << 20;

void AddText(pugi::xml_node parent, const char* name, const QString& text) {
    parent.append_child(name).text().set(text.toStdString().c_str());
}

// pugixml ends lines with LF alone; the document's lines end with CR LF.
QByteArray WithCrLf(const std::string& text) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(text.size() + text.size() / 16));
    for (const char c : text) {
        if (c == '\n') out.append('\r');
        out.append(c);
    }
    return out;
}

// The archive is built in a temporary file, since the ZIP writer works on a file; it is
// copied over the target in one replacement at the end.
void CopyInto(QIODevice& from, QIODevice& to) {
    if (!from.seek(0)) RaiseWriteError(from);
    while (!from.atEnd()) {
        const QByteArray chunk = from.read(CopyStep);
        if (chunk.isEmpty()) RaiseWriteError(from);
        WriteBytes(to, chunk);
    }
}

} // namespace

QString KmzBaseName(const QString& fileName) {
    QString name = QDir::fromNativeSeparators(fileName);
    name.remove(0, name.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype point = name.lastIndexOf(QLatin1Char('.'));
    return point < 0 ? name : name.left(point);
}

// A forward slash: readers other than Google Earth (GDAL, most KML libraries) take the href
// as a URL relative to doc.kml and find no "files\Dallas.jpg" in the archive.
QString OverlayImagePath(const QString& baseName, const char* extension) {
    return QStringLiteral("files/") + baseName + QLatin1Char('.') + QLatin1String(extension);
}

TOverlayInfo ComputeOverlayBounds(const TMapViewState& loadedView, QSize mosaicSize) {
    const int w = mosaicSize.width();
    const int h = mosaicSize.height();
    const TMapPosition topLeft = loadedView.PixelToPosition(0, 0, h);
    const TMapPosition bottomRight = loadedView.PixelToPosition(w, h, h);
    TOverlayInfo info;
    info.West = topLeft.Longitude;
    info.North = topLeft.Latitude;
    info.East = bottomRight.Longitude;
    info.South = bottomRight.Latitude;
    info.Rotation = 0.0;
    // A map across the 180th meridian ends in the east at about -179 degrees: KML lets the east
    // edge run past 180 instead, where a box from +179 to -179 would span the rest of the earth.
    if (info.East < info.West) info.East += 360.0;
    return info;
}

pugi::xml_node StartKmlDocument(pugi::xml_document& doc, const char* ns) {
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node kml = doc.append_child("kml");
    kml.append_attribute("xmlns") = ns;
    return kml;
}

QString KmlNumber(double value) {
    return FloatToText(value, QLatin1Char('.'));
}

QByteArray BuildKmlDocument(TOverlayInfo overlay, const QString& baseName) {
    if (overlay.Href.isEmpty()) overlay.Href = OverlayImagePath(baseName);
    pugi::xml_document doc;
    pugi::xml_node kml = StartKmlDocument(doc, KmlNamespace);

    pugi::xml_node ground = kml.append_child("GroundOverlay");
    AddText(ground, "name", baseName + QStringLiteral(" Map"));
    AddText(ground, "visibility", QStringLiteral("1"));
    pugi::xml_node icon = ground.append_child("Icon");
    AddText(icon, "href", overlay.Href);
    AddText(icon, "viewBoundScale", QStringLiteral("0.75"));
    pugi::xml_node box = ground.append_child("LatLonBox");
    AddText(box, "north", KmlNumber(overlay.North));
    AddText(box, "south", KmlNumber(overlay.South));
    AddText(box, "east", KmlNumber(overlay.East));
    AddText(box, "west", KmlNumber(overlay.West));
    AddText(box, "rotation", KmlNumber(overlay.Rotation));

    std::ostringstream text;
    doc.save(text, "  ", pugi::format_indent, pugi::encoding_utf8);
    return WithCrLf(text.str());
}

void BuildKmlDocument(QIODevice& out, const TOverlayInfo& overlay, const QString& baseName) {
    WriteBytes(out, BuildKmlDocument(overlay, baseName));
}

void SaveBitmapAsJpeg(const QImage& bitmap, QIODevice& out, const TSaveProgress* progress) {
    // RGB32 carries an unused alpha byte; the JPEG is plain 24-bit colour either way.
    WriteJpeg(bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_RGB888
                  ? bitmap
                  : bitmap.convertToFormat(QImage::Format_RGB32),
              out, progress);
}

void WriteKmzFile(const QString& fileName, const QImage& mosaic, const TMapViewState& loadedView,
                  bool placeExactly, const TSaveProgress* progress) {
    if (mosaic.isNull()) throw EFileWriteError("There is no map to export");
    const QString base = KmzBaseName(fileName);

    TOverlayInfo box = ComputeOverlayBounds(loadedView, mosaic.size());
    QByteArray jpeg; // the image entry, a PNG when the map is placed exactly
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        if (placeExactly) {
            const TLatLongWarp warp(loadedView, mosaic.size());
            box = warp.Box();
            box.Href = OverlayImagePath(base, "png");
            // The warp is the first half of the work, the encoding the second.
            const bool told = progress != nullptr && *progress;
            const TSaveProgress firstHalf = [&](int p) { return (*progress)(p / 2); };
            const TSaveProgress secondHalf = [&](int p) { return (*progress)(50 + p / 2); };
            WriteTransparentPng(warp.Warp(mosaic, told ? &firstHalf : nullptr), buffer,
                                told ? &secondHalf : nullptr);
        } else {
            SaveBitmapAsJpeg(mosaic, buffer, progress);
        }
    }
    const QString imagePath = box.Href.isEmpty() ? OverlayImagePath(base) : box.Href;
    QByteArray kml = BuildKmlDocument(box, base);

    QTemporaryFile archive(QDir::tempPath() + QStringLiteral("/varrow-kmz-XXXXXX"));
    if (!archive.open())
        throw EFileWriteError(
            fileName, QStringLiteral("cannot create a temporary file in %1: %2")
                          .arg(QDir::toNativeSeparators(QDir::tempPath()), archive.errorString()));
    try {
        TZipper::WriteEmptyArchive(archive);
        if (!archive.flush()) RaiseWriteError(archive);
        TZipper zip;
        zip.SetStoreRelativePath(true);
        zip.SetStoreFolders(true);
        zip.SetCompressionType(TCompressionType::ctMaximum);
        zip.OpenArchive(archive.fileName());
        if (!zip.IsZipFile()) throw EZipperError("the new archive cannot be read back");

        // One folder entry, "files/": a second entry "files" without the slash would be
        // extracted as a file that then stands in the way of the folder.
        const QDateTime now = QDateTime::currentDateTime();
        QBuffer nothing;
        nothing.open(QIODevice::ReadOnly);
        zip.AddEntry(QStringLiteral("files/"), ZipFolderAttribute, nothing, now);
        QBuffer image(&jpeg);
        image.open(QIODevice::ReadOnly);
        zip.AddEntry(imagePath, ZipFileAttribute, image, now);
        QBuffer document(&kml);
        document.open(QIODevice::ReadOnly);
        zip.AddEntry(QStringLiteral("doc.kml"), ZipFileAttribute, document, now);
        zip.CloseArchive();
    } catch (const EFileWriteError&) {
        throw;
    } catch (const std::runtime_error& e) {
        // The ZIP writer names the temporary file; the user knows the file they chose.
        throw EFileWriteError(fileName, QString::fromUtf8(e.what()));
    }
    WriteFileAtomically(fileName, [&](QIODevice& out) { CopyInto(archive, out); });
}

} // namespace varrow
