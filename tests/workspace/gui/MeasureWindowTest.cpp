// Measuring on the main window's "Measure" page, and printing from its menu,
// as a user does it, against the real tile service.

#include "MainWindowFixture.h"

#include "print/gui/PrintDlg.h"
#include "support/ModalMessages.h"

#include <QLineEdit>

namespace varrow {
namespace {

class MeasureWindowTest : public test::MainWindowTest {
protected:
    void ShowMeasurePage() {
        auto* pages = Find<TPageControl>("PageControl2");
        QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {},
                          pages->tabBar()->tabRect(TForm1::MeasurePage).center());
        ASSERT_EQ(pages->currentIndex(), TForm1::MeasurePage);
    }
    QString Readout(const char* name) { return Find<QLineEdit>(name)->text(); }
    // The red and aqua of the figure's marks and band.
    static int FigurePixels(const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                n += c == qRgb(255, 0, 0) || c == qRgb(0, 255, 255);
            }
        return n;
    }
};

TEST_F(MeasureWindowTest, ASquareClickedOnTheMapReadsItsLengthAreaAndAzimuth) {
    LoadAndWait();
    const QImage before = form->Session().Mosaic().copy();
    ShowMeasurePage();
    EXPECT_EQ(Image()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(Find<QToolBar>("ToolBar")->isEnabled());
    EXPECT_TRUE(Readout("LengthDis").isEmpty()) << "nothing before the first event";

    // 100 × 100 pixels at 512 m per pixel, three sides drawn: 153,600 m and
    // 2,621,440,000 m² in the initial miles.
    for (const QPoint p : {QPoint(100, 100), QPoint(200, 100), QPoint(200, 200), QPoint(100, 200)})
        QTest::mouseClick(Image(), Qt::LeftButton, {}, p);
    EXPECT_EQ(Readout("LengthDis"), "95.44Mi");
    EXPECT_EQ(Readout("AreaDis"), "1012.16Mi^2");
    EXPECT_EQ(Readout("AzmEdit"), QStringLiteral("270.0\u00B0"));
    const QImage& mosaic = form->Session().Mosaic();
    EXPECT_GT(FigurePixels(mosaic), FigurePixels(before) + 300) << "the band and marks";
    // The figure is part of the map: saving it writes the figure too.
    QTemporaryDir dir;
    ASSERT_TRUE(form->SaveMapImage(dir.filePath("measured.png")));
    EXPECT_EQ(QImage(dir.filePath("measured.png")).convertToFormat(QImage::Format_RGB32), mosaic);

    // Ctrl+drag of a vertex moves the whole figure: the readouts stay.
    QTest::mousePress(Image(), Qt::LeftButton, Qt::ControlModifier, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(130, 150), QPointF(130, 150), Qt::NoButton,
                     Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(Image(), &move);
    QTest::mouseRelease(Image(), Qt::LeftButton, Qt::ControlModifier, QPoint(130, 150));
    EXPECT_EQ(Readout("LengthDis"), "95.44Mi");
    EXPECT_EQ(Readout("AreaDis"), "1012.16Mi^2");
    // In metres, by the unit choice.
    QTest::mouseClick(Find<QRadioButton>("LengthRadioItem1"), Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(Readout("LengthDis"), "153600.0M");

    // Back on the loader's page the figure is wiped; it comes back with the page.
    auto* pages = Find<TPageControl>("PageControl2");
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {},
                      pages->tabBar()->tabRect(TForm1::LoaderPage).center());
    EXPECT_EQ(mosaic, before);
    EXPECT_TRUE(Find<QToolBar>("ToolBar")->isEnabled());
    ShowMeasurePage();
    EXPECT_NE(mosaic, before);
    Click("ResetMeasureBtn");
    EXPECT_EQ(mosaic, before);
    EXPECT_EQ(Readout("LengthDis"), "0.0M");
    EXPECT_EQ(Readout("AreaDis"), "0.00Mi^2");
    EXPECT_EQ(Readout("AzmEdit"), QStringLiteral("0.0\u00B0"));
}

TEST_F(MeasureWindowTest, TheGridSurvivesErasingAndResettingTheFigure) {
    Find<QRadioButton>("GridRadioItem3")->setChecked(true); // "1 Degree"
    Click("GridChk");
    ASSERT_TRUE(WaitLoaded());
    const QImage& mosaic = form->Session().Mosaic();
    const int grid = GridPixels(mosaic);
    ASSERT_GT(grid, 600);
    ShowMeasurePage();
    QTest::mouseClick(Image(), Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseClick(Image(), Qt::LeftButton, {}, QPoint(550, 550));
    Click("ResetMeasureBtn");
    EXPECT_EQ(GridPixels(mosaic), grid);
}

TEST_F(MeasureWindowTest, PrintMapImageOpensTheLayoutWithThePagesOfTheMap) {
    // Without a map there is nothing to print, and the user is told so.
    auto* print = Find<QAction>("PrintMapImage1");
    ASSERT_TRUE(print->isEnabled());
    const QString told = test::MessageDuring([&] { print->trigger(); });
    EXPECT_TRUE(told.contains("no map")) << told.toStdString();

    LoadAndWait();
    auto* dialog = Find<TPrintDlg>("PrintDlg");
    ASSERT_NE(dialog, nullptr);
    QWidget* shown = WhileModal([&] { print->trigger(); },
                                [](QWidget* w) { QTimer::singleShot(0, w, &QWidget::close); });
    EXPECT_EQ(shown, dialog);
    EXPECT_TRUE(dialog->BMWidthDis->text().contains("600")) << dialog->BMWidthDis->text().toStdString();
}

} // namespace
} // namespace varrow
