#pragma once

// What the print layout dialog decides, without the dialog: the print method and its
// factor or ratio, the pages built from the map of the moment, and the readouts (the map's
// size, feet on the ground per inch of paper and the ratio, the position on the sheet).

#include "PageInfo.h"
#include "PreviewPages.h"

#include <QImage>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QString>

#include <functional>
#include <optional>

namespace varrow {

enum class TPrintMethod { ActualSize = 0, FitToPage = 1, ManualScale = 2, MapScale = 3 };

constexpr double MinScaleFactor = 0.01;
constexpr double MaxScaleFactor = 10.0;
constexpr double MinRatio = 1;
constexpr double MaxRatio = 100000000;

struct TPrintSettings {
    TPrintMethod Method = TPrintMethod::ActualSize;
    double Factor = 1.0;      // "Manual Scale"
    double Ratio = 24000;     // "Map Scale": 1:Ratio
    std::optional<bool> Info; // map information; unset: on for "Map Scale" only

    // Used when printing without a dialog, which takes these from its printer and screen.
    QPageSize Paper = QPageSize(QPageSize::Letter);
    QPageLayout::Orientation Orientation = QPageLayout::Portrait;
    int Dpi = 300;
    double ScreenPpi = 96;

    bool InfoOn() const { return Info.value_or(Method == TPrintMethod::MapScale); }
};

// Where the layout takes the map from, at every rebuild.
struct TPrintMapSource {
    std::function<const QImage&()> Image;
    std::function<TPrintMapInfo()> Info;
};

struct TPrintReadouts {
    QString Width;       // BMWidthDis
    QString Height;      // BMHeightDis
    QString FeetPerInch; // ScaleDis
    QString Ratio;       // "1:24,000"
};

class TPrintLayout {
public:
    explicit TPrintLayout(TPrintPreviewModel& pages) : m_pages(pages) {}

    void SetMapSource(TPrintMapSource source) { m_source = std::move(source); }
    TPrintSettings& Settings() { return m_settings; }
    const TPrintSettings& Settings() const { return m_settings; }

    // Fills the pages by the settings from the map of this moment. Raises EPrintError when
    // the map would take too many pages.
    void BuildPrintPages();

    // Of the pages built: feet on the ground per inch of paper, and N of 1:N.
    double FeetPerInch() const;
    double Ratio() const { return FeetPerInch() * 12.0; }
    TPrintReadouts Readouts(const QLocale& locale = QLocale()) const;
    // Inches from the sheet's top-left corner of the point p in a preview cell of the size
    // cell, by page 0's metrics and sheet.
    QPointF PaperInches(const QSize& cell, const QPoint& p) const;

    // Draws the map information on the pages; empty when it is not printed.
    TPageDecoration Decoration(const QLocale& locale = QLocale()) const;

    QSize MapSize() const { return m_mapSize; }
    const TPrintMapInfo& MapInfo() const { return m_info; }
    TPrintPreviewModel& Pages() { return m_pages; }

private:
    TPrintPreviewModel& m_pages;
    TPrintMapSource m_source;
    TPrintSettings m_settings;
    TPrintSettings m_built; // the settings the pages were built with
    QSize m_mapSize;
    TPrintMapInfo m_info;
};

// N of a ratio typed as "1:24,000", "1 : 24000" or "24000"; nothing when it is not a whole
// number within MinRatio..MaxRatio.
std::optional<double> ParseRatio(const QString& text, const QLocale& locale = QLocale());

} // namespace varrow
