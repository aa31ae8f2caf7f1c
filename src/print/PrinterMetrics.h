#pragma once

// What the pages are laid out by: the sheet, its printable area and the resolution of the
// printer, and the rounding words the layout arithmetic uses.

#include <QPageLayout>
#include <QPointF>
#include <QRect>

#include <cmath>

namespace varrow {

struct TPrinterMetrics {
    int PhysicalWidth = 0; // the whole sheet, device pixels
    int PhysicalHeight = 0;
    int HorzRes = 0; // the printable area, device pixels
    int VertRes = 0;
    int PhysicalOffsetX = 0; // printable area from the sheet's left and top edges
    int PhysicalOffsetY = 0;
    int LogPixelsX = 0; // device pixels per inch
    int LogPixelsY = 0;
    double Aspect = 0; // PhysicalHeight / PhysicalWidth

    bool IsValid() const {
        return PhysicalWidth > 0 && PhysicalHeight > 0 && HorzRes > 0 && VertRes > 0 &&
               LogPixelsX > 0 && LogPixelsY > 0;
    }
    bool operator==(const TPrinterMetrics& o) const {
        return PhysicalWidth == o.PhysicalWidth && PhysicalHeight == o.PhysicalHeight &&
               HorzRes == o.HorzRes && VertRes == o.VertRes &&
               PhysicalOffsetX == o.PhysicalOffsetX && PhysicalOffsetY == o.PhysicalOffsetY &&
               LogPixelsX == o.LogPixelsX && LogPixelsY == o.LogPixelsY;
    }
    bool operator!=(const TPrinterMetrics& o) const { return !(*this == o); }
};

// Aspect is derived from the sheet size.
TPrinterMetrics MakeMetrics(int physicalWidth, int physicalHeight, int horzRes, int vertRes,
                            int offsetX, int offsetY, int dpiX, int dpiY);

// The metrics of a page layout printed at dpi pixels per inch: what a QPrinter or a
// QPdfWriter with that layout and resolution paints on.
TPrinterMetrics MetricsOf(const QPageLayout& layout, int dpi);

// Printer pixels one screen pixel covers on paper, in x and y.
QPointF PrinterToScreen(const TPrinterMetrics& m, double screenPpiX, double screenPpiY);

// Round to nearest, ties to even; Trunc toward zero; Ceil up.
inline int Round(double v) {
    return static_cast<int>(std::nearbyint(v));
}
inline int Trunc(double v) {
    return static_cast<int>(std::trunc(v));
}
inline int Ceil(double v) {
    return static_cast<int>(std::ceil(v));
}
// v · percent / 100 rounded half away from zero, for the percentage steps of the sheet picture.
int Percent(int v, int percent);

// The image's size on paper at actual size, in printer pixels.
QRect ImageToPrinterRect(int width, int height, const QPointF& printerToScreen);
// One page's printable area in image pixels at actual size.
QRect PageToImageRect(int horzRes, int vertRes, const QPointF& printerToScreen);

// A rectangle from its left, top and exclusive right and bottom edges.
inline QRect Ltrb(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

} // namespace varrow
