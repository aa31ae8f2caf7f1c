#include "print/gui/PrintDlg.h"
#include "measure/MeasureUnits.h"
#include "print/gui/PrintPreview.h"
#include "print/gui/ProgressDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace varrow {
namespace {

QImage Map(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(60 + x % 150, 90 + y % 120, 40 + (x + y) % 100));
    return image;
}

// The dialog on a PDF printer, letter paper without margins at 300 per inch, over a
// 3 × 3 map at 4 m a pixel.
struct Dialog {
    QTemporaryDir dir;
    QImage map = Map(600, 600);
    TPrintMapInfo info;
    TPrintDlg dlg;
    int helpTopic = 0;

    Dialog() {
        QLocale::setDefault(QLocale::c());
        info.MetresPerPixel = 4;
        info.Zone = 13;
        info.Theme = QStringLiteral("Topo");
        dlg.Printer().setOutputFormat(QPrinter::PdfFormat);
        dlg.Printer().setOutputFileName(dir.filePath(QStringLiteral("map.pdf")));
        dlg.Printer().setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                                                QMarginsF(0, 0, 0, 0)));
        dlg.SetMapSource({[this]() -> const QImage& { return map; }, [this] { return info; }});
        dlg.OnHelp = [this](int topic) { helpTopic = topic; };
        dlg.BuildPrintPages();
        dlg.UpdatePrintReadouts();
        dlg.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    }
    void Choose(int method) { dlg.PrintModeButtons->button(method)->click(); }
    TPrintPreviewModel& Pages() { return dlg.PrintPreview1->Model(); }
    double ScreenPpi() const { return dlg.screen()->logicalDotsPerInchX(); }
};

TEST(PrintDlg, IsThePrintLayoutWindowWithItsControls) {
    Dialog d;
    EXPECT_EQ(d.dlg.windowTitle(), QStringLiteral("Print Layout"));
    EXPECT_EQ(d.dlg.size(), QSize(508, 377));
    QStringList methods;
    for (QAbstractButton* b : d.dlg.PrintModeButtons->buttons())
        methods << b->text();
    EXPECT_EQ(methods, (QStringList{"Actual Size", "Fit To Page", "Manual Scale", "Map Scale"}));
    EXPECT_EQ(d.dlg.PrintModeButtons->checkedId(), 0);
    EXPECT_DOUBLE_EQ(d.dlg.ScaleSpin->minimum(), 0.01);
    EXPECT_DOUBLE_EQ(d.dlg.ScaleSpin->maximum(), 10.0);
    EXPECT_DOUBLE_EQ(d.dlg.ScaleSpin->singleStep(), 0.01);
    EXPECT_DOUBLE_EQ(d.dlg.ScaleSpin->value(), 1.0);
    EXPECT_EQ(d.dlg.MapScaleCombo->count(), 6);
    EXPECT_EQ(d.dlg.MapScaleCombo->itemText(3), QStringLiteral("1:62,500"));
    EXPECT_TRUE(d.dlg.PrintBtn->isDefault());
    EXPECT_EQ(d.dlg.CancelBtn->text(), QStringLiteral("Close"));
    EXPECT_EQ(d.Pages().Color(), QColor(128, 128, 128));
    EXPECT_TRUE(d.Pages().AutoArrange());
    EXPECT_EQ(d.dlg.BMWidthDis->text(), QStringLiteral("600"));
    EXPECT_EQ(d.dlg.BMHeightDis->text(), QStringLiteral("600"));

    QTest::mouseClick(d.dlg.BitBtn1, Qt::LeftButton);
    EXPECT_EQ(d.helpTopic, 1);
}

TEST(PrintDlg, EveryMethodRebuildsThePagesAndReadsFeetPerInchAndRatio) {
    Dialog d;
    const double actual = 4 * 3.2808398950131233 * d.ScreenPpi();
    EXPECT_EQ(d.dlg.ScaleDis->text(), FormatFixed(actual, 1));

    d.Choose(3);
    EXPECT_EQ(d.dlg.ScaleDis->text(), QStringLiteral("2000.0"));
    EXPECT_EQ(d.dlg.RatioDis->text(), QStringLiteral("1:24,000"));
    EXPECT_TRUE(d.dlg.InfoCheck->isChecked()) << "on by default at map scale";
    EXPECT_EQ(d.Pages().Pages(0).Picture().Area().size(), QSize(1181, 1181));

    d.dlg.MapScaleCombo->setEditText(QStringLiteral("1 : 50000"));
    emit d.dlg.MapScaleCombo->lineEdit()->editingFinished();
    EXPECT_EQ(d.dlg.MapScaleCombo->currentText(), QStringLiteral("1:50,000"));
    EXPECT_EQ(d.dlg.RatioDis->text(), QStringLiteral("1:50,000"));
    EXPECT_EQ(d.dlg.ScaleDis->text(), QStringLiteral("4166.7"));
    d.dlg.MapScaleCombo->setEditText(QStringLiteral("1:"));
    emit d.dlg.MapScaleCombo->lineEdit()->editingFinished();
    EXPECT_EQ(d.dlg.MapScaleCombo->currentText(), QStringLiteral("1:50,000"))
        << "a bad ratio is not taken";

    d.Choose(1);
    EXPECT_FALSE(d.dlg.InfoCheck->isChecked());
    EXPECT_EQ(d.Pages().Count(), 1);
    EXPECT_EQ(d.Pages().Pages(0).Picture().Area().width(), 2550);
    EXPECT_EQ(d.dlg.ScaleDis->text(), FormatFixed(4 * 3.2808398950131233 * 300 / 4.25, 1));

    d.dlg.InfoCheck->click(); // remembered for "Fit To Page" only
    EXPECT_EQ(d.Pages().MapArea().height(), 3300 - 150);
    d.Choose(0);
    EXPECT_FALSE(d.dlg.InfoCheck->isChecked());
    d.Choose(1);
    EXPECT_TRUE(d.dlg.InfoCheck->isChecked());
}

TEST(PrintDlg, TheFactorCountsOnlyForManualScale) {
    Dialog d;
    const qint64 before = d.Pages().Pages(0).Picture().Key();
    const QString scale = d.dlg.ScaleDis->text();
    d.dlg.ScaleSpin->setValue(2.0);
    EXPECT_EQ(d.Pages().Pages(0).Picture().Key(), before);
    EXPECT_EQ(d.dlg.ScaleDis->text(), scale);

    d.Choose(2);
    EXPECT_EQ(d.dlg.ScaleDis->text(), FormatFixed(4 * 3.2808398950131233 * d.ScreenPpi() / 2, 1));
    d.dlg.ScaleSpin->setValue(20.0);
    EXPECT_DOUBLE_EQ(d.dlg.ScaleSpin->value(), 10.0);
}

TEST(PrintDlg, TheMouseOverASheetReadsCellPixelsAndInchesOnTheSheet) {
    Dialog d;
    ASSERT_GT(d.Pages().Cells().size(), 0u);
    const QRect cell = d.dlg.PrintPreview1->CellRect(0);
    ASSERT_GT(cell.width(), 20);
    const QPoint corner = d.Pages().Pages(0).PaperRect.topLeft();
    QTest::mouseMove(d.dlg.PrintPreview1->Sheets(), cell.topLeft() + corner);
    EXPECT_EQ(d.dlg.MouseXDis->text(), QString::number(corner.x()));
    EXPECT_EQ(d.dlg.MouseYDis->text(), QString::number(corner.y()));
    EXPECT_EQ(d.dlg.PaperXDis->text(), QStringLiteral("0.0"));
    EXPECT_EQ(d.dlg.PaperYDis->text(), QStringLiteral("0.0"));
}

TEST(PrintDlg, ThePreviewShowsGreySheetsWithShadowsInThreeColumns) {
    Dialog d;
    d.dlg.ScaleSpin->setValue(2.5);
    d.Choose(2); // 1500 screen pixels: 2 × 2 pages
    ASSERT_EQ(d.Pages().Count(), 4);
    EXPECT_EQ(d.Pages().Columns(), 2);
    d.Pages().SetColumns(3);
    const QImage shot = d.dlg.PrintPreview1->Sheets()->grab().toImage();
    const TPrinterPage& page = d.Pages().Pages(1);
    const QRect cell = d.dlg.PrintPreview1->CellRect(1);
    const QPoint o = cell.topLeft();
    EXPECT_EQ(cell.left(), cell.width()) << "second of three in a row";
    EXPECT_EQ(shot.pixel(o + QPoint(1, 1)), qRgb(128, 128, 128));
    const QRect& paper = page.PaperRect;
    EXPECT_EQ(shot.pixel(o + QPoint(paper.right() + 3, paper.center().y())), qRgb(64, 64, 64));
    // No margins: the page's picture starts at the paper's edge.
    EXPECT_NE(shot.pixel(o + page.ImageRect.topLeft() + QPoint(2, 2)), qRgb(255, 255, 255));
    if (const QByteArray shots = qgetenv("VARROW_PRINT_SHOTS"); !shots.isEmpty()) {
        const QDir folder(QString::fromLocal8Bit(shots));
        d.dlg.grab().save(folder.filePath(QStringLiteral("print-layout.png")));
        d.dlg.MapScaleCombo->setEditText(QStringLiteral("1:6000"));
        emit d.dlg.MapScaleCombo->lineEdit()->editingFinished();
        d.Choose(3);
        QTest::mouseMove(d.dlg.PrintPreview1->Sheets(), d.dlg.PrintPreview1->CellRect(3).center());
        d.dlg.grab().save(folder.filePath(QStringLiteral("print-layout-scale.png")));
    }
}

TEST(PrintDlg, PrintsEveryPageIntoOnePdfFileAndLeavesTheMapAlone) {
    Dialog d;
    const QImage before = d.map;
    d.dlg.ScaleSpin->setValue(2.5);
    d.Choose(2);
    EXPECT_TRUE(d.dlg.PrintPages());
    QFile pdf(d.dlg.Printer().outputFileName());
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") +
                  bytes.count("/Type /Page "),
              4);
    EXPECT_FALSE(d.dlg.Progress().isVisible());
    EXPECT_EQ(d.map.format(), QImage::Format_RGB32);
    EXPECT_EQ(d.map.constBits(), before.constBits()) << "read, never converted or copied";
}

TEST(PrintDlg, CancelStopsPrintingAndLeavesNoFile) {
    Dialog d;
    d.dlg.ScaleSpin->setValue(2.5);
    d.Choose(2);
    QObject::connect(d.dlg.Progress().ProgressBar1, &QProgressBar::valueChanged, [&](int v) {
        if (v > 0) d.dlg.Progress().CancelBtn->click();
    });
    EXPECT_FALSE(d.dlg.PrintPages());
    EXPECT_FALSE(QFile::exists(d.dlg.Printer().outputFileName()));
}

} // namespace
} // namespace varrow
