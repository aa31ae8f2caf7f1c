#pragma once

// The measurement: the one measuring tool of the run, fed with the map's
// mouse events while the "Measure" page is shown, and the three readouts of
// that page in the units the user picked. The window converts its control
// pixels to mosaic pixels before it calls in.

#include "measure/MeasureTool.h"
#include "measure/MeasureUnits.h"

#include <QPoint>
#include <QString>

namespace varrow {

class TMapCanvas;

struct TMeasureReadouts {
    QString Length;  // "2.00kM"
    QString Area;    // "0.00Mi^2"
    QString Azimuth; // "90.0°"
};

class TMeasurement {
public:
    TMeasureTool& Tool() { return m_tool; }
    const TMeasureTool& Tool() const { return m_tool; }

    // Metres per mosaic pixel of the map shown, along both axes.
    void SetScale(double metresPerPixel);

    // Choices of the length and area unit tables; an unknown choice is ignored.
    int LengthChoice() const { return m_lengthChoice; }
    int AreaChoice() const { return m_areaChoice; }
    void SetLengthChoice(int choice);
    void SetAreaChoice(int choice);

    // A press on the map at a mosaic pixel.
    const TMeasureReadouts& MeasureMouseDown(TShiftState shift, QPoint mosaic, TMapCanvas& canvas);
    // A mouse move on the map: only a drag with the left button edits.
    const TMeasureReadouts& MeasureMouseMove(TShiftState shift, QPoint mosaic, TMapCanvas& canvas);
    // The whole map back to its background copy and the figure gone.
    const TMeasureReadouts& ResetMeasurements(TMapCanvas& canvas);
    // All three readouts from the figure and the current units.
    const TMeasureReadouts& UpdateMeasureReadouts();
    // Empty until the first event.
    const TMeasureReadouts& Readouts() const { return m_readouts; }

private:
    TMeasureTool m_tool;
    int m_lengthChoice = DefaultLengthUnit;
    int m_areaChoice = DefaultAreaUnit;
    TMeasureReadouts m_readouts;
};

} // namespace varrow
