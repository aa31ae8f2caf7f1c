#include "print/PreviewPages.h"
#include "PrintTestSupport.h"
#include "print/PageResample.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>

#include <gtest/gtest.h>

namespace varrow {
namespace {

using test::Letter300;
using test::Letter600;
using test::MapPattern;
using test::Small96;

struct Model {
    TPrintPreviewModel pages;
    int arranged = 0;
    explicit Model(const TPrinterMetrics& m) {
        pages.SetMetrics(m);
        pages.SetScreenPpi(96, 96);
        pages.OnArranged = [this] { ++arranged; };
    }
};

TEST(PrintPreviewPages, ActualSizeOfA600PixelMapIsOnePageHeldInItsTopLeftCorner) {
    const QImage map = MapPattern(600, 600);
    for (const auto& [metrics, side] :
         {std::pair{Letter600(), 3750}, std::pair{Letter300(), 1875}}) {
        Model m(metrics);
        m.pages.FillActualSize(map, 0, 30);
        ASSERT_EQ(m.pages.Count(), 1);
        EXPECT_EQ(m.pages.Columns(), 1);
        const TPrinterPage& page = m.pages.Pages(0);
        ASSERT_EQ(page.Picture().Area(), QRect(0, 0, side, side));
        const QImage content = page.Render();
        // Each map pixel becomes a block of printer pixels: 6.25 or 3.125 of them a side.
        const double k = side / 600.0;
        for (int x : {0, 7, 100, 599})
            EXPECT_EQ(content.pixel(int(x * k + k / 2), int(x * k + k / 2)), map.pixel(x, x)) << x;
        EXPECT_EQ(content.pixel(side - 1, side - 1), map.pixel(599, 599));
    }
    EXPECT_EQ(PageToImageRect(4800, 6360, PrinterToScreen(Letter600(), 96, 96)),
              QRect(0, 0, 768, 1018));
}

// 1100 × 2000 map pixels on pages of 200 × 300: 6 columns, 7 rows.
TEST(PrintPreviewPages, ATiledMapFillsThirtyOnePagesAndLeavesTheRestWithoutPictures) {
    Model m(Small96());
    const QImage map = MapPattern(1100, 2000);
    m.pages.FillActualSize(map, 0, 30);
    ASSERT_EQ(m.pages.Count(), 42);
    EXPECT_EQ(m.pages.Columns(), 6);
    EXPECT_EQ(m.arranged, 1) << "a filling arranges once";
    for (int i = 0; i < 42; ++i) {
        const TPrinterPage& page = m.pages.Pages(i);
        EXPECT_EQ(page.IsBlank(), i > 30) << i;
        EXPECT_EQ(page.Picture().IsNull(), i > 30) << i;
    }
    // Page 7 is column 1 of row 1; column 5 is the narrow end of a row.
    const QImage page7 = m.pages.Pages(7).Render();
    EXPECT_EQ(page7.pixel(0, 0), map.pixel(200, 300));
    EXPECT_EQ(page7.pixel(199, 299), map.pixel(399, 599));
    EXPECT_EQ(m.pages.Pages(5).Picture().Area().size(), QSize(100, 300));
    EXPECT_EQ(m.pages.Pages(5).Render().pixel(99, 0), map.pixel(1099, 0));

    std::vector<int> expected(31);
    for (int i = 0; i < 31; ++i)
        expected[size_t(i)] = i;
    EXPECT_EQ(m.pages.PrintedPages(true), expected);
    EXPECT_EQ(m.pages.PrintedPages(false).size(), 42u);
}

TEST(PrintPreviewPages, PrintingSkipsBlankPagesButStepsTheProgressForEachPage) {
    Model m(Small96());
    const QImage map = MapPattern(1100, 2000);
    m.pages.FillActualSize(map, 0, 30);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&pdf);
    writer.setResolution(96);
    writer.setPageLayout(QPageLayout(QPageSize(QSizeF(220, 330), QPageSize::Point),
                                     QPageLayout::Portrait, QMarginsF(7.5, 11.25, 7.5, 11.25)));
    std::vector<int> steps, printed;
    const bool done = m.pages.PrintPages(
        writer, true, [&](int percent) { return steps.push_back(percent), true; },
        [&](QPainter&, const TPrinterPage&, int number, int total) {
            printed.push_back(number);
            EXPECT_EQ(total, 31);
        });
    EXPECT_TRUE(done);
    ASSERT_EQ(steps.size(), 42u);
    for (int i = 0; i < 42; ++i)
        EXPECT_EQ(steps[size_t(i)], int(std::nearbyint(100.0 * i / 42))) << i;
    EXPECT_EQ(steps.front(), 0);
    EXPECT_EQ(steps.back(), 98);
    EXPECT_EQ(printed.size(), 31u);
    EXPECT_EQ(printed.back(), 31);
}

TEST(PrintPreviewPages, ProgressRoundsHalvesToEvenAndCancelStopsBeforeTheNextPage) {
    Model m(Small96());
    const QImage map = MapPattern(800, 300);
    m.pages.FillActualSize(map, 0, 30); // 4 columns, 1 row
    m.pages.SetCount(8);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&pdf);
    std::vector<int> steps;
    int printed = 0, aborted = 0;
    const bool done = m.pages.PrintPages(
        writer, false, [&](int percent) { return steps.push_back(percent), steps.size() < 3; },
        [&](QPainter&, const TPrinterPage&, int, int) { ++printed; }, [&] { ++aborted; });
    EXPECT_FALSE(done);
    EXPECT_EQ(steps, (std::vector<int>{0, 12, 25}));
    EXPECT_EQ(printed, 2);
    EXPECT_EQ(aborted, 1);
}

TEST(PrintPreviewPages, FitToPageKeepsATallMapWhole) {
    // The printable area is 480 × 636: by width the map would be 960 high.
    Model m(MakeMetrics(510, 660, 480, 636, 15, 12, 60, 60));
    const QImage tall = MapPattern(60, 120), wide = MapPattern(120, 60);
    m.pages.FillFitToPage(tall);
    ASSERT_EQ(m.pages.Count(), 1);
    EXPECT_DOUBLE_EQ(m.pages.FitScale(), 5.3);
    EXPECT_EQ(m.pages.Pages(0).Picture().Area().size(), QSize(318, 636));
    m.pages.FillFitToPage(wide);
    EXPECT_DOUBLE_EQ(m.pages.FitScale(), 4.0);
    EXPECT_EQ(m.pages.Pages(0).Picture().Area().size(), QSize(480, 240));
}

TEST(PrintPreviewPages, ManualScaleTilesTheStretchedMapWithoutMakingIt) {
    Model m(Letter300());
    const QImage map = MapPattern(600, 600);
    m.pages.FillScaled(map, 2.0); // 1200 screen pixels, 3750 printer pixels
    ASSERT_EQ(m.pages.Count(), 4);
    EXPECT_EQ(m.pages.Columns(), 2);
    EXPECT_EQ(m.pages.Pages(0).Picture().Area().size(), QSize(2400, 3180));
    EXPECT_EQ(m.pages.Pages(1).Picture().Area().size(), QSize(1350, 3180));
    EXPECT_EQ(m.pages.Pages(3).Picture().Area().size(), QSize(1350, 570));
    EXPECT_DOUBLE_EQ(m.pages.PrinterPixelsPerMapPixel(), 6.25);
}

TEST(PrintPreviewPages, MapScaleGoesStraightToPrinterPixels) {
    Model m(Letter300());
    const QImage map = MapPattern(600, 600);
    // 4 m a pixel at 1:24,000 is 1/6000 m of paper: 1.9685 printer pixels at 300 per inch.
    m.pages.FillMapScale(map, 4.0, 24000);
    ASSERT_EQ(m.pages.Count(), 1);
    EXPECT_EQ(m.pages.Pages(0).Picture().Area().size(), QSize(1181, 1181));
    EXPECT_NEAR(m.pages.PrinterPixelsPerMapPixel(), 1.9685, 1e-4);
    // One smooth resampling from the map: a page pixel inside one map pixel keeps its colour.
    EXPECT_EQ(m.pages.Pages(0).Render().pixel(300, 300), map.pixel(152, 152));

    // At 1:6,000 the same map is 4724 printer pixels a side: pages join without a gap.
    m.pages.FillMapScale(map, 4.0, 6000);
    ASSERT_EQ(m.pages.Count(), 4);
    EXPECT_EQ(m.pages.Pages(0).Picture().Area().width() + m.pages.Pages(1).Picture().Area().width(),
              4724);
    const QImage left = m.pages.Pages(0).Render(), right = m.pages.Pages(1).Render();
    EXPECT_EQ(left.pixel(2399, 0), map.pixel(304, 0));
    EXPECT_EQ(right.pixel(0, 0), map.pixel(304, 0));
    EXPECT_EQ(right.pixel(2323, 0), map.pixel(599, 0));
}

TEST(PrintPreviewPages, RefusesAPrintOfMillionsOfPagesWithAMessage) {
    Model m(Letter300());
    EXPECT_THROW(m.pages.FillMapScale(MapPattern(100, 100), 512, 10), EPrintError);
    EXPECT_NO_THROW(m.pages.FillMapScale(MapPattern(100, 100), 512, 1000000));
}

TEST(PrintPreviewPages, TheInfoBandIsKeptFreeUnderTheMap) {
    Model m(Letter300());
    m.pages.SetInfoBand(0.5);
    EXPECT_EQ(m.pages.MapArea(), QSize(2400, 3180 - 150));
    const QImage map = MapPattern(600, 1200);
    m.pages.FillFitToPage(map);
    EXPECT_EQ(m.pages.Pages(0).Picture().Area().height(), 3030);
}

TEST(PrintPreviewPages, UpdatesHoldArrangementBackUntilTheLastOneCloses) {
    Model m(Letter300());
    m.pages.EndUpdate(); // without a BeginUpdate
    EXPECT_EQ(m.pages.UpdateDepth(), 0);
    EXPECT_EQ(m.arranged, 1);

    m.pages.SetCount(3); // its count already
    EXPECT_EQ(m.arranged, 1);

    m.pages.BeginUpdate();
    m.pages.BeginUpdate();
    m.pages.SetCount(5);
    m.pages.SetColumns(2);
    m.pages.EndUpdate();
    EXPECT_EQ(m.arranged, 1);
    m.pages.EndUpdate();
    EXPECT_EQ(m.arranged, 2);
    EXPECT_EQ(m.pages.Count(), 5);
}

TEST(PrintPreviewPages, ArrangesCellsRowByRowAndLaysTheSheetOutInThem) {
    Model m(Letter600());
    m.pages.SetCount(5);
    m.pages.SetViewSize(300); // no arrangement: AutoArrange is off
    EXPECT_EQ(m.pages.Cells()[4].width(), 0);
    m.pages.SetAutoArrange(true);
    ASSERT_EQ(m.pages.Cells().size(), 5u);
    // Cells of 100 × Round(100 · 6600 / 5100).
    EXPECT_EQ(m.pages.Cells()[4], QRect(100, 129, 100, 129));
    EXPECT_EQ(m.pages.CellAt({150, 200}), 4);
    EXPECT_EQ(m.pages.CellAt({250, 200}), -1);
    EXPECT_EQ(m.pages.Pages(1).Title, QStringLiteral("Page: 2"));

    // A cell wider than the sheet: 93 % of its height, centred.
    TPrinterPage& page = m.pages.Pages(0);
    EXPECT_EQ(page.PaperRect, QRect(3, 4, 93, 120));
    EXPECT_EQ(page.ImageRect, QRect(6, 6, 88, 116));
    // A tall cell: 93 % of its width.
    page.Layout(QRect(0, 0, 100, 200));
    EXPECT_EQ(page.PaperRect, QRect(3, 40, 93, 120));

    // One column in a low view: the cell keeps to the view, the whole sheet shows in it.
    m.pages.SetColumns(1);
    m.pages.SetViewSize(300, 100);
    EXPECT_EQ(m.pages.Cells()[1], QRect(0, 100, 300, 100));
    EXPECT_EQ(page.PaperRect, QRect(114, 3, 72, 93));
}

TEST(PrintPreviewPages, TheSheetPictureHasPaperPrintableAreaAndAHalfGreyShadow) {
    TPrinterPage page;
    page.RefreshMetrics(Letter600());
    QImage cell(100, 129, QImage::Format_RGB32);
    QPainter painter(&cell);
    page.Draw(painter, QRect(0, 0, 100, 129));
    painter.end();
    const QRect& p = page.PaperRect;
    const QRect& i = page.ImageRect;
    EXPECT_EQ(cell.pixel(0, 0), qRgb(128, 128, 128));
    EXPECT_EQ(cell.pixel(p.left(), p.top() + 10), qRgb(0, 0, 0));
    EXPECT_EQ(cell.pixel(p.left() + 1, p.top() + 1), qRgb(255, 255, 255));
    EXPECT_EQ(cell.pixel(i.left(), i.top() + 10), qRgb(220, 220, 220));
    const int right = p.left() + p.width(), bottom = p.top() + p.height();
    EXPECT_EQ(cell.pixel(right + 2, p.top() + 10), qRgb(64, 64, 64));
    EXPECT_EQ(cell.pixel(right + 2, p.top() + 2), qRgb(128, 128, 128));
    EXPECT_EQ(cell.pixel(p.left() + 10, bottom + 2), qRgb(64, 64, 64));
    EXPECT_EQ(cell.pixel(p.left() + 2, bottom + 2), qRgb(128, 128, 128));
}

TEST(PrintPreviewPages, ChangedMetricsCutPicturesToTheNewPrintableArea) {
    Model m(Small96());
    const QImage map = MapPattern(150, 100);
    m.pages.FillActualSize(map, 0, 30);
    ASSERT_EQ(m.pages.Pages(0).Picture().Area().size(), QSize(150, 100));
    const QImage whole = m.pages.Pages(0).Render();
    m.pages.SetMetrics(MakeMetrics(110, 165, 100, 150, 5, 7, 48, 48));
    m.pages.ArrangePages();
    EXPECT_EQ(m.pages.Pages(0).Picture().Area().size(), QSize(100, 100));
    EXPECT_EQ(m.pages.Pages(0).Render(), whole.copy(0, 0, 100, 100)) << "cut, not stretched";
}

TEST(PageResample, SmoothAveragesTheAreaAPixelCoversAndPlainPicksOne) {
    QImage checker(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            checker.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    QImage half;
    ResizeBitmap(checker, half, true, 0.5);
    ASSERT_EQ(half.size(), QSize(2, 2));
    EXPECT_EQ(half.pixel(1, 1), qRgb(128, 128, 128));
    ResizeBitmap(checker, half, false, 0.5);
    EXPECT_TRUE(half.pixel(1, 1) == qRgb(0, 0, 0) || half.pixel(1, 1) == qRgb(255, 255, 255));
    ResizeBitmap(checker, half, true, 0.74); // Trunc(2.96)
    EXPECT_EQ(half.size(), QSize(2, 2));

    // A third of a black pixel and two thirds of a white one.
    QImage strip(2, 1, QImage::Format_RGB32);
    strip.setPixel(0, 0, qRgb(0, 0, 0));
    strip.setPixel(1, 0, qRgb(255, 255, 255));
    QImage out(1, 1, QImage::Format_RGB888);
    StretchImage(strip, QRectF(2.0 / 3, 0, 1, 1), out, out.rect(), TStretch::Smooth);
    EXPECT_EQ(qRed(out.pixel(0, 0)), 170);
}

TEST(PageResample, ReadsOtherFormatsWithoutTouchingTheMap) {
    QImage indexed = MapPattern(40, 30).convertToFormat(QImage::Format_Indexed8);
    const QImage before = indexed;
    QImage out(20, 15, QImage::Format_RGB888);
    StretchImage(indexed, QRectF(20, 15, 20, 15), out, out.rect(), TStretch::Plain);
    EXPECT_EQ(out.pixel(0, 0), indexed.pixel(20, 15));
    EXPECT_EQ(indexed.format(), QImage::Format_Indexed8);
    EXPECT_EQ(indexed.constBits(), before.constBits()) << "still shared: never written";
}

} // namespace
} // namespace varrow
