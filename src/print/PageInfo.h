#pragma once

// The map information printed with a map: a line naming the scale, the UTM zone and datum,
// the corners, the theme, the tile source and the page, and scale bars on the last page.
// It goes into a band kept white at the bottom of every page, below the map.

#include "PrinterMetrics.h"

#include <QLocale>
#include <QString>

class QPainter;

namespace varrow {

// What describes the map being printed; filled from the map session.
struct TPrintMapInfo {
    double MetresPerPixel = 0;
    int Zone = 0; // UTM zone, negative in the southern hemisphere
    double LowerLeftEasting = 0;
    double LowerLeftNorthing = 0;
    double UpperRightEasting = 0;
    double UpperRightNorthing = 0;
    QString Theme;      // "Topo"
    QString TileSource; // the tile service or source in use
};

// Height of the band, inches: one line of text and a row of scale bars.
constexpr double InfoBandInches = 0.5;

// "1:24,000", with the locale's thousands separator.
QString RatioText(double ratio, const QLocale& locale = QLocale());

// The information line of page pageNumber of pageTotal.
QString PageInfoLine(const TPrintMapInfo& info, double ratio, int pageNumber, int pageTotal,
                     const QLocale& locale = QLocale());

// Draws line into the band (bandPixels high, at the bottom of the printable area of m), with
// painter in page pixels; with scaleBars also bars in kilometres and in miles for 1:ratio.
void DrawPageInfo(QPainter& painter, const TPrinterMetrics& m, int bandPixels, const QString& line,
                  double ratio, bool scaleBars, const QLocale& locale = QLocale());

// The longest length of 1, 2 or 5 times a power of ten that is not over limit (> 0).
double RoundLength(double limit);

} // namespace varrow
