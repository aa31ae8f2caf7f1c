#include "export/GoogleEarthAPI.h"

#include "export/KmlExport.h"
#include "io/AtomicFile.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <pugixml.hpp>

#include <sstream>

namespace varrow {

namespace {

// LookAt with an altitude and altitudeMode is KML 2.2; Google Earth reads it.
constexpr const char* LookAtNamespace = "http://www.opengis.net/kml/2.2";

void AddNumber(pugi::xml_node parent, const char* name, double value) {
    parent.append_child(name).text().set(KmlNumber(value).toStdString().c_str());
}

QString FoundExecutable() {
    return QStandardPaths::findExecutable(QString::fromLatin1(TGoogleEarthPro::Executable));
}

} // namespace

QByteArray BuildLookAtKml(const TGeCameraView& view, bool relativeToGround) {
    pugi::xml_document doc;
    pugi::xml_node kml = StartKmlDocument(doc, LookAtNamespace);
    pugi::xml_node document = kml.append_child("Document");
    document.append_child("name").text().set("Varrow map");
    pugi::xml_node look = document.append_child("LookAt");
    AddNumber(look, "longitude", view.Longitude);
    AddNumber(look, "latitude", view.Latitude);
    AddNumber(look, "altitude", view.Altitude);
    AddNumber(look, "heading", view.Azimuth);
    AddNumber(look, "tilt", view.Tilt);
    AddNumber(look, "range", view.Range);
    look.append_child("altitudeMode")
        .text()
        .set(relativeToGround ? "relativeToGround" : "absolute");
    std::ostringstream text;
    doc.save(text, "  ", pugi::format_indent, pugi::encoding_utf8);
    return QByteArray::fromStdString(text.str());
}

TGeCameraView LocateCamera(const TMapViewState& loadedView, QSize mosaicSize) {
    const TGeoPosition centre = loadedView.MosaicCentre();
    TGeCameraView view;
    view.Longitude = centre.Longitude;
    view.Latitude = centre.Latitude;
    view.Range = mosaicSize.width() * loadedView.Scale;
    return view;
}

TLocateResult LocateInGoogleEarth(TApplicationGE& earth, const TMapViewState& loadedView,
                                  QSize mosaicSize) {
    if (!earth.IsGoogleEarthInstalled()) return TLocateResult::NotInstalled;
    earth.FlyGoogleEarthTo(LocateCamera(loadedView, mosaicSize), true);
    return TLocateResult::Located;
}

std::unique_ptr<TApplicationGE> MakeApplicationGE() {
    return std::make_unique<TGoogleEarthPro>();
}

bool TGoogleEarthPro::IsGoogleEarthInstalled() const {
    return !FoundExecutable().isEmpty();
}

void TGoogleEarthPro::FlyGoogleEarthTo(const TGeCameraView& view, bool relativeToGround) {
    const QString program = FoundExecutable();
    if (program.isEmpty())
        throw EGoogleEarthError(QStringLiteral("Google Earth Not Installed: no \"%1\" on PATH")
                                    .arg(QString::fromLatin1(Executable))
                                    .toStdString());

    // A new file for every flight: Google Earth reads it after we have returned, maybe after
    // the next press, and the temporary folder is shared, so the name must not be guessable.
    QTemporaryFile reserve(QDir::tempPath() + QStringLiteral("/varrow-earth-XXXXXX.kml"));
    reserve.setAutoRemove(false);
    if (!reserve.open())
        throw EGoogleEarthError(
            QStringLiteral("Cannot create a file for Google Earth in %1: %2")
                .arg(QDir::toNativeSeparators(QDir::tempPath()), reserve.errorString())
                .toStdString());
    const QString file = reserve.fileName();
    reserve.close();
    try {
        WriteFileAtomically(file, BuildLookAtKml(view, relativeToGround));
    } catch (const std::runtime_error& e) {
        QFile::remove(file);
        throw EGoogleEarthError(e.what());
    }

    QProcess process;
    process.setProgram(program);
    process.setArguments({file});
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        QFile::remove(file);
        throw EGoogleEarthError(QStringLiteral("Cannot start Google Earth (%1): %2")
                                    .arg(QDir::toNativeSeparators(program), process.errorString())
                                    .toStdString());
    }
    m_lastFile = file;
}

} // namespace varrow
