#pragma once

// "Locate In Google Earth": Google Earth's camera onto the centre of the map, from a range
// equal to the map's width on the ground, looking straight down.
//
// Google Earth is a program of its own; TApplicationGE is the one seam through which we drive
// it, so that each platform can reach it its own way. On Linux (TGoogleEarthPro) it counts as
// installed when "google-earth-pro" is on PATH, and flying it means starting
// "google-earth-pro FILE" detached with a KML file whose LookAt carries the camera: a running
// Google Earth takes the file, otherwise a new one opens with it.

#include "workspace/MapViewState.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <memory>
#include <stdexcept>

namespace varrow {

// Google Earth could not be reached; what() says why, for the user.
class EGoogleEarthError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where the camera goes and how it looks.
struct TGeCameraView {
    double Longitude = 0.0; // degrees, east positive
    double Latitude = 0.0;  // degrees, north positive
    double Range = 0.0;     // metres from the focus point
    double Altitude = 0.0;  // metres
    double Azimuth = 0.0;   // degrees (KML's heading)
    double Tilt = 0.0;      // degrees
};

class TApplicationGE {
public:
    virtual ~TApplicationGE() = default;
    virtual bool IsGoogleEarthInstalled() const = 0;
    // Brings Google Earth to the front with its camera on view; the focus point's altitude is
    // above the ground when relativeToGround, above sea level otherwise. Returns once Google
    // Earth has the request, not when it has flown there. Throws EGoogleEarthError.
    virtual void FlyGoogleEarthTo(const TGeCameraView& view, bool relativeToGround) = 0;
};

// The platform's way of reaching Google Earth.
std::unique_ptr<TApplicationGE> MakeApplicationGE();

// The Linux link: the executable is looked up on PATH at every use, so installing Google
// Earth while the program runs is noticed at the next press.
class TGoogleEarthPro : public TApplicationGE {
public:
    static constexpr const char* Executable = "google-earth-pro";

    bool IsGoogleEarthInstalled() const override;
    void FlyGoogleEarthTo(const TGeCameraView& view, bool relativeToGround) override;

    // The file the last flight handed over (for tests and for the curious).
    const QString& LastFile() const { return m_lastFile; }

private:
    QString m_lastFile;
};

// A KML document holding only a LookAt with the camera: opened, it moves the view there.
QByteArray BuildLookAtKml(const TGeCameraView& view, bool relativeToGround);

// The camera for the map the loaded view shows: the mosaic's centre, a range of its width in
// pixels times the scale, altitude, azimuth and tilt 0.
TGeCameraView LocateCamera(const TMapViewState& loadedView, QSize mosaicSize);

enum class TLocateResult { NotInstalled, Located };
// The button's whole operation, but the messages: NotInstalled when Google Earth is not
// there (nothing else happens), Located once the camera request was handed over.
TLocateResult LocateInGoogleEarth(TApplicationGE& earth, const TMapViewState& loadedView,
                                  QSize mosaicSize);

} // namespace varrow
