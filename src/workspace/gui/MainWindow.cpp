#include "MainWindow.h"

#include "controls/gui/ElapsedTimeDisplay.h"
#include "controls/gui/FloatSpinEdit.h"
#include "controls/gui/PageControl.h"
#include "controls/gui/ReadoutLabel.h"
#include "io/MapImageFile.h"
#include "measure/gui/ImageEx.h"
#include "measure/gui/MeasurePage.h"
#include "export/gui/ExportActions.h"
#include "positions/gui/SavePosDlg.h"
#include "print/MapPrintSource.h"
#include "print/gui/PrintDlg.h"
#include "workspace/ClipboardImage.h"
#include "workspace/MapGeoReference.h"
#include "workspace/Readouts.h"
#include "workspace/gui/HelpWindow.h"
#include "workspace/gui/IndexPage.h"
#include "workspace/gui/LoaderPage.h"
#include "workspace/gui/MapArea.h"
#include "workspace/gui/MapToolBar.h"
#include "workspace/gui/SaveProgressDlg.h"
#include "workspace/gui/SettingsDlg.h"
#include "workspace/gui/TilePosDlg.h"
#include "workspace/gui/UserDefaultsUi.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QMimeData>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QFileInfo>
#include <QProgressBar>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

namespace varrow {

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Varrow"));

    m_session = std::make_unique<TMapSession>();
    m_navigator = std::make_unique<TNavigator>(*m_session);

    BuildMenus();
    PageControl1 = new TPageControl(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    m_indexPage = new TIndexPage(*m_session, *m_navigator, PageControl1);
    PageControl1->addTab(m_indexPage, tr("Index"));
    PageControl1->addTab(BuildImageLoaderPage(), tr("Image Loader"));
    PageControl1->setCurrentIndex(IndexPage);
    setCentralWidget(PageControl1);
    BuildStatusBar();

    // A press on an index map selects 512 m per pixel as the scale selector
    // does, so its handler runs (and loads) only when the item changes.
    m_indexPage->SelectScale = [this](int item) {
        if (QAbstractButton* b = LoaderSheet->ScaleButtons->button(item)) b->setChecked(true);
    };
    connect(m_indexPage, &TIndexPage::loadRequested, this, [this] {
        PageControl1->setCurrentIndex(ImageLoaderPage);
        LoadBtnClick();
    });

    TilePosDlg = new TTilePosDlg(*m_session, this);
    TilePosDlg->OnHelp = [this](int topic) { HelpWindow()->ShowTopic(topic, TilePosDlg); };
    SettingsDlg = new TSettingsDlg(*m_session, this);
    SavePosDlg = new TSavePosDlg(*m_session, m_positions, this);
    SavePosDlg->OnHelp = [this](int topic, QWidget* over) { HelpWindow()->ShowTopic(topic, over); };
    PrintDlg = new TPrintDlg(this);
    PrintDlg->SetMapSource(PrintMapSourceOf(*m_session));
    PrintDlg->OnHelp = [this](int topic) { HelpWindow()->ShowTopic(topic); };
    m_measurement.SetScale(m_session->View().Scale);
    MeasureSheet->Attach(m_measurement, m_session->Canvas());

    MapArea->TerrainImage->SetPicture(&m_session->Mosaic());
    connect(m_session.get(), &TMapSession::viewChanged, this, &TForm1::RefreshControls);
    connect(m_session.get(), &TMapSession::loadStarting, this, &TForm1::LoadStarting);
    connect(m_session.get(), &TMapSession::mosaicReset, this, &TForm1::MosaicReset);
    connect(m_session.get(), &TMapSession::mosaicChanged, MapArea->TerrainImage,
            &TImageEx::PictureChanged);
    connect(m_session.get(), &TMapSession::progressChanged, this, &TForm1::LoadProgress);
    connect(m_session.get(), &TMapSession::loadCompleted, this, &TForm1::LoadCompleted);
    connect(m_session.get(), &TMapSession::errorRaised, this, &TForm1::ShowError);

    m_session->View().SetZoomFactor(1.0);
    ShowSource();
    RefreshControls();
    MapArea->ShowZoom(m_session->View().ZoomFactor());
    resize(1040, 740);
}

TForm1::~TForm1() {
    // Normally written at the close, where a failure can still be shown.
    if (m_activated && !m_positionsStored) StorePositionList(false);
    // The session aborts its load on the way out and may still report; the
    // window is no longer there to listen.
    m_session->disconnect(this);
    m_session->disconnect(MapArea->TerrainImage);
    MapArea->TerrainImage->SetPicture(nullptr);
    m_navigator.reset();
    m_session.reset();
}

THelpWindow* TForm1::HelpWindow() {
    if (m_help == nullptr) m_help = new THelpWindow(this);
    return m_help;
}

void TForm1::BuildMenus() {
    auto add = [this](QMenu* menu, const char* name, const QString& text, bool enabled,
                      void (TForm1::*handler)()) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(enabled);
        if (handler != nullptr) connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu* file = menuBar()->addMenu(tr("&File"));
    add(file, "SaveBitmap1", tr("&Save Map Image.."), true, &TForm1::SaveBitmap1Click);
    // Beside each saved image, the files that let a GIS place it.
    WriteWorldFiles1 = add(file, "WriteWorldFiles1", tr("Write &World Files"), true, nullptr);
    WriteWorldFiles1->setCheckable(true);
    connect(WriteWorldFiles1, &QAction::toggled, this, [this](bool on) {
        try {
            StoreWriteWorldFiles(on);
        } catch (const std::exception& e) {
            QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
        }
    });
    add(file, "PrintMapImage1", tr("&Print Map Image..."), true, &TForm1::PrintMapImage1Click);
    add(file, "ExportKMLKMZfile1", tr("Export &KML/KMZ file..."), true,
        &TForm1::ExportKMLKMZfile1Click);
    // The map warped into a latitude/longitude grid, so that Google Earth lays
    // it where it belongs; off, the overlay is the map as it is in the box of
    // its corners.
    PlaceExactly1 = add(file, "PlaceExactly1", tr("Place KMZ &Exactly"), true, nullptr);
    PlaceExactly1->setCheckable(true);
    PlaceExactly1->setChecked(true);
    file->addSeparator();
    QAction* exit = add(file, "Exit1", tr("Exit"), true, nullptr);
    connect(exit, &QAction::triggered, this, &QWidget::close);
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    add(edit, "Copy1", tr("Copy &Main Image"), true, &TForm1::Copy1Click);
    QMenu* options = menuBar()->addMenu(tr("&Options"));
    add(options, "SavePositions1", tr("&Save Positions..."), true, &TForm1::SavePositions1Click);
    add(options, "SaveLocations1", tr("&Tile Info..."), true, &TForm1::SaveLocations1Click);
    add(options, "Settings1", tr("&Settings..."), true, &TForm1::Settings1Click);
    add(options, "SaveUserDefaults1", tr("Save &User Defaults"), true,
        &TForm1::SaveUserDefaults1Click);
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    add(help, "Contents1", tr("&Contents"), true, &TForm1::Contents1Click);
    add(help, "About1", tr("About..."), true, &TForm1::About1Click);
}

QWidget* TForm1::BuildImageLoaderPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("ImageLoaderPage"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    ToolBar = new TMapToolBar(page);
    layout->addWidget(ToolBar);
    WireToolBar();

    auto* body = new QHBoxLayout;
    body->setSpacing(6);
    PageControl2 = new TPageControl(page);
    PageControl2->setObjectName(QStringLiteral("PageControl2"));
    auto* loaderScroll = new QScrollArea(PageControl2);
    loaderScroll->setObjectName(QStringLiteral("LoaderPage"));
    LoaderSheet = new TLoaderPage;
    loaderScroll->setWidget(LoaderSheet);
    loaderScroll->setWidgetResizable(true);
    loaderScroll->setFrameShape(QFrame::NoFrame);
    loaderScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PageControl2->addTab(loaderScroll, tr("Loader"));
    MeasureSheet = new TMeasurePage(PageControl2);
    PageControl2->addTab(MeasureSheet, tr("Measure"));
    PageControl2->setCurrentIndex(LoaderPage);
    PageControl2->setFixedWidth(LoaderSheet->sizeHint().width() + 40);
    PageControl2->OnChanging = [this](int) { return PageControl2Changing(); };
    connect(PageControl2, &TPageControl::userChanged, this, &TForm1::PageControl2Change);
    WireLoaderPage();
    body->addWidget(PageControl2);
    MapArea = new TMapArea(page);
    WireMapArea();
    body->addWidget(MapArea, 1);
    layout->addLayout(body, 1);
    return page;
}

void TForm1::WireToolBar() {
    connect(ToolBar, &TMapToolBar::panClicked, this, &TForm1::Pan);
    const std::pair<const char*, void (TForm1::*)()> buttons[] = {
        {"ZeroOffsetBtn", &TForm1::ZeroOffsetBtnClick}, {"WestZoneBtn", &TForm1::WestZoneBtnClick},
        {"EastZoneBtn", &TForm1::EastZoneBtnClick},     {"ComAbortBtn", &TForm1::ComAbortBtnClick},
        {"LoadBtn", &TForm1::LoadBtnClick},             {"GEBtn", &TForm1::GEBtnClick}};
    for (const auto& [name, handler] : buttons)
        connect(ToolBar->Button(name), &QToolButton::clicked, this, handler);
    connect(ToolBar, &TMapToolBar::positionEdited, this, &TForm1::NorthSpinChange);
    connect(ToolBar, &TMapToolBar::zoneEdited, this, &TForm1::ZoneSpinChange);
}

void TForm1::WireLoaderPage() {
    connect(LoaderSheet, &TLoaderPage::themeClicked, this, &TForm1::ThemeRadioClick);
    connect(LoaderSheet, &TLoaderPage::tileCountsChanged, this, &TForm1::TileCountXSpinChange);
    connect(LoaderSheet, &TLoaderPage::speedClicked, this, &TForm1::SpeedRadioClick);
    connect(LoaderSheet, &TLoaderPage::scaleClicked, this, &TForm1::ScaleRadioClick);
}

void TForm1::WireMapArea() {
    connect(MapArea->MagBar, &QSlider::valueChanged, this, &TForm1::MagBarChange);
    connect(MapArea->ResetBtn, &QToolButton::clicked, this, &TForm1::ResetBtnClick);
    connect(MapArea->GridChk, &QCheckBox::toggled, this, &TForm1::GridChkClick);
    TImageEx* image = MapArea->TerrainImage;
    connect(image, &TImageEx::mouseDown, this,
            &TForm1::TerrainImageMouseDown);
    connect(image, &TImageEx::mouseMove, this, &TForm1::TerrainImageMouseMove);
    connect(image, &TImageEx::mouseUp, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, QPoint point) {
                TerrainImageMouseUp(button, point);
            });
}

void TForm1::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    ProgressGauge = new QProgressBar(bar);
    ProgressGauge->setObjectName(QStringLiteral("ProgressGauge"));
    ProgressGauge->setRange(0, 100);
    ProgressGauge->setValue(0);
    ProgressGauge->setFixedWidth(160);
    bar->addWidget(ProgressGauge);
    auto field = [bar](const QString& caption, QWidget* value) {
        bar->addWidget(new QLabel(caption, bar));
        bar->addWidget(value);
    };
    RetryDis = ReadoutLabel(bar, "RetryDis", 60);
    CacheHitDis = ReadoutLabel(bar, "CacheHitDis", 60);
    SubTimer1 = new TElapsedTimeDisplay(bar);
    SubTimer1->setObjectName(QStringLiteral("SubTimer1"));
    SubTimer1->setFrameShape(QFrame::Panel);
    SubTimer1->setFrameShadow(QFrame::Sunken);
    SubTimer1->setMinimumWidth(90);
    SubTimer1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field(tr(" Retries/Lost:"), RetryDis);
    field(tr(" Cache Hits:"), CacheHitDis);
    field(tr(" Load Time:"), SubTimer1);
    // Why a map has holes, told where the counters are, without a box to close.
    LoadStatusDis = new QLabel(bar);
    LoadStatusDis->setObjectName(QStringLiteral("LoadStatusDis"));
    LoadStatusDis->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar->addWidget(LoadStatusDis, 1);
    SourceDis = new QLabel(bar);
    SourceDis->setObjectName(QStringLiteral("SourceDis"));
    bar->addPermanentWidget(SourceDis);
}

void TForm1::Run(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        // A load that failed to start (no memory for the mosaic) never completes.
        if (!m_session->IsBusy() && !m_session->LoadComplete()) SubTimer1->Stop();
        QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
}

void TForm1::ShowError(const QString& message) {
    // Not modal: the load that raised it goes on meanwhile.
    auto* box =
        new QMessageBox(QMessageBox::Warning, windowTitle(), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

void TForm1::ShowLater(const QString& message) {
    // Told once the window is up, not in the middle of showing it.
    QTimer::singleShot(0, this,
                       [this, message] { QMessageBox::warning(this, windowTitle(), message); });
}

void TForm1::RefreshControls() {
    const TMapViewState& view = m_session->View();
    // Only what differs, so that a field being typed into keeps its cursor.
    auto setFloat = [](QDoubleSpinBox* spin, double value) {
        if (spin->value() != value) {
            const QSignalBlocker block(spin);
            spin->setValue(value);
        }
    };
    setFloat(ToolBar->EastSpin, view.Easting);
    setFloat(ToolBar->NorthSpin, view.Northing);
    if (ToolBar->ZoneSpin->value() != view.Zone) {
        const QSignalBlocker block(ToolBar->ZoneSpin);
        ToolBar->ZoneSpin->setValue(view.Zone);
    }
    MapArea->SetMagPosition(view.MagPosition);
    LoaderSheet->ShowView(view);
}

void TForm1::LoadBtnClick() {
    Run([this] { m_session->LoadCurrentView(true); });
}

void TForm1::ComAbortBtnClick() {
    Run([this] { m_session->Abort(); });
    // An aborted load never completes; its clock must not run on.
    if (!m_session->LoadComplete()) SubTimer1->Stop();
}

void TForm1::Pan(int dx, int dy) {
    Run([&] { m_navigator->Pan(dx, dy); });
}

void TForm1::ZeroOffsetBtnClick() {
    Run([this] { m_navigator->ZeroOffset(); });
}

void TForm1::WestZoneBtnClick() {
    Run([this] { m_navigator->WestZone(); });
}

void TForm1::EastZoneBtnClick() {
    Run([this] { m_navigator->EastZone(); });
}

void TForm1::NorthSpinChange() {
    m_navigator->SetPosition(ToolBar->EastSpin->value(), ToolBar->NorthSpin->value());
}

void TForm1::ZoneSpinChange() {
    m_navigator->SetZone(ToolBar->ZoneSpin->value());
}

void TForm1::ScaleRadioClick() {
    Run([this] { m_navigator->ChangeScale(LoaderSheet->ScaleItem()); });
    // Same centre, new scale: the middle of the map is what was in view.
    MapArea->ShowMiddle();
}

void TForm1::ThemeRadioClick() {
    Run([this] { m_navigator->ChangeTheme(ThemeFromSelectorIndex(LoaderSheet->ThemeItem())); });
}

void TForm1::GridChkClick() {
    TGridOptions grid = m_session->GridOptions();
    grid.Show = MapArea->GridChk->isChecked();
    m_session->SetGridOptions(grid);
    ThemeRadioClick(); // the grid is drawn anew by the load
}

void TForm1::SpeedRadioClick() {
    // Only "Broadband" loads in parallel; no item selected loads as "Dialup".
    m_navigator->ChangeSpeed(LoaderSheet->SpeedItem() !=
                             static_cast<int>(TConnectionSpeed::Broadband));
}

void TForm1::TileCountXSpinChange() {
    LoaderSheet->UpdateSizeReadouts();
    Run([this] {
        m_navigator->ChangeTileCounts(LoaderSheet->TileCountXSpin->value(),
                                      LoaderSheet->TileCountYSpin->value());
    });
}

void TForm1::MagBarChange() {
    m_session->View().MagPosition = MapArea->MagBar->value();
    const double f = m_session->View().ZoomFactor();
    MapArea->KeepViewCentre([this, f] { MapArea->TerrainImage->SetMagnification(f); });
    MapArea->ShowZoom(f);
}

void TForm1::ResetBtnClick() {
    m_session->View().SetZoomFactor(1.0);
    MapArea->SetMagPosition(m_session->View().MagPosition);
    // The track bar's 1.0 is 0.997; the reset shows the mosaic pixel for pixel.
    MapArea->KeepViewCentre([this] { MapArea->TerrainImage->SetAutoSize(true); });
    MapArea->ShowZoom(m_session->View().ZoomFactor());
}

void TForm1::ShowSource() {
    const TTileSourcePtr source = m_session->TileSource();
    const QString attribution = source->Attribution();
    SourceDis->setText(attribution.isEmpty()
                           ? source->Name()
                           : QStringLiteral("%1 \u00B7 %2").arg(source->Name(), attribution));
}

void TForm1::LoadStarting(bool resetView) {
    SubTimer1->Start();
    ShowSource(); // the settings may have chosen another since the last map
    // The figure stays in mosaic pixels; its metres follow the map's scale.
    m_measurement.SetScale(m_session->LoadedView().Scale);
    if (!m_measurement.Readouts().Length.isEmpty())
        MeasureSheet->ShowReadouts(m_measurement.UpdateMeasureReadouts());
    LoadStatusDis->clear();
    // The place under the mouse was one of the old map.
    MapArea->ShowReadouts(TMouseReadouts());
    if (PageControl2->currentIndex() != LoaderPage) {
        // A load started from elsewhere while measuring returns to the
        // loader's page with everything that page needs.
        PageControl2->setCurrentIndex(LoaderPage);
        ApplyPageRules(LoaderPage);
    }
    if (resetView) {
        MapArea->SetMagPosition(m_session->View().MagPosition);
        MapArea->TerrainImage->SetAutoSize(true);
        MapArea->ShowZoom(m_session->View().ZoomFactor());
    }
    m_showCorner = resetView;
}

void TForm1::MosaicReset() {
    MapArea->TerrainImage->PictureReset();
    // Tiles arrive from the chosen corner first; that is what to watch.
    if (m_showCorner) MapArea->ShowSouthWestCorner();
}

void TForm1::LoadProgress(const TLoadStats& stats) {
    ProgressGauge->setValue(qBound(0, stats.Percent, 100));
    RetryDis->setText(QStringLiteral("%1/%2").arg(stats.Retries).arg(stats.Lost));
    CacheHitDis->setText(QString::number(stats.CacheHits));
}

void TForm1::LoadCompleted(const TLoadStats& stats) {
    SubTimer1->Stop(stats.Seconds);
    LoadStatusDis->setText(LostTilesMessage(stats));
}

void TForm1::TerrainImageMouseDown(Qt::MouseButton button, Qt::MouseButtons buttons,
                                   Qt::KeyboardModifiers modifiers, QPoint point,
                                   bool doubleClick) {
    TImageEx* image = MapArea->TerrainImage;
    if (PageControl2->currentIndex() == MeasurePage) {
        MeasureSheet->ShowReadouts(m_measurement.MeasureMouseDown(
            TShiftState::FromQt(buttons | button, modifiers), image->ControlToPicture(point),
            m_session->Canvas()));
        return;
    }
    if (doubleClick) {
        if (button != Qt::LeftButton) return;
        const QPoint p = image->ControlToPicture(point);
        MapArea->ShowMiddle();
        const QPoint c = image->ControlToPicture(MapArea->ImageCentre());
        Run([&] {
            m_navigator->DoubleClick(p, c, LoaderSheet->ZoomIn(), LoaderSheet->ZoomOut());
        });
        MapArea->ShowMiddle();
        return;
    }
    if (button == Qt::LeftButton) m_navigator->DragBegin(image->ControlToPicture(point));
}

void TForm1::TerrainImageMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                                   QPoint point) {
    TImageEx* image = MapArea->TerrainImage;
    if (PageControl2->currentIndex() == LoaderPage && m_navigator->Dragging())
        image->SetShift(m_navigator->DragMove(image->ControlToPicture(point)));
    if (m_session->HasMap()) {
        // While dragging the picture shows shifted: the place under the
        // pointer is the one that was there when the drag began.
        const QPointF m = image->ControlToPictureF(point) - QPointF(image->Shift());
        const TMapViewState& shown = m_session->LoadedView();
        MapArea->ShowReadouts(
            MouseReadouts(shown.PixelToPosition(m.x(), m.y(), m_session->Mosaic().height())));
    }
    if (PageControl2->currentIndex() == MeasurePage && buttons.testFlag(Qt::LeftButton))
        MeasureSheet->ShowReadouts(m_measurement.MeasureMouseMove(
            TShiftState::FromQt(buttons, modifiers), image->ControlToPicture(point),
            m_session->Canvas()));
}

void TForm1::TerrainImageMouseUp(Qt::MouseButton button, QPoint point) {
    // Only the button that drags ends the drag; another one let go meanwhile does not.
    if (button != Qt::LeftButton || PageControl2->currentIndex() != LoaderPage ||
        !m_navigator->Dragging())
        return;
    MapArea->TerrainImage->SetShift(QPoint());
    Run([&] { m_navigator->DragEnd(MapArea->TerrainImage->ControlToPicture(point)); });
}

bool TForm1::PageControl2Changing() {
    return !m_session->IsBusy();
}

void TForm1::PageControl2Change(int page) {
    ApplyPageRules(page);
}

void TForm1::ApplyPageRules(int page) {
    const bool loader = page == LoaderPage;
    MapArea->TerrainImage->setCursor(loader ? Qt::SizeAllCursor : Qt::PointingHandCursor);
    if (loader)
        m_measurement.Tool().Erase(m_session->Canvas());
    else
        m_measurement.Tool().Draw(m_session->Canvas());
    ToolBar->setEnabled(loader);
}

void TForm1::SaveBitmap1Click() {
    QFileDialog dialog(this, tr("Save Map Image"), QStringLiteral("."));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setNameFilters({tr("Bitmap (*.bmp)"), tr("JPEG (*.jpg *.jpeg)"),
                           tr("TIFF (*.tif *.tiff)"), tr("GIF (*.gif)"), tr("PNG (*.png)"),
                           tr("PCX (*.pcx)"), tr("IFF (*.lbm)"), tr("All Files (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    SaveMapImage(dialog.selectedFiles().constFirst());
}

bool TForm1::SaveMapImage(const QString& fileName) {
    if (!m_session->HasMap()) {
        QMessageBox::information(this, windowTitle(),
                                 tr("There is no map to save yet. Press Load first."));
        return false;
    }
    bool written = false;
    const QSize size = m_session->Mosaic().size();
    const TGeoReference geo = GeoReferenceOf(m_session->LoadedView(), size);
    const bool world = WriteWorldFiles1->isChecked();
    // A large map takes seconds: after half a second the user sees how far
    // the save is and may cancel it, which leaves no file behind.
    TSaveProgressDlg progress(this, tr("Saving %1 ...").arg(QFileInfo(fileName).fileName()));
    try {
        varrow::SaveMapImage(m_session->Mosaic(), fileName,
                             TSaveOptions{world ? &geo : nullptr, &progress.Report(),
                                          m_session->TileSource()->Attribution()});
        written = true;
    } catch (const ESaveCancelled&) {
        return false;
    } catch (const std::exception& e) {
        QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
    progress.Done();
    const QString warning = ZoneEdgeWarning(m_session->LoadedView(), size);
    if (written && world && !warning.isEmpty())
        QMessageBox::information(this, windowTitle(), warning + QLatin1Char('.'));
    return written;
}

void TForm1::PrintMapImage1Click() {
    if (!m_session->HasMap()) {
        QMessageBox::information(this, windowTitle(),
                                 tr("There is no map to print yet. Press Load first."));
        return;
    }
    PrintDlg->ShowPrintLayout();
}

void TForm1::Copy1Click() {
    // An empty image would only wipe what the user had on the clipboard.
    if (!m_session->HasMap()) return;
    TSaveProgressDlg progress(this, tr("Copying the map ..."));
    try {
        std::unique_ptr<QMimeData> copied =
            MapClipboardData(m_session->Mosaic(), &progress.Report());
        QApplication::clipboard()->setMimeData(copied.release());
    } catch (const ESaveCancelled&) {
        return; // the clipboard keeps what it had
    } catch (const std::exception& e) {
        QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
}

void TForm1::SaveLocations1Click() {
    TilePosDlg->show();
    TilePosDlg->raise();
    TilePosDlg->activateWindow();
}

void TForm1::SavePositions1Click() {
    SavePosDlg->show();
    SavePosDlg->raise();
    SavePosDlg->activateWindow();
}

void TForm1::ExportKMLKMZfile1Click() {
    if (!m_session->HasMap()) {
        QMessageBox::information(this, windowTitle(),
                                 tr("There is no map to export yet. Press Load first."));
        return;
    }
    varrow::ExportKMLKMZfile1Click(this, *m_session, PlaceExactly1->isChecked());
}

void TForm1::GEBtnClick() {
    varrow::GEBtnClick(this, *m_session);
}

void TForm1::Settings1Click() {
    SettingsDlg->Execute();
    ShowSource();
}

void TForm1::SaveUserDefaults1Click() {
    SaveUserDefaults(this, *LoaderSheet->SpeedButtons);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    FormActivate();
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TForm1::FormActivate() {
    if (m_activated) return;
    m_activated = true;
    if (!m_session->SourceProblem().isEmpty())
        ShowLater(tr("%1\n\nTiles come from %2 instead.")
                      .arg(m_session->SourceProblem(), m_session->TileSourceName()));
    LoadUserDefaults(*LoaderSheet->SpeedButtons, *m_navigator);
    {
        const QSignalBlocker block(WriteWorldFiles1); // read, not stored again
        WriteWorldFiles1->setChecked(ReadWriteWorldFiles());
    }
    try {
        m_positions.Load();
    } catch (const std::exception& e) {
        ShowLater(QString::fromUtf8(e.what()));
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (m_activated) {
        StorePositionList(true);
        m_positionsStored = true;
    }
    QMainWindow::closeEvent(event);
}

void TForm1::StorePositionList(bool showErrors) {
    try {
        m_positions.Save();
    } catch (const std::exception& e) {
        if (showErrors)
            QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
        else
            qWarning("%s", e.what());
    }
}

void TForm1::Contents1Click() {
    HelpWindow()->ShowContents();
}

void TForm1::About1Click() {
    QMessageBox::about(this, tr("About Varrow"),
                       tr("<h3>Varrow %1</h3><p>A map builder: it joins the tiles of a map-tile "
                          "service into one map you can move around on, save and copy.</p>")
                           .arg(QApplication::applicationVersion()));
}

} // namespace varrow
