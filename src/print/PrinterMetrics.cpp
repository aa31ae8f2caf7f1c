#include "PrinterMetrics.h"

namespace varrow {

TPrinterMetrics MakeMetrics(int physicalWidth, int physicalHeight, int horzRes, int vertRes,
                            int offsetX, int offsetY, int dpiX, int dpiY) {
    TPrinterMetrics m;
    m.PhysicalWidth = physicalWidth;
    m.PhysicalHeight = physicalHeight;
    m.HorzRes = horzRes;
    m.VertRes = vertRes;
    m.PhysicalOffsetX = offsetX;
    m.PhysicalOffsetY = offsetY;
    m.LogPixelsX = dpiX;
    m.LogPixelsY = dpiY;
    m.Aspect = physicalWidth > 0 ? double(physicalHeight) / double(physicalWidth) : 0.0;
    return m;
}

TPrinterMetrics MetricsOf(const QPageLayout& layout, int dpi) {
    const QRect sheet = layout.fullRectPixels(dpi);
    const QRect printable = layout.paintRectPixels(dpi);
    return MakeMetrics(sheet.width(), sheet.height(), printable.width(), printable.height(),
                       printable.left(), printable.top(), dpi, dpi);
}

QPointF PrinterToScreen(const TPrinterMetrics& m, double screenPpiX, double screenPpiY) {
    return {m.LogPixelsX / screenPpiX, m.LogPixelsY / screenPpiY};
}

int Percent(int v, int percent) {
    const int p = v * percent;
    return p >= 0 ? (p + 50) / 100 : -((-p + 50) / 100);
}

QRect ImageToPrinterRect(int width, int height, const QPointF& printerToScreen) {
    return QRect(0, 0, Round(width * printerToScreen.x()), Round(height * printerToScreen.y()));
}

QRect PageToImageRect(int horzRes, int vertRes, const QPointF& printerToScreen) {
    return QRect(0, 0, Round(horzRes / printerToScreen.x()), Round(vertRes / printerToScreen.y()));
}

} // namespace varrow
