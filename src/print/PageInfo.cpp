#include "PageInfo.h"

#include "measure/MeasureUnits.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace varrow {

namespace {

constexpr double MetresPerMile = 1609.344;

QLocale Grouping(const QLocale& locale) {
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped;
}

QString Metres(double v, const QLocale& locale) {
    return Grouping(locale).toString(static_cast<qlonglong>(std::llround(v)));
}

// A font of pt points for a device of dpi pixels per inch.
QFont InfoFont(double pt, int dpi) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, Round(pt / 72.0 * dpi)));
    return font;
}

// One bar: length on paper for a round length in unit, cut into alternating segments,
// with "0", the middle and the end written above it.
void DrawScaleBar(QPainter& p, double left, double top, double maxLength, double barHeight,
                  double pixelsPerMetre, double unitMetres, const QString& unit,
                  const QLocale& locale) {
    const double length = RoundLength(maxLength / pixelsPerMetre / unitMetres);
    if (length <= 0) return;
    const double width = length * unitMetres * pixelsPerMetre;
    const int segments = 4;
    const double step = width / segments;
    p.setPen(QPen(Qt::black, std::max(1.0, barHeight / 8)));
    for (int i = 0; i < segments; ++i) {
        p.setBrush(i % 2 == 0 ? Qt::black : Qt::white);
        p.drawRect(QRectF(left + i * step, top, step, barHeight));
    }
    const QFontMetricsF fm(p.font());
    const double baseline = top - barHeight / 2;
    auto label = [&](double at, const QString& text, double align) {
        p.drawText(QPointF(at - align * fm.horizontalAdvance(text), baseline), text);
    };
    label(left, QStringLiteral("0"), 0.5);
    label(left + width / 2, locale.toString(length / 2, 'g', 6), 0.5);
    label(left + width, locale.toString(length, 'g', 6) + QLatin1Char(' ') + unit, 0.2);
}

} // namespace

double RoundLength(double limit) {
    if (!(limit > 0) || !std::isfinite(limit)) return 0;
    const double power = std::pow(10.0, std::floor(std::log10(limit)));
    for (double m : {5.0, 2.0, 1.0})
        if (m * power <= limit * (1 + 1e-12)) return m * power;
    return power / 2;
}

QString RatioText(double ratio, const QLocale& locale) {
    if (!(ratio > 0) || !std::isfinite(ratio)) return QStringLiteral("1:0");
    return QStringLiteral("1:") +
           Grouping(locale).toString(static_cast<qlonglong>(std::llround(ratio)));
}

QString PageInfoLine(const TPrintMapInfo& info, double ratio, int pageNumber, int pageTotal,
                     const QLocale& locale) {
    QStringList parts;
    parts << RatioText(ratio, locale);
    parts << QStringLiteral("UTM zone %1%2, NAD 83")
                 .arg(std::abs(info.Zone))
                 .arg(info.Zone < 0 ? QStringLiteral(" south") : QString());
    parts << QStringLiteral("lower left %1 E %2 N")
                 .arg(Metres(info.LowerLeftEasting, locale),
                      Metres(info.LowerLeftNorthing, locale));
    parts << QStringLiteral("upper right %1 E %2 N")
                 .arg(Metres(info.UpperRightEasting, locale),
                      Metres(info.UpperRightNorthing, locale));
    if (!info.Theme.isEmpty()) parts << info.Theme;
    if (!info.TileSource.isEmpty()) parts << info.TileSource;
    parts << QStringLiteral("page %1 of %2").arg(pageNumber).arg(pageTotal);
    return parts.join(QStringLiteral("  \u00b7  "));
}

void DrawPageInfo(QPainter& painter, const TPrinterMetrics& m, int bandPixels, const QString& line,
                  double ratio, bool scaleBars, const QLocale& locale) {
    if (bandPixels <= 0 || m.HorzRes <= 0) return;
    const double dpi = m.LogPixelsY;
    const QRectF band(0, m.VertRes - bandPixels, m.HorzRes, bandPixels);
    const double pad = 0.05 * dpi;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::black);

    // The line shrinks to the width of the page rather than run off it.
    QFont font = InfoFont(7.5, m.LogPixelsY);
    const double advance = QFontMetricsF(font).horizontalAdvance(line);
    if (advance > band.width() && advance > 0)
        font.setPixelSize(std::max(1, Trunc(font.pixelSize() * band.width() / advance)));
    painter.setFont(font);
    const QFontMetricsF fm(font);
    painter.drawText(QPointF(band.left(), band.top() + pad + fm.ascent()), line);

    if (scaleBars && ratio > 0) {
        painter.setFont(InfoFont(6.5, m.LogPixelsY));
        const double barHeight = 0.06 * dpi;
        const double top = band.bottom() - pad - barHeight;
        const double maxLength = std::min(3.0 * m.LogPixelsX, 0.4 * band.width());
        const double pixelsPerMetre = InchesPerMetre * m.LogPixelsX / ratio;
        DrawScaleBar(painter, band.left() + 0.1 * dpi, top, maxLength, barHeight, pixelsPerMetre,
                     1000.0, QStringLiteral("km"), locale);
        DrawScaleBar(painter, band.left() + band.width() / 2, top, maxLength, barHeight,
                     pixelsPerMetre, MetresPerMile, QStringLiteral("mi"), locale);
    }
    painter.restore();
}

} // namespace varrow
