#include "Measure.h"

#include "MapCanvas.h"

#include <mutex>

namespace varrow {

void TMeasurement::SetScale(double metresPerPixel) {
    m_tool.XScale = metresPerPixel;
    m_tool.YScale = metresPerPixel;
}

void TMeasurement::SetLengthChoice(int choice) {
    if (choice >= 0 && choice < LengthUnitCount) m_lengthChoice = choice;
}

void TMeasurement::SetAreaChoice(int choice) {
    if (choice >= 0 && choice < AreaUnitCount) m_areaChoice = choice;
}

const TMeasureReadouts& TMeasurement::MeasureMouseDown(TShiftState shift, QPoint mosaic,
                                                       TMapCanvas& canvas) {
    m_tool.MouseDown(mosaic.x(), mosaic.y(), canvas, shift);
    return UpdateMeasureReadouts();
}

const TMeasureReadouts& TMeasurement::MeasureMouseMove(TShiftState shift, QPoint mosaic,
                                                       TMapCanvas& canvas) {
    // Moving the mouse alone draws no rubber band and leaves the readouts be.
    if (!shift.Left) return m_readouts;
    m_tool.MouseMove(mosaic.x(), mosaic.y(), canvas, shift);
    return UpdateMeasureReadouts();
}

const TMeasureReadouts& TMeasurement::ResetMeasurements(TMapCanvas& canvas) {
    {
        std::lock_guard<std::recursive_mutex> guard(canvas.Lock());
        canvas.RestoreBackground();
        m_tool.Clear();
        m_tool.Draw(canvas);
    }
    return UpdateMeasureReadouts();
}

const TMeasureReadouts& TMeasurement::UpdateMeasureReadouts() {
    const bool lengthInPixels = m_lengthChoice == PixelUnit;
    const bool areaInPixels = m_areaChoice == PixelUnit;
    m_readouts.Length = FormatLength(m_tool.Length(lengthInPixels), m_lengthChoice);
    m_readouts.Area = FormatArea(m_tool.Area(areaInPixels), m_areaChoice);
    m_readouts.Azimuth = FormatAzimuth(m_tool.LastAzimuth());
    return m_readouts;
}

} // namespace varrow
