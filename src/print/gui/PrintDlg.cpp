#include "PrintDlg.h"

#include "controls/gui/CentreOnScreen.h"

#include "PrintPreview.h"
#include "ProgressDlg.h"
#include "measure/MeasureUnits.h"
#include "print/PrintOutput.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <exception>

namespace varrow {

namespace {

// Pages are printed at 300 per inch at most: a 600 or 1200 per inch printer would take four or
// sixteen times the time and data for no detail the map has (at 1:24,000 a map pixel is 2 of
// these).
constexpr int PageDpi = 300;
constexpr double StandardRatios[] = {24000, 25000, 50000, 62500, 100000, 250000};

QLabel* Panel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(QStringLiteral("0"), parent);
    label->setObjectName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(52);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// The screen the map is looked at on: actual size means as large as a pixel there.
QPointF ScreenPpi(const QWidget* w) {
    const QScreen* screen = w->screen() != nullptr ? w->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return {96, 96};
    return {screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY()};
}

} // namespace

TPrintDlg::TPrintDlg(QWidget* parent)
    : QDialog(parent), PrintPreview1(new TPrintPreview), m_printer(QPrinter::HighResolution),
      m_layout(PrintPreview1->Model()) {
    setObjectName(QStringLiteral("PrintDlg"));
    setWindowTitle(tr("Print Layout"));
    setModal(true);

    // With no printer installed Qt prints to a PDF file: one that a printer can take later.
    if (m_printer.outputFormat() == QPrinter::PdfFormat) {
        m_printer.setResolution(PageDpi);
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
        m_printer.setOutputFileName(QDir(folder).filePath(QStringLiteral("map.pdf")));
    }
    m_printer.setDocName(QStringLiteral("Varrow map"));

    PrintBtn = new QPushButton(tr("Print"), this);
    PrintBtn->setObjectName(QStringLiteral("PrintBtn"));
    PrintBtn->setDefault(true);
    SetupBtn = new QPushButton(tr("Print Setup"), this);
    SetupBtn->setObjectName(QStringLiteral("SetupBtn"));
    SetupBtn->setAutoDefault(false);
    CancelBtn = new QPushButton(tr("Close"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);
    BitBtn1 = new QPushButton(tr("Help"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAutoDefault(false);
    connect(PrintBtn, &QPushButton::clicked, this, &TPrintDlg::PrintBtnClick);
    connect(SetupBtn, &QPushButton::clicked, this, &TPrintDlg::SetupBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        if (OnHelp) OnHelp(1);
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addStretch(1);
    buttons->addWidget(PrintBtn);
    buttons->addWidget(SetupBtn);
    buttons->addWidget(CancelBtn);

    auto* body = new QHBoxLayout;
    body->addWidget(BuildChoices());
    body->addWidget(BuildPreview(), 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    setFixedSize(508, 377);

    m_progress = new TProgressDlg(this);
}

TPrintDlg::~TPrintDlg() = default;

QWidget* TPrintDlg::BuildChoices() {
    auto* box = new QWidget(this);
    box->setObjectName(QStringLiteral("ChoicesPanel"));
    auto* readouts = new QGridLayout;
    readouts->setHorizontalSpacing(4);
    readouts->setVerticalSpacing(3);
    BMWidthDis = Panel(QStringLiteral("BMWidthDis"), box);
    BMHeightDis = Panel(QStringLiteral("BMHeightDis"), box);
    ScaleDis = Panel(QStringLiteral("ScaleDis"), box);
    RatioDis = Panel(QStringLiteral("RatioDis"), box);
    RatioDis->setText(QStringLiteral("-"));
    readouts->addWidget(new QLabel(tr("Width"), box), 0, 1, Qt::AlignHCenter);
    readouts->addWidget(new QLabel(tr("Height"), box), 0, 2, Qt::AlignHCenter);
    readouts->addWidget(new QLabel(tr(" Size:"), box), 1, 0);
    readouts->addWidget(BMWidthDis, 1, 1);
    readouts->addWidget(BMHeightDis, 1, 2);
    readouts->addWidget(new QLabel(tr(" Scale:"), box), 2, 0);
    readouts->addWidget(ScaleDis, 2, 1);
    readouts->addWidget(new QLabel(tr("Ft/Inch"), box), 2, 2);
    readouts->addWidget(new QLabel(tr(" Ratio:"), box), 3, 0);
    readouts->addWidget(RatioDis, 3, 1, 1, 2);

    PrintModeRadio = new QGroupBox(tr("Print Method"), box);
    PrintModeRadio->setObjectName(QStringLiteral("PrintModeRadio"));
    PrintModeButtons = new QButtonGroup(PrintModeRadio);
    auto* methods = new QVBoxLayout(PrintModeRadio);
    methods->setSpacing(2);
    methods->setContentsMargins(8, 4, 8, 4);
    const QStringList names = {tr("Actual Size"), tr("Fit To Page"), tr("Manual Scale"),
                               tr("Map Scale")};
    for (int i = 0; i < names.size(); ++i) {
        auto* radio = new QRadioButton(names[i], PrintModeRadio);
        radio->setObjectName(QStringLiteral("PrintModeRadio%1").arg(i));
        PrintModeButtons->addButton(radio, i);
        methods->addWidget(radio);
    }
    PrintModeButtons->button(0)->setChecked(true);
    connect(PrintModeButtons, &QButtonGroup::idClicked, this,
            [this](int) { PrintModeRadioClick(); });

    ScaleSpin = new QDoubleSpinBox(box);
    ScaleSpin->setObjectName(QStringLiteral("ScaleSpin"));
    ScaleSpin->setRange(MinScaleFactor, MaxScaleFactor);
    ScaleSpin->setSingleStep(0.01);
    ScaleSpin->setDecimals(2);
    ScaleSpin->setValue(1.0);
    // Rebuilding a large map per keystroke would make typing "2.5" print at 2 first.
    ScaleSpin->setKeyboardTracking(false);
    connect(ScaleSpin, &QDoubleSpinBox::valueChanged, this, [this](double) { ScaleSpinChange(); });

    MapScaleCombo = new QComboBox(box);
    MapScaleCombo->setObjectName(QStringLiteral("MapScaleCombo"));
    MapScaleCombo->setEditable(true);
    MapScaleCombo->setInsertPolicy(QComboBox::NoInsert);
    for (double ratio : StandardRatios)
        MapScaleCombo->addItem(RatioText(ratio));
    MapScaleCombo->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("\\s*(1\\s*:\\s*)?[0-9][0-9,.\\s'_\u00a0\u202f]*")),
        MapScaleCombo));
    MapScaleCombo->setToolTip(tr("Paper scale 1:N: pick one or type any N"));
    connect(MapScaleCombo, &QComboBox::activated, this, [this](int) { MapScaleChange(); });
    connect(MapScaleCombo->lineEdit(), &QLineEdit::editingFinished, this,
            &TPrintDlg::MapScaleChange);

    auto* factors = new QGridLayout;
    factors->setVerticalSpacing(3);
    factors->addWidget(new QLabel(tr("Scale"), box), 0, 0);
    factors->addWidget(ScaleSpin, 0, 1);
    factors->addWidget(new QLabel(tr("Map Scale"), box), 1, 0);
    factors->addWidget(MapScaleCombo, 1, 1);

    InfoCheck = new QCheckBox(tr("Print map information"), box);
    InfoCheck->setObjectName(QStringLiteral("InfoCheck"));
    InfoCheck->setToolTip(tr("Scale, UTM zone and corners, theme, tile source and page number "
                             "under the map; scale bars on the last page"));
    connect(InfoCheck, &QCheckBox::clicked, this, &TPrintDlg::InfoCheckClick);

    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addLayout(readouts);
    column->addWidget(PrintModeRadio);
    column->addLayout(factors);
    column->addWidget(InfoCheck);
    column->addStretch(1);
    box->setFixedWidth(196);
    return box;
}

QWidget* TPrintDlg::BuildPreview() {
    auto* box = new QWidget(this);
    box->setObjectName(QStringLiteral("PreviewPanel"));
    PrintPreview1->setParent(box);
    PrintPreview1->SetColor(QColor(128, 128, 128));
    PrintPreview1->Model().SetAutoArrange(true);
    PrintPreview1->Model().SetCount(3);
    connect(PrintPreview1, &TPrintPreview::imageMouseMove, this,
            [this](int page, const QSize& cell, const QPoint& pos, Qt::KeyboardModifiers) {
                PrintPreview1ImageMouseMove(page, cell, pos);
            });
    MouseXDis = Panel(QStringLiteral("MouseXDis"), box);
    MouseYDis = Panel(QStringLiteral("MouseYDis"), box);
    PaperXDis = Panel(QStringLiteral("PaperXDis"), box);
    PaperYDis = Panel(QStringLiteral("PaperYDis"), box);
    for (QLabel* l : {MouseXDis, MouseYDis, PaperXDis, PaperYDis})
        l->setMinimumWidth(40);
    auto* mouse = new QHBoxLayout;
    mouse->setSpacing(3);
    mouse->addWidget(new QLabel(tr(" Mouse:"), box));
    mouse->addWidget(MouseXDis);
    mouse->addWidget(MouseYDis);
    mouse->addSpacing(6);
    mouse->addWidget(new QLabel(tr(" Paper:"), box));
    mouse->addWidget(PaperXDis);
    mouse->addWidget(PaperYDis);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);
    column->addWidget(new QLabel(tr("  Print Preview"), box));
    column->addWidget(PrintPreview1, 1);
    column->addLayout(mouse);
    return box;
}

void TPrintDlg::SetMapSource(TPrintMapSource source) {
    m_layout.SetMapSource(std::move(source));
}

void TPrintDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this);
}

int TPrintDlg::ShowPrintLayout() {
    BuildPrintPages();
    UpdatePrintReadouts();
    return exec();
}

// The printer and screen of this moment go into the pages' arithmetic.
void TPrintDlg::TakePrinter() {
    if (m_printer.resolution() > PageDpi ||
        (m_printer.outputFormat() == QPrinter::PdfFormat && m_printer.resolution() != PageDpi))
        m_printer.setResolution(PageDpi);
    TPrintPreviewModel& model = PrintPreview1->Model();
    model.SetMetrics(MetricsOf(m_printer.pageLayout(), m_printer.resolution()));
    const QPointF ppi = ScreenPpi(this);
    model.SetScreenPpi(ppi.x(), ppi.y());
}

void TPrintDlg::BuildPrintPages() {
    TakePrinter();
    TPrintSettings& s = m_layout.Settings();
    s.Method = static_cast<TPrintMethod>(std::max(0, PrintModeButtons->checkedId()));
    s.Factor = ScaleSpin->value();
    s.Info = m_info[size_t(s.Method)];
    const bool info = InfoCheck->blockSignals(true);
    InfoCheck->setChecked(m_info[size_t(s.Method)]);
    InfoCheck->blockSignals(info);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString failure;
    try {
        m_layout.BuildPrintPages();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    QApplication::restoreOverrideCursor();
    PrintPreview1->SetDecoration(m_layout.Decoration());
    if (!failure.isEmpty()) ShowError(failure);
}

void TPrintDlg::UpdatePrintReadouts() {
    const TPrintReadouts r = m_layout.Readouts();
    BMWidthDis->setText(r.Width);
    BMHeightDis->setText(r.Height);
    ScaleDis->setText(r.FeetPerInch);
    RatioDis->setText(r.Ratio);
}

void TPrintDlg::PrintModeRadioClick() {
    BuildPrintPages();
    UpdatePrintReadouts();
}

void TPrintDlg::ScaleSpinChange() {
    if (PrintModeButtons->checkedId() != int(TPrintMethod::ManualScale)) return;
    BuildPrintPages();
    UpdatePrintReadouts();
}

void TPrintDlg::MapScaleChange() {
    const auto ratio = ParseRatio(MapScaleCombo->currentText());
    TPrintSettings& s = m_layout.Settings();
    const bool changed = ratio && *ratio != s.Ratio;
    if (ratio) s.Ratio = *ratio;
    // Whatever was typed, the box shows the ratio in use, written the usual way.
    const QString text = RatioText(s.Ratio);
    if (MapScaleCombo->currentText() != text) MapScaleCombo->setEditText(text);
    if (!changed || PrintModeButtons->checkedId() != int(TPrintMethod::MapScale)) return;
    BuildPrintPages();
    UpdatePrintReadouts();
}

void TPrintDlg::InfoCheckClick() {
    m_info[size_t(std::max(0, PrintModeButtons->checkedId()))] = InfoCheck->isChecked();
    BuildPrintPages();
    UpdatePrintReadouts();
}

void TPrintDlg::SetupBtnClick() {
    QPageSetupDialog dialog(&m_printer, this);
    dialog.exec();
    BuildPrintPages();
    UpdatePrintReadouts();
}

void TPrintDlg::PrintBtnClick() {
    QPrintDialog dialog(&m_printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    if (dialog.exec() != QDialog::Accepted) return;
    PrintPages();
}

bool TPrintDlg::PrintPages() {
    BuildPrintPages();
    UpdatePrintReadouts();
    TPrintPreviewModel& model = PrintPreview1->Model();
    if (model.PrintedPages(true).empty()) {
        ShowError(tr("There is nothing to print: every page is blank."));
        return false;
    }
    m_progress->ShowProgress(tr("Printing Maps"));
    const TPrintProgress progress = [this](int percent) {
        return m_progress->SetProgress(percent);
    };
    bool printed = false;
    QString failure;
    try {
        if (m_printer.outputFormat() == QPrinter::PdfFormat)
            printed = PrintPagesToPdf(model, m_layout.Decoration(), m_printer.pageLayout(),
                                      m_printer.resolution(), m_printer.outputFileName(), progress);
        else
            printed = model.PrintPages(m_printer, true, progress, m_layout.Decoration(),
                                       [this] { m_printer.abort(); });
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    m_progress->hide();
    if (!failure.isEmpty()) ShowError(failure);
    return printed;
}

void TPrintDlg::PrintPreview1ImageMouseMove(int, const QSize& cell, const QPoint& pos) {
    MouseXDis->setText(QString::number(pos.x()));
    MouseYDis->setText(QString::number(pos.y()));
    const QPointF inches = m_layout.PaperInches(cell, pos);
    PaperXDis->setText(FormatFixed(inches.x(), 1));
    PaperYDis->setText(FormatFixed(inches.y(), 1));
}

void TPrintDlg::ShowError(const QString& message) {
    QMessageBox::warning(this, windowTitle(), message);
}

} // namespace varrow
