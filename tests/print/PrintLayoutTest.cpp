#include "print/PrintLayout.h"
#include "PrintTestSupport.h"
#include "measure/MeasureUnits.h"
#include "print/PrintOutput.h"

#include <gtest/gtest.h>

namespace varrow {
namespace {

using test::Letter300;
using test::Letter600;
using test::MapPattern;

struct Layout {
    TPrintPreviewModel pages;
    TPrintLayout print{pages};
    QImage map;
    TPrintMapInfo info;

    Layout(const TPrinterMetrics& m, double metresPerPixel, int side = 60)
        : map(MapPattern(side, side)) {
        pages.SetMetrics(m);
        pages.SetScreenPpi(96, 96);
        info.MetresPerPixel = metresPerPixel;
        print.SetMapSource({[this]() -> const QImage& { return map; }, [this] { return info; }});
    }
    TPrintReadouts Build(TPrintMethod method, double factor = 1.0) {
        print.Settings().Method = method;
        print.Settings().Factor = factor;
        print.BuildPrintPages();
        return print.Readouts(QLocale::c());
    }
};

TEST(PrintLayoutReadouts, FeetPerInchFollowTheScreenAtActualSizeAndTheFactor) {
    for (const TPrinterMetrics& printer : {Letter300(), Letter600()}) {
        Layout l(printer, 1.0);
        EXPECT_EQ(l.Build(TPrintMethod::ActualSize).FeetPerInch, QStringLiteral("315.0"));
        EXPECT_EQ(l.Build(TPrintMethod::ManualScale, 2.0).FeetPerInch, QStringLiteral("157.5"));
        EXPECT_EQ(l.Build(TPrintMethod::ManualScale, 0.5).FeetPerInch, QStringLiteral("629.9"));
    }
    Layout coarse(Letter300(), 512.0);
    const TPrintReadouts r = coarse.Build(TPrintMethod::ActualSize);
    EXPECT_EQ(r.FeetPerInch, QStringLiteral("161259.8"));
    EXPECT_EQ(r.Width, QStringLiteral("60"));
    EXPECT_EQ(r.Height, QStringLiteral("60"));
}

TEST(PrintLayoutReadouts, RatioReadoutForEveryMethod) {
    Layout l(Letter300(), 1.0);
    EXPECT_EQ(l.Build(TPrintMethod::ActualSize).Ratio, QStringLiteral("1:3,780"));
    // 60 map pixels fitted onto 2400: 40 printer pixels, 2/15 inch, a pixel.
    const TPrintReadouts fit = l.Build(TPrintMethod::FitToPage);
    EXPECT_EQ(fit.FeetPerInch, QStringLiteral("24.6"));
    EXPECT_EQ(fit.Ratio, QStringLiteral("1:295"));

    Layout m(Letter300(), 4.0);
    m.print.Settings().Ratio = 24000;
    const TPrintReadouts scale = m.Build(TPrintMethod::MapScale);
    EXPECT_EQ(scale.FeetPerInch, QStringLiteral("2000.0"));
    EXPECT_EQ(scale.Ratio, QStringLiteral("1:24,000"));
    EXPECT_EQ(m.print.Readouts(QLocale(QLocale::German)).FeetPerInch, QStringLiteral("2000,0"));
}

TEST(PrintLayoutReadouts, NoMapReadsZero) {
    Layout l(Letter300(), 0.0, 0);
    const TPrintReadouts r = l.Build(TPrintMethod::FitToPage);
    EXPECT_EQ(r.Width, QStringLiteral("0"));
    EXPECT_EQ(r.FeetPerInch, QStringLiteral("0.0"));
    EXPECT_EQ(r.Ratio, QStringLiteral("-"));
}

TEST(PrintLayoutReadouts, PaperPositionIsInInchesFromTheSheetsCorner) {
    Layout l(Letter600(), 1.0);
    l.pages.SetViewSize(300);
    l.pages.ArrangePages();
    const TPrinterPage& page = l.pages.Pages(0);
    const QSize cell = l.pages.Cells()[0].size();
    EXPECT_EQ(l.print.PaperInches(cell, page.PaperRect.topLeft()), QPointF(0, 0));
    const QPointF right =
        l.print.PaperInches(cell, QPoint(cell.width() - page.PaperRect.left(), 0));
    EXPECT_DOUBLE_EQ(right.x(), 8.5);
    EXPECT_LT(l.print.PaperInches(cell, {0, 0}).y(), 0);
}

TEST(PrintLayoutSettings, MapInformationIsOnByDefaultOnlyAtMapScale) {
    TPrintSettings s;
    EXPECT_FALSE(s.InfoOn());
    s.Method = TPrintMethod::MapScale;
    EXPECT_TRUE(s.InfoOn());
    s.Info = false;
    EXPECT_FALSE(s.InfoOn());

    Layout l(Letter300(), 4.0);
    l.print.Settings().Ratio = 24000;
    l.Build(TPrintMethod::MapScale);
    EXPECT_TRUE(l.print.Decoration());
    EXPECT_EQ(l.pages.MapArea().height(), 3180 - 150);
    l.Build(TPrintMethod::ActualSize);
    EXPECT_FALSE(l.print.Decoration());
    EXPECT_EQ(l.pages.MapArea().height(), 3180);
}

// The readouts of the layout (scale, paper position) depend on these roundings.
TEST(PrintReadoutFormat, RoundsHalfAwayFromZeroOnTheDecimalForm) {
    const QLocale c = QLocale::c();
    EXPECT_EQ(FormatFixed(0.05, 1, c), QStringLiteral("0.1"));
    EXPECT_EQ(FormatFixed(-1.25, 1, c), QStringLiteral("-1.3"));
    EXPECT_EQ(FormatFixed(-0.04, 1, c), QStringLiteral("0.0"));
    EXPECT_EQ(FormatFixed(999.95, 1, c), QStringLiteral("1000.0"));
    EXPECT_EQ(FormatFixed(0.0, 1, c), QStringLiteral("0.0"));
    EXPECT_EQ(FormatFixed(1234567.0, 1, c), QStringLiteral("1234567.0"));
    EXPECT_EQ(FormatFixed(0.004, 2, c), QStringLiteral("0.00"));
}

TEST(PrintRatio, ReadsRatiosAsPeopleTypeThem) {
    const QLocale c = QLocale::c();
    EXPECT_EQ(ParseRatio(QStringLiteral("1:24,000"), c), 24000.0);
    EXPECT_EQ(ParseRatio(QStringLiteral(" 1 : 62 500 "), c), 62500.0);
    EXPECT_EQ(ParseRatio(QStringLiteral("250000"), c), 250000.0);
    EXPECT_EQ(ParseRatio(QStringLiteral("1:24.000"), QLocale(QLocale::German)), 24000.0);
    EXPECT_FALSE(ParseRatio(QStringLiteral("1:0"), c));
    EXPECT_FALSE(ParseRatio(QStringLiteral("1:-5"), c));
    EXPECT_FALSE(ParseRatio(QStringLiteral("scale"), c));
    EXPECT_FALSE(ParseRatio(QString(), c));
    EXPECT_EQ(RatioText(24000, c), QStringLiteral("1:24,000"));
}

TEST(PrintOptions, ParsesTheCommandLineWordsAndNamesTheAllowedOnes) {
    TPrintSettings s;
    QString error;
    EXPECT_TRUE(IsPrintOption(QStringLiteral("--paper")));
    EXPECT_FALSE(IsPrintOption(QStringLiteral("--print")));
    ASSERT_TRUE(ParsePrintOption(QStringLiteral("--print-method"), QStringLiteral("scale:1:50,000"),
                                 s, error));
    EXPECT_EQ(s.Method, TPrintMethod::MapScale);
    EXPECT_EQ(s.Ratio, 50000.0);
    ASSERT_TRUE(
        ParsePrintOption(QStringLiteral("--print-method"), QStringLiteral("manual:2.5"), s, error));
    EXPECT_EQ(s.Method, TPrintMethod::ManualScale);
    EXPECT_EQ(s.Factor, 2.5);
    ASSERT_TRUE(
        ParsePrintOption(QStringLiteral("--print-method"), QStringLiteral("FIT"), s, error));
    EXPECT_EQ(s.Method, TPrintMethod::FitToPage);
    ASSERT_TRUE(ParsePrintOption(QStringLiteral("--print-info"), QStringLiteral("on"), s, error));
    EXPECT_TRUE(s.InfoOn());
    ASSERT_TRUE(ParsePrintOption(QStringLiteral("--paper"), QStringLiteral("a4"), s, error));
    EXPECT_EQ(s.Paper.id(), QPageSize::A4);
    ASSERT_TRUE(
        ParsePrintOption(QStringLiteral("--orientation"), QStringLiteral("landscape"), s, error));
    EXPECT_EQ(s.Orientation, QPageLayout::Landscape);
    ASSERT_TRUE(ParsePrintOption(QStringLiteral("--dpi"), QStringLiteral("600"), s, error));
    EXPECT_EQ(s.Dpi, 600);

    EXPECT_FALSE(
        ParsePrintOption(QStringLiteral("--print-method"), QStringLiteral("manual:11"), s, error));
    EXPECT_TRUE(error.contains(QStringLiteral("0.01 to 10"))) << error.toStdString();
    EXPECT_FALSE(ParsePrintOption(QStringLiteral("--paper"), QStringLiteral("napkin"), s, error));
    EXPECT_TRUE(error.contains(QStringLiteral("letter"))) << error.toStdString();
    EXPECT_FALSE(ParsePrintOption(QStringLiteral("--dpi"), QStringLiteral("5"), s, error));
    EXPECT_FALSE(
        ParsePrintOption(QStringLiteral("--print-info"), QStringLiteral("maybe"), s, error));
    EXPECT_EQ(s.Dpi, 600) << "a bad value changes nothing";
}

TEST(PrintMapInformation, TheLineNamesScaleZoneCornersThemeSourceAndPage) {
    TPrintMapInfo info = test::InfoAt4Metres();
    const QString line = PageInfoLine(info, 24000, 2, 4, QLocale::c());
    for (const char* part :
         {"1:24,000", "UTM zone 13, NAD 83", "lower left 307,200 E 3,584,000 N",
          "upper right 309,600 E 3,586,400 N", "Topo", "demo landscape", "page 2 of 4"})
        EXPECT_TRUE(line.contains(QLatin1String(part))) << part << " in " << line.toStdString();
    info.Zone = -56;
    EXPECT_TRUE(
        PageInfoLine(info, 24000, 1, 1, QLocale::c()).contains(QStringLiteral("zone 56 south")));

    EXPECT_EQ(RoundLength(7.3), 5.0);
    EXPECT_EQ(RoundLength(2.2), 2.0);
    EXPECT_EQ(RoundLength(1.0), 1.0);
    EXPECT_EQ(RoundLength(0.9), 0.5);
}

} // namespace
} // namespace varrow
