#include "MainWindow.h"

#include "controls/gui/ArrowIcon.h"
#include "controls/gui/AutoRepeat.h"
#include "controls/gui/ElapsedTimeDisplay.h"
#include "controls/gui/FloatSpinEdit.h"
#include "controls/gui/PageControl.h"
#include "measure/gui/ImageEx.h"
#include "positions/PositionList.h"
#include "tiles/TileLoader.h"
#include "workspace/MapImageFile.h"
#include "workspace/Readouts.h"
#include "workspace/gui/GridControl.h"
#include "workspace/gui/HelpWindow.h"
#include "workspace/gui/IndexPage.h"
#include "workspace/gui/SettingsDlg.h"
#include "workspace/gui/TilePosDlg.h"
#include "workspace/gui/UserDefaultsUi.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <exception>
#include <limits>

namespace varrow {

namespace {

QLabel* Readout(QWidget* parent, const char* name, int minWidth) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setMinimumWidth(minWidth);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QToolButton* ToolButton(QWidget* parent, const char* name, const QString& text,
                        const QString& hint) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setToolTip(hint);
    return button;
}

// A radio group: the group box carries the name, its buttons the items in order.
QGroupBox* RadioGroup(QWidget* parent, const char* name, const QString& caption,
                      const QStringList& items, int columns, QButtonGroup*& buttons) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    buttons = new QButtonGroup(box);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(2);
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], box);
        radio->setObjectName(QStringLiteral("%1Item%2").arg(QString::fromLatin1(name)).arg(i));
        buttons->addButton(radio, i);
        grid->addWidget(radio, i % rows, i / rows);
    }
    buttons->button(0)->setChecked(true);
    return box;
}

void Check(QButtonGroup* buttons, int id) {
    QAbstractButton* button = buttons->button(id);
    if (button != nullptr && !button->isChecked()) {
        const QSignalBlocker block(buttons);
        button->setChecked(true);
    }
}

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Varrow"));

    m_session = std::make_unique<TMapSession>();
    m_navigator = std::make_unique<TNavigator>(*m_session);

    BuildMenus();
    setCentralWidget(nullptr);
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
        if (QAbstractButton* b = ScaleButtons->button(item)) b->setChecked(true);
    };
    connect(m_indexPage, &TIndexPage::loadRequested, this, [this] {
        PageControl1->setCurrentIndex(ImageLoaderPage);
        LoadBtnClick();
    });

    TilePosDlg = new TTilePosDlg(*m_session, this);
    TilePosDlg->OnHelp = [this](int topic) { HelpWindow()->ShowTopic(topic); };
    SettingsDlg = new TSettingsDlg(*m_session, this);
    m_grid = new TGridControl(*m_session, GridChk, SettingsDlg, this);
    m_grid->ScaleItem = [this] { return ScaleButtons->checkedId(); };

    TerrainImage->SetPicture(&m_session->Mosaic());
    connect(m_session.get(), &TMapSession::viewChanged, this, &TForm1::RefreshControls);
    connect(m_session.get(), &TMapSession::loadStarting, this, &TForm1::LoadStarting);
    connect(m_session.get(), &TMapSession::mosaicReset, this, [this] {
        TerrainImage->DropBackground();
        TerrainImage->PictureReset();
    });
    connect(m_session.get(), &TMapSession::mosaicChanged, TerrainImage, &TImageEx::PictureChanged);
    connect(m_session.get(), &TMapSession::progressChanged, this, &TForm1::LoadProgress);
    connect(m_session.get(), &TMapSession::loadCompleted, this, &TForm1::LoadCompleted);
    connect(m_session.get(), &TMapSession::errorRaised, this, &TForm1::ShowError);

    m_session->View().SetZoomFactor(1.0);
    RefreshControls();
    ShowZoom();
    resize(1040, 740);
}

TForm1::~TForm1() {
    // Normally written at the close, where a failure can still be shown.
    if (m_activated && !m_positionsStored) StorePositionList(false);
    // The session aborts its load on the way out and may still report; the
    // window is no longer there to listen.
    m_session->disconnect(this);
    m_session->disconnect(TerrainImage);
    TerrainImage->SetPicture(nullptr);
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
    // Printing, the KML export and the saved positions dialog come with their
    // own parts of the program; until then their commands stay visible but
    // unavailable.
    add(file, "PrintMapImage1", tr("&Print Map Image..."), false, nullptr);
    add(file, "ExportKMLKMZfile1", tr("Export &KML/KMZ file..."), false, nullptr);
    file->addSeparator();
    add(file, "Exit1", tr("Exit"), true, nullptr);
    connect(findChild<QAction*>(QStringLiteral("Exit1")), &QAction::triggered, this,
            &QWidget::close);
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    add(edit, "Copy1", tr("Copy &Main Image"), true, &TForm1::Copy1Click);
    QMenu* options = menuBar()->addMenu(tr("&Options"));
    add(options, "SavePositions1", tr("&Save Positions..."), false, nullptr);
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
    layout->addWidget(BuildToolBar(page));

    auto* body = new QHBoxLayout;
    body->setSpacing(6);
    PageControl2 = new TPageControl(page);
    PageControl2->setObjectName(QStringLiteral("PageControl2"));
    auto* loaderScroll = new QScrollArea(PageControl2);
    loaderScroll->setObjectName(QStringLiteral("LoaderPage"));
    loaderScroll->setWidget(BuildLoaderPage());
    loaderScroll->setWidgetResizable(true);
    loaderScroll->setFrameShape(QFrame::NoFrame);
    loaderScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PageControl2->addTab(loaderScroll, tr("Loader"));
    auto* measure = new QWidget(PageControl2);
    measure->setObjectName(QStringLiteral("MeasurePage"));
    PageControl2->addTab(measure, tr("Measure"));
    PageControl2->setCurrentIndex(LoaderPage);
    PageControl2->setFixedWidth(PageControl2->widget(LoaderPage)->sizeHint().width() + 40);
    PageControl2->OnChanging = [this](int) { return PageControl2Changing(); };
    connect(PageControl2, &TPageControl::userChanged, this, &TForm1::PageControl2Change);
    body->addWidget(PageControl2);
    body->addWidget(BuildMapArea(page), 1);
    layout->addLayout(body, 1);
    return page;
}

QToolBar* TForm1::BuildToolBar(QWidget* parent) {
    ToolBar = new QToolBar(parent);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setIconSize(QSize(18, 18));
    ToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);

    struct PanButton {
        const char* name;
        const char* hint;
        double bearing;
        void (TForm1::*handler)();
    };
    const PanButton pans[] = {
        {"PanLeftBtn", "Pan Left", 270, &TForm1::PanLeftBtnClick},
        {"PanUpBtn", "Pan Up", 0, &TForm1::PanUpBtnClick},
        {"PanDownBtn", "Pan Down", 180, &TForm1::PanDownBtnClick},
        {"PanRightBtn", "Pan Right", 90, &TForm1::PanRightBtnClick},
        {"PanNWBtn", "Pan North West", 315, &TForm1::PanNWBtnClick},
        {"PanNEBtn", "Pan North East", 45, &TForm1::PanNEBtnClick},
        {"PanSWBtn", "Pan South West", 225, &TForm1::PanSWBtnClick},
        {"PanSEBtn", "Pan South East", 135, &TForm1::PanSEBtnClick},
    };
    for (const PanButton& p : pans) {
        QToolButton* b = ToolButton(ToolBar, p.name, QString(), tr(p.hint));
        b->setIcon(ArrowIcon(p.bearing));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        MakeAutoRepeat(b);
        connect(b, &QToolButton::clicked, this, p.handler);
        ToolBar->addWidget(b);
    }
    ToolBar->addSeparator();
    auto addButton = [this](const char* name, const QString& text, const QString& hint,
                            void (TForm1::*handler)()) {
        QToolButton* b = ToolButton(ToolBar, name, text, hint);
        if (handler != nullptr) connect(b, &QToolButton::clicked, this, handler);
        ToolBar->addWidget(b);
        return b;
    };
    addButton("ZeroOffsetBtn", tr("Zero"), tr("Zero Offset"), &TForm1::ZeroOffsetBtnClick);
    addButton("WestZoneBtn", tr("\u00AB Zone"), tr("One Zone West"), &TForm1::WestZoneBtnClick);
    addButton("EastZoneBtn", tr("Zone \u00BB"), tr("East One Zone"), &TForm1::EastZoneBtnClick);
    ToolBar->addSeparator();

    auto field = [this](const QString& caption, QWidget* editor) {
        auto* label = new QLabel(caption, ToolBar);
        label->setContentsMargins(6, 0, 3, 0);
        label->setBuddy(editor);
        ToolBar->addWidget(label);
        ToolBar->addWidget(editor);
    };
    auto positionSpin = [this](const char* name, double step) {
        auto* spin = new TFloatSpinEdit(ToolBar);
        spin->setObjectName(QString::fromLatin1(name));
        spin->setRange(-1e9, 1e9);
        spin->setSingleStep(step);
        spin->setAlignment(Qt::AlignRight);
        spin->setFixedWidth(spin->fontMetrics().horizontalAdvance(QStringLiteral("-9,999,999")) +
                            32);
        connect(spin, &QDoubleSpinBox::valueChanged, this, &TForm1::NorthSpinChange);
        return spin;
    };
    EastSpin = positionSpin("EastSpin", 1000);
    field(tr("East"), EastSpin);
    NorthSpin = positionSpin("NorthSpin", 1000);
    field(tr("North"), NorthSpin);
    ZoneSpin = new QSpinBox(ToolBar);
    ZoneSpin->setObjectName(QStringLiteral("ZoneSpin"));
    ZoneSpin->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    ZoneSpin->setFixedWidth(ZoneSpin->fontMetrics().horizontalAdvance(QStringLiteral("-00")) + 32);
    connect(ZoneSpin, &QSpinBox::valueChanged, this, &TForm1::ZoneSpinChange);
    field(tr("Zone"), ZoneSpin);
    ToolBar->addSeparator();

    // Locating the map in Google Earth comes with the Google Earth link.
    addButton("GEBtn", tr("GE"), tr("Locate In Google Earth"), nullptr)->setEnabled(false);
    addButton("ComAbortBtn", tr("Abort"), tr("Abort Loading"), &TForm1::ComAbortBtnClick);
    QToolButton* load = addButton("LoadBtn", tr("Load"), tr("Load Image"), &TForm1::LoadBtnClick);
    QFont bold = load->font();
    bold.setBold(true);
    load->setFont(bold);
    return ToolBar;
}

QWidget* TForm1::BuildLoaderPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(6);

    QStringList themes;
    for (int i = 0; i < ThemeCount; ++i)
        themes << ThemeLabel(ThemeFromSelectorIndex(i));
    ThemeRadio = RadioGroup(page, "ThemeRadio", tr("Theme"), themes, 1, ThemeButtons);
    connect(ThemeButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) ThemeRadioClick();
    });
    layout->addWidget(ThemeRadio);

    auto* size = new QGroupBox(tr("Image Size"), page);
    size->setObjectName(QStringLiteral("ImageSizeGroup"));
    auto* form = new QGridLayout(size);
    form->setContentsMargins(6, 4, 6, 4);
    form->setVerticalSpacing(3);
    auto tileSpin = [this, size](const char* name) {
        auto* spin = new QSpinBox(size);
        spin->setObjectName(QString::fromLatin1(name));
        spin->setRange(TMapViewState::MinTileCount, TMapViewState::MaxTileCount);
        spin->setValue(3);
        // Typing "75" must not load a 7-tile map on the way.
        spin->setKeyboardTracking(false);
        connect(spin, &QSpinBox::valueChanged, this, &TForm1::TileCountXSpinChange);
        return spin;
    };
    TileCountXSpin = tileSpin("TileCountXSpin");
    TileCountYSpin = tileSpin("TileCountYSpin");
    PixelSizeDis = Readout(size, "PixelSizeDis", 80);
    MemDis = Readout(size, "MemDis", 80);
    TileCntDis = Readout(size, "TileCntDis", 80);
    const std::pair<QString, QWidget*> rows[] = {{tr("X-Tiles"), TileCountXSpin},
                                                 {tr("Y-Tiles"), TileCountYSpin},
                                                 {tr(" Pixel Size:"), PixelSizeDis},
                                                 {tr(" Memory:"), MemDis},
                                                 {tr(" Tiles"), TileCntDis}};
    int row = 0;
    for (const auto& [caption, widget] : rows) {
        auto* label = new QLabel(caption, size);
        label->setBuddy(widget);
        form->addWidget(label, row, 0);
        form->addWidget(widget, row, 1);
        ++row;
    }
    layout->addWidget(size);

    SpeedRadio = RadioGroup(page, "SpeedRadio", tr("Connection Speed"),
                            {tr("Broadband"), tr("Dialup")}, 2, SpeedButtons);
    connect(SpeedButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) SpeedRadioClick();
    });
    layout->addWidget(SpeedRadio);

    QStringList scales;
    for (int i = 0; i < ScaleCount; ++i)
        scales << ScaleLabel(i);
    ScaleRadio = RadioGroup(page, "ScaleRadio", tr("Scale Meters/Pixel"), scales, 2, ScaleButtons);
    connect(ScaleButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) ScaleRadioClick();
    });
    layout->addWidget(ScaleRadio);

    auto* zoom = new QGroupBox(tr("Double Click Zoom"), page);
    zoom->setObjectName(QStringLiteral("DoubleClickZoomGroup"));
    auto* zoomLayout = new QHBoxLayout(zoom);
    zoomLayout->setContentsMargins(6, 4, 6, 4);
    ZoomInBtn = ToolButton(zoom, "ZoomInBtn", tr("In"), tr("Zoom in one scale step"));
    ZoomOutBtn = ToolButton(zoom, "ZoomOutBtn", tr("Out"), tr("Zoom out one scale step"));
    for (QToolButton* b : {ZoomInBtn, ZoomOutBtn}) {
        b->setCheckable(true);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        zoomLayout->addWidget(b);
    }
    ZoomInBtn->setChecked(true);
    // At most one is down; both may be up.
    connect(ZoomInBtn, &QToolButton::toggled, this, [this](bool down) {
        if (down) ZoomOutBtn->setChecked(false);
    });
    connect(ZoomOutBtn, &QToolButton::toggled, this, [this](bool down) {
        if (down) ZoomInBtn->setChecked(false);
    });
    layout->addWidget(zoom);
    layout->addStretch(1);
    return page;
}

QWidget* TForm1::BuildMapArea(QWidget* parent) {
    auto* area = new QWidget(parent);
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto* top = new QHBoxLayout;
    MagBar = new QSlider(Qt::Horizontal, area);
    MagBar->setObjectName(QStringLiteral("MagBar"));
    MagBar->setRange(TMapViewState::MagMin, TMapViewState::MagMax);
    MagBar->setToolTip(tr("Magnification"));
    connect(MagBar, &QSlider::valueChanged, this, &TForm1::MagBarChange);
    ZoomDis = Readout(area, "ZoomDis", 44);
    ZoomDis->setText(QStringLiteral("1.0"));
    auto* reset = new QToolButton(area);
    reset->setObjectName(QStringLiteral("ResetBtn"));
    reset->setText(tr("Reset Magnification"));
    reset->setToolTip(tr("Reset Magnification"));
    connect(reset, &QToolButton::clicked, this, &TForm1::ResetBtnClick);
    GridChk = new QCheckBox(tr("Show Grid"), area);
    GridChk->setObjectName(QStringLiteral("GridChk"));
    connect(GridChk, &QCheckBox::toggled, this, &TForm1::ThemeRadioClick);
    auto* magLabel = new QLabel(tr("Magnification"), area);
    magLabel->setBuddy(MagBar);
    top->addWidget(magLabel);
    top->addWidget(MagBar, 1);
    top->addWidget(ZoomDis);
    top->addWidget(reset);
    top->addSpacing(12);
    top->addWidget(GridChk);
    layout->addLayout(top);

    ScrollWindow1 = new QScrollArea(area);
    ScrollWindow1->setObjectName(QStringLiteral("ScrollWindow1"));
    ScrollWindow1->setWidgetResizable(false);
    ScrollWindow1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollWindow1->setBackgroundRole(QPalette::Dark);
    TerrainImage = new TImageEx(ScrollWindow1);
    TerrainImage->setObjectName(QStringLiteral("TerrainImage"));
    ScrollWindow1->setWidget(TerrainImage);
    connect(TerrainImage, &TImageEx::mouseDown, this,
            [this](Qt::MouseButton button, Qt::MouseButtons, Qt::KeyboardModifiers modifiers,
                   QPoint point, bool doubleClick) {
                TerrainImageMouseDown(button, modifiers, point, doubleClick);
            });
    connect(TerrainImage, &TImageEx::mouseMove, this,
            [this](Qt::MouseButtons, Qt::KeyboardModifiers, QPoint point) {
                TerrainImageMouseMove(point);
            });
    connect(TerrainImage, &TImageEx::mouseUp, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, QPoint point) {
                TerrainImageMouseUp(button, point);
            });
    layout->addWidget(ScrollWindow1, 1);

    auto* readouts = new QHBoxLayout;
    readouts->setSpacing(3);
    auto caption = [area, readouts](const QString& text) {
        readouts->addWidget(new QLabel(text, area));
    };
    const int degrees = fontMetrics().horizontalAdvance(QStringLiteral("-000.0000")) + 10;
    const int dms = fontMetrics().horizontalAdvance(QStringLiteral("-000\u00B000'00\"")) + 10;
    const int metres = fontMetrics().horizontalAdvance(QStringLiteral("10,000,000")) + 10;
    caption(tr(" Long/Lat:"));
    ImageLongDis = Readout(area, "ImageLongDis", degrees);
    ImageLatDis = Readout(area, "ImageLatDis", degrees);
    ImageLong2Dis = Readout(area, "ImageLong2Dis", dms);
    ImageLat2Dis = Readout(area, "ImageLat2Dis", dms);
    for (QLabel* l : {ImageLongDis, ImageLatDis, ImageLong2Dis, ImageLat2Dis})
        readouts->addWidget(l);
    readouts->addSpacing(8);
    caption(tr(" UTM:"));
    ImageEastDis = Readout(area, "ImageEastDis", metres);
    ImageNorthDis = Readout(area, "ImageNorthDis", metres);
    ImageZoneDis = Readout(area, "ImageZoneDis", fontMetrics().horizontalAdvance("000") + 10);
    for (QLabel* l : {ImageEastDis, ImageNorthDis, ImageZoneDis})
        readouts->addWidget(l);
    readouts->addStretch(1);
    layout->addLayout(readouts);
    return area;
}

void TForm1::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    ProgressGauge = new QProgressBar(bar);
    ProgressGauge->setObjectName(QStringLiteral("ProgressGauge"));
    ProgressGauge->setRange(0, 100);
    ProgressGauge->setValue(0);
    ProgressGauge->setFixedWidth(160);
    bar->addWidget(ProgressGauge);
    auto field = [bar](const QString& caption, QLabel* value) {
        bar->addWidget(new QLabel(caption, bar));
        bar->addWidget(value);
    };
    RetryDis = Readout(bar, "RetryDis", 60);
    CacheHitDis = Readout(bar, "CacheHitDis", 60);
    SubTimer1 = new TElapsedTimeDisplay(bar);
    SubTimer1->setObjectName(QStringLiteral("SubTimer1"));
    SubTimer1->setFrameShape(QFrame::Panel);
    SubTimer1->setFrameShadow(QFrame::Sunken);
    SubTimer1->setMinimumWidth(90);
    SubTimer1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field(tr(" Retries/Lost:"), RetryDis);
    field(tr(" Cache Hits:"), CacheHitDis);
    field(tr(" Load Time:"), SubTimer1);
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

void TForm1::RefreshControls() {
    const TMapViewState& view = m_session->View();
    // Only what differs, so that a field being typed into keeps its cursor.
    auto setFloat = [](QDoubleSpinBox* spin, double value) {
        if (spin->value() != value) {
            const QSignalBlocker block(spin);
            spin->setValue(value);
        }
    };
    auto setInt = [](QAbstractSlider* slider, QSpinBox* spin, int value) {
        QObject* target = slider != nullptr ? static_cast<QObject*>(slider) : spin;
        const QSignalBlocker block(target);
        if (slider != nullptr && slider->value() != value) slider->setValue(value);
        if (spin != nullptr && spin->value() != value) spin->setValue(value);
    };
    setFloat(EastSpin, view.Easting);
    setFloat(NorthSpin, view.Northing);
    setInt(nullptr, ZoneSpin, view.Zone);
    setInt(nullptr, TileCountXSpin, view.TileCountX);
    setInt(nullptr, TileCountYSpin, view.TileCountY);
    setInt(MagBar, nullptr, view.MagPosition);
    Check(ThemeButtons, SelectorIndexOfTheme(view.Theme));
    const int scale = ScaleIndexOf(view.Scale);
    if (scale >= 0) // any other scale leaves the selector as it is
        Check(ScaleButtons, scale);
    // No item selected loads one tile at a time as "Dialup" does, but it is
    // not "Dialup": showing it so would also store it so.
    if (SpeedButtons->checkedId() != -1 || view.Speed != TConnectionSpeed::Dialup)
        Check(SpeedButtons, static_cast<int>(view.Speed));
    UpdateSizeReadouts();
}

void TForm1::UpdateSizeReadouts() {
    const TSizeReadouts r = SizeReadouts(TileCountXSpin->value(), TileCountYSpin->value());
    PixelSizeDis->setText(r.PixelSize);
    TileCntDis->setText(r.TileCount);
    MemDis->setText(r.Memory);
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
    m_navigator->SetPosition(EastSpin->value(), NorthSpin->value());
}

void TForm1::ZoneSpinChange() {
    m_navigator->SetZone(ZoneSpin->value());
}

void TForm1::ScaleRadioClick() {
    Run([this] { m_navigator->ChangeScale(ScaleButtons->checkedId()); });
}

void TForm1::ThemeRadioClick() {
    Run([this] { m_navigator->ChangeTheme(ThemeFromSelectorIndex(ThemeButtons->checkedId())); });
}

void TForm1::SpeedRadioClick() {
    // Only "Broadband" loads in parallel; no item selected loads as "Dialup".
    m_navigator->ChangeSpeed(SpeedButtons->checkedId() !=
                             static_cast<int>(TConnectionSpeed::Broadband));
}

void TForm1::TileCountXSpinChange() {
    UpdateSizeReadouts();
    Run([this] {
        m_navigator->ChangeTileCounts(TileCountXSpin->value(), TileCountYSpin->value());
    });
}

void TForm1::KeepViewCentre(const std::function<void()>& resize) {
    QScrollBar* h = ScrollWindow1->horizontalScrollBar();
    QScrollBar* v = ScrollWindow1->verticalScrollBar();
    const QSize client = ScrollWindow1->viewport()->size();
    // The centre of what is seen, as a fraction of the image; an image
    // smaller than the window is seen whole, so its own centre counts.
    auto fraction = [](int position, int clientExtent, int extent) {
        if (extent <= 0) return 0.5;
        if (extent <= clientExtent) return 0.5;
        return (position + clientExtent / 2.0) / extent;
    };
    const double fx = fraction(h->value(), client.width(), TerrainImage->width());
    const double fy = fraction(v->value(), client.height(), TerrainImage->height());
    resize();
    h->setValue(
        static_cast<int>(std::nearbyint(TerrainImage->width() * fx - client.width() / 2.0)));
    v->setValue(
        static_cast<int>(std::nearbyint(TerrainImage->height() * fy - client.height() / 2.0)));
}

void TForm1::ShowZoom() {
    ZoomDis->setText(QString::number(m_session->View().ZoomFactor(), 'f', 2));
}

void TForm1::MagBarChange() {
    m_session->View().MagPosition = MagBar->value();
    const double f = m_session->View().ZoomFactor();
    KeepViewCentre([this, f] { TerrainImage->SetMagnification(f); });
    ShowZoom();
}

void TForm1::ResetBtnClick() {
    m_session->View().SetZoomFactor(1.0);
    {
        const QSignalBlocker block(MagBar);
        MagBar->setValue(m_session->View().MagPosition);
    }
    // The track bar's 1.0 is 0.997; the reset shows the mosaic pixel for pixel.
    KeepViewCentre([this] { TerrainImage->SetAutoSize(true); });
    ShowZoom();
}

void TForm1::LoadStarting(bool resetView) {
    SubTimer1->Start();
    TerrainImage->DropBackground();
    if (PageControl2->currentIndex() != LoaderPage) {
        // A load started from elsewhere while measuring returns to the
        // loader's page with everything that page needs.
        PageControl2->setCurrentIndex(LoaderPage);
        ApplyPageRules(LoaderPage);
    }
    if (resetView) {
        {
            const QSignalBlocker block(MagBar);
            MagBar->setValue(m_session->View().MagPosition);
        }
        TerrainImage->SetAutoSize(true);
        ShowZoom();
    }
}

void TForm1::LoadProgress(int percent) {
    ProgressGauge->setValue(qBound(0, percent, 100));
    TTileLoader& loader = m_session->Loader();
    RetryDis->setText(QStringLiteral("%1/%2").arg(loader.Retries()).arg(loader.Lost()));
    CacheHitDis->setText(QString::number(loader.CacheHits()));
}

void TForm1::LoadCompleted(double seconds) {
    SubTimer1->Stop(seconds);
    // The grid is part of the map, like the tile outlines: it goes into the
    // background copy too, or wiping the measuring figure would wipe the grid
    // with it.
    m_grid->DrawLatLongGrid();
    TerrainImage->SaveBackground();
}

void TForm1::TerrainImageMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, QPoint point,
                                   bool doubleClick) {
    if (PageControl2->currentIndex() != LoaderPage)
        return; // the measuring tool takes the presses on its page
    if (doubleClick) {
        if (button != Qt::LeftButton) return;
        const QPoint p = TerrainImage->ControlToPicture(point);
        QScrollBar* h = ScrollWindow1->horizontalScrollBar();
        QScrollBar* v = ScrollWindow1->verticalScrollBar();
        h->setValue(h->maximum() / 2);
        v->setValue(v->maximum() / 2);
        const QPoint c = TerrainImage->ControlToPicture(
            QPoint(TerrainImage->width() / 2, TerrainImage->height() / 2));
        Run([&] {
            m_navigator->DoubleClick(p, c, ZoomInBtn->isChecked(), ZoomOutBtn->isChecked());
        });
        return;
    }
    if (button == Qt::LeftButton) m_navigator->DragBegin(TerrainImage->ControlToPicture(point));
}

void TForm1::TerrainImageMouseMove(QPoint point) {
    if (PageControl2->currentIndex() == LoaderPage && m_navigator->Dragging())
        TerrainImage->SetShift(m_navigator->DragMove(TerrainImage->ControlToPicture(point)));
    const QImage& mosaic = m_session->Mosaic();
    if (mosaic.isNull()) return;
    // While dragging the picture shows shifted: the place under the pointer
    // is the one that was there when the drag began.
    const QPointF m = TerrainImage->ControlToPictureF(point) - QPointF(TerrainImage->Shift());
    const TMouseReadouts r =
        MouseReadouts(m_session->View().PixelToPosition(m.x(), m.y(), mosaic.height()));
    ImageLongDis->setText(r.Longitude);
    ImageLatDis->setText(r.Latitude);
    ImageLong2Dis->setText(r.Longitude2);
    ImageLat2Dis->setText(r.Latitude2);
    ImageEastDis->setText(r.Easting);
    ImageNorthDis->setText(r.Northing);
    ImageZoneDis->setText(r.Zone);
}

void TForm1::TerrainImageMouseUp(Qt::MouseButton button, QPoint point) {
    // Only the button that drags ends the drag; another one let go meanwhile does not.
    if (button != Qt::LeftButton || PageControl2->currentIndex() != LoaderPage ||
        !m_navigator->Dragging())
        return;
    TerrainImage->SetShift(QPoint());
    Run([&] { m_navigator->DragEnd(TerrainImage->ControlToPicture(point)); });
}

bool TForm1::PageControl2Changing() {
    return !m_session->IsBusy();
}

void TForm1::PageControl2Change(int page) {
    ApplyPageRules(page);
}

void TForm1::ApplyPageRules(int page) {
    const bool loader = page == LoaderPage;
    TerrainImage->setCursor(loader ? Qt::SizeAllCursor : Qt::PointingHandCursor);
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
    if (m_session->Mosaic().isNull()) {
        QMessageBox::information(this, windowTitle(),
                                 tr("There is no map to save yet. Press Load first."));
        return false;
    }
    bool written = false;
    Run([&] {
        varrow::SaveMapImage(m_session->Mosaic(), fileName);
        written = true;
    });
    return written;
}

void TForm1::Copy1Click() {
    // An empty image would only wipe what the user had on the clipboard.
    if (m_session->Mosaic().isNull()) return;
    QApplication::clipboard()->setImage(m_session->Mosaic());
}

void TForm1::SaveLocations1Click() {
    TilePosDlg->show();
    TilePosDlg->raise();
    TilePosDlg->activateWindow();
}

void TForm1::Settings1Click() {
    SettingsDlg->Execute();
}

void TForm1::SaveUserDefaults1Click() {
    SaveUserDefaults(this, *SpeedButtons);
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
    LoadUserDefaults(*SpeedButtons, *m_navigator);
    try {
        LoadPositionList();
    } catch (const std::exception& e) {
        // Told once the window is up, not in the middle of showing it.
        const QString message = QString::fromUtf8(e.what());
        QTimer::singleShot(0, this,
                           [this, message] { QMessageBox::warning(this, windowTitle(), message); });
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
        SavePositionList();
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
