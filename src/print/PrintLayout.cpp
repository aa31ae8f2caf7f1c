#include "PrintLayout.h"

#include "measure/MeasureUnits.h"

#include <QPainter>
#include <QRegularExpression>

#include <cmath>

namespace varrow {

void TPrintLayout::BuildPrintPages() {
    static const QImage none;
    const QImage& image = m_source.Image ? m_source.Image() : none;
    m_info = m_source.Info ? m_source.Info() : TPrintMapInfo();
    m_mapSize = image.size();
    m_built = m_settings;
    m_pages.SetInfoBand(m_settings.InfoOn() ? InfoBandInches : 0.0);
    switch (m_settings.Method) {
    case TPrintMethod::ActualSize:
        m_pages.FillActualSize(image, 0, 30);
        break;
    case TPrintMethod::FitToPage:
        m_pages.FillFitToPage(image);
        break;
    case TPrintMethod::ManualScale:
        m_pages.FillScaled(image, m_settings.Factor);
        break;
    case TPrintMethod::MapScale:
        m_pages.FillMapScale(image, m_info.MetresPerPixel, m_settings.Ratio);
        break;
    }
}

double TPrintLayout::FeetPerInch() const {
    const double s = m_info.MetresPerPixel;
    const double d = m_pages.Metrics().LogPixelsX;
    const double px = m_pages.PrinterToScreen().x();
    if (!(px > 0) || !(s > 0)) return 0;
    // At actual size one map pixel covers one screen pixel's width on paper.
    const double f = d * (s * FeetPerMetre) / px;
    switch (m_built.Method) {
    case TPrintMethod::ActualSize:
        return f;
    case TPrintMethod::FitToPage:
        return m_pages.FitScale() > 0 ? px * f / m_pages.FitScale() : 0.0;
    case TPrintMethod::ManualScale:
        return m_built.Factor > 0 ? f / m_built.Factor : 0.0;
    case TPrintMethod::MapScale:
        return m_pages.PrinterPixelsPerMapPixel() > 0 ? px * f / m_pages.PrinterPixelsPerMapPixel()
                                                      : 0.0;
    }
    return f;
}

TPrintReadouts TPrintLayout::Readouts(const QLocale& locale) const {
    TPrintReadouts r;
    r.Width = QString::number(m_mapSize.width());
    r.Height = QString::number(m_mapSize.height());
    const double f = FeetPerInch();
    r.FeetPerInch = FormatFixed(f, 1, locale);
    r.Ratio = f > 0 ? RatioText(f * 12.0, locale) : QStringLiteral("-");
    return r;
}

QPointF TPrintLayout::PaperInches(const QSize& cell, const QPoint& p) const {
    if (m_pages.Count() == 0) return {};
    const TPrinterPage& page = m_pages.Pages(0);
    const TPrinterMetrics& m = page.Metrics;
    const int pl = page.PaperRect.left(), pt = page.PaperRect.top();
    const double paperW = cell.width() - 2 * pl, paperH = cell.height() - 2 * pt;
    if (paperW <= 0 || paperH <= 0 || m.LogPixelsX <= 0 || m.LogPixelsY <= 0) return {};
    const double fx = m.PhysicalWidth / paperW, fy = m.PhysicalHeight / paperH;
    return {(p.x() - pl) * fx / m.LogPixelsX, (p.y() - pt) * fy / m.LogPixelsY};
}

TPageDecoration TPrintLayout::Decoration(const QLocale& locale) const {
    if (!m_built.InfoOn()) return {};
    const double ratio = Ratio();
    const int band = m_pages.InfoBandPixels();
    return [info = m_info, ratio, band, locale](QPainter& painter, const TPrinterPage& page,
                                                int number, int total) {
        DrawPageInfo(painter, page.Metrics, band, PageInfoLine(info, ratio, number, total, locale),
                     ratio, number == total, locale);
    };
}

std::optional<double> ParseRatio(const QString& text, const QLocale& locale) {
    QString t = text.trimmed();
    static const QRegularExpression prefix(QStringLiteral("^1\\s*:\\s*"));
    t.remove(prefix);
    // Thousands separators as people type them, and the locale's own.
    for (const QString& separator :
         {QStringLiteral(","), QStringLiteral("."), QStringLiteral(" "), QStringLiteral("_"),
          QStringLiteral("\u00a0"), QStringLiteral("\u202f"), QStringLiteral("'"),
          locale.groupSeparator()})
        t.remove(separator);
    static const QRegularExpression whole(QStringLiteral("^[0-9]{1,10}$"));
    if (!whole.match(t).hasMatch()) return std::nullopt;
    const double n = t.toDouble();
    if (n < MinRatio || n > MaxRatio) return std::nullopt;
    return n;
}

} // namespace varrow
