// The main window driven as a user would, by its controls' names, against a
// real varrow-tiles.

#include "MainWindowFixture.h"

#include <QMimeData>
#include <QProcess>

namespace varrow {
namespace {

using test::LoadDeadlineMs;
using test::MainWindowTest;

TEST_F(MainWindowTest, StartsAtTheDesignDefaults) {
    EXPECT_EQ(form->windowTitle(), "Varrow");
    EXPECT_EQ(startPage, TForm1::IndexPage);
    EXPECT_TRUE(Find<TPageControl>("PageControl1")->isTabEnabled(TForm1::IndexPage));
    const TTileLocation here = form->Session().CaptureView();
    EXPECT_EQ(here.Name, "Location-3-35");
    EXPECT_EQ(here.Tile, (TPoint{3, 35}));
    EXPECT_EQ(here.Offset, (TPoint{0, 0}));
    EXPECT_EQ(here.Zone, 13);
    EXPECT_EQ(here.Scale, 512.0);
    EXPECT_EQ(here.Theme, TTileTheme::Topo);
    EXPECT_EQ(Find<QDoubleSpinBox>("EastSpin")->text(), "307,200");
    EXPECT_EQ(Find<QDoubleSpinBox>("NorthSpin")->text(), "3,584,000");
    EXPECT_EQ(Zone(), 13);
    EXPECT_TRUE(Find<QRadioButton>("ThemeRadioItem0")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>("ScaleRadioItem0")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>("SpeedRadioItem0")->isChecked());
    EXPECT_EQ(Find<QGroupBox>("ScaleRadio")->findChildren<QRadioButton*>().size(), 12);
    EXPECT_EQ(Text("PixelSizeDis"), "600 X 600");
    EXPECT_EQ(Text("TileCntDis"), "9");
    EXPECT_EQ(Text("MemDis"), "1 meg");
    EXPECT_EQ(Text("ZoomDis"), "1.00");
    EXPECT_EQ(Find<QSlider>("MagBar")->value(), 23);
    EXPECT_TRUE(Find<QToolButton>("ZoomInBtn")->isChecked());
    EXPECT_FALSE(Find<QToolButton>("ZoomOutBtn")->isChecked());
    EXPECT_EQ(Find<QToolButton>("LoadBtn")->toolTip(), "Load Image");
    for (const char* name : {"ExportKMLKMZfile1", "SavePositions1", "PrintMapImage1",
                             "SaveLocations1", "Settings1", "SaveUserDefaults1"})
        EXPECT_TRUE(Find<QAction>(name)->isEnabled()) << name;
    EXPECT_TRUE(Find<QCheckBox>("GridChk")->isEnabled());
    EXPECT_FALSE(Find<QCheckBox>("GridChk")->isChecked());
    EXPECT_FALSE(form->Session().IsBusy()) << "nothing loads at start";
}

TEST_F(MainWindowTest, LoadFillsTheMosaicWithTheServedTilesAndAReloadIsAllCacheHits) {
    LoadAndWait();
    const QImage& mosaic = form->Session().Mosaic();
    ASSERT_EQ(mosaic.size(), QSize(600, 600));
    TIdHTTPEx http;
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) {
            TTileLocation tile = form->Session().CaptureView();
            tile.Tile = {3 + i, 35 + j};
            http.GetBody(BuildTileUrl(tile, server->baseUrl()));
            const QImage served = QImage::fromData(http.Body).convertToFormat(QImage::Format_RGB32);
            ASSERT_EQ(served.size(), QSize(200, 200));
            // Row 0 of the view is the southernmost, at the bottom of the mosaic.
            EXPECT_EQ(mosaic.copy(200 * i, 200 * (2 - j), 200, 200), served)
                << "tile " << i << "," << j;
        }
    }
    EXPECT_EQ(Find<QProgressBar>("ProgressGauge")->value(), 100);
    EXPECT_EQ(Text("RetryDis"), "0/0");
    EXPECT_EQ(Text("CacheHitDis"), "0");
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d{3} Sec\\.$").match(Text("SubTimer1")).hasMatch())
        << Text("SubTimer1").toStdString();
    EXPECT_FALSE(Find<TElapsedTimeDisplay>("SubTimer1")->Running());
    // What the control shows is the mosaic, pixel for pixel.
    EXPECT_EQ(Image()->size(), QSize(600, 600));
    EXPECT_EQ(Image()->grab().toImage().convertToFormat(QImage::Format_RGB32), mosaic);

    Click("LoadBtn");
    EXPECT_TRUE(form->Session().LoadComplete()) << "a wholly cached view is there at once";
    EXPECT_EQ(Text("CacheHitDis"), "25");
    EXPECT_EQ(Text("RetryDis"), "0/0");
    EXPECT_EQ(Find<QProgressBar>("ProgressGauge")->value(), 100);
}

TEST_F(MainWindowTest, PansMoveByOneTileAndWrapAcrossZones) {
    Click("PanUpBtn");
    EXPECT_EQ(North(), 3584000.0 + 102400.0);
    Click("PanRightBtn");
    EXPECT_EQ(East(), 307200.0 + 102400.0);
    Click("PanSWBtn");
    EXPECT_EQ(East(), 307200.0);
    EXPECT_EQ(North(), 3584000.0);
    EXPECT_EQ(form->Session().CaptureView().Name, "Location-3-35");

    // Column 8 is the last of a zone at 512 m; the offset in the tile stays.
    Find<QDoubleSpinBox>("EastSpin")->setValue(8 * 102400.0 + 100 * 512.0);
    Click("PanRightBtn");
    EXPECT_EQ(East(), 100 * 512.0);
    EXPECT_EQ(Zone(), 14);
    Click("PanLeftBtn");
    EXPECT_EQ(East(), 8 * 102400.0 + 100 * 512.0);
    EXPECT_EQ(Zone(), 13);
    Click("PanNEBtn");
    EXPECT_EQ(Zone(), 14);
    EXPECT_EQ(North(), 3584000.0 + 102400.0);
}

TEST_F(MainWindowTest, ZoneButtonsPutTheCentreOnTheSharedEdge) {
    Click("EastZoneBtn");
    EXPECT_EQ(Zone(), 14);
    EXPECT_EQ(North(), 3584000.0);
    EXPECT_NEAR(East(), 64194.0, 1.0);
    const TZoneEdges edges = ZoneEdgeEastings(14, NorthAmerican1983, 3584000.0);
    EXPECT_DOUBLE_EQ(form->Session().View().Easting, edges.West - 153600.0);

    Click("WestZoneBtn");
    EXPECT_EQ(Zone(), 13);
    EXPECT_DOUBLE_EQ(form->Session().View().Easting,
                     ZoneEdgeEastings(13, NorthAmerican1983, 3584000.0).East - 153600.0);

    Find<QSpinBox>("ZoneSpin")->setValue(60);
    Click("EastZoneBtn");
    EXPECT_EQ(Zone(), 1);
    Click("WestZoneBtn");
    EXPECT_EQ(Zone(), 60);
}

TEST_F(MainWindowTest, TypedPositionsChangeTheViewWithoutLoading) {
    QSignalSpy loads(&form->Session(), &TMapSession::loadStarting);
    auto* east = Find<QDoubleSpinBox>("EastSpin");
    east->setFocus();
    east->selectAll();
    QTest::keyClicks(east, QStringLiteral("435200"));
    auto* north = Find<QDoubleSpinBox>("NorthSpin");
    north->selectAll();
    QTest::keyClicks(north, QStringLiteral("3600000"));
    EXPECT_EQ(form->Session().View().Easting, 435200.0);
    EXPECT_EQ(form->Session().View().Northing, 3600000.0);
    const TTileLocation here = form->Session().CaptureView();
    EXPECT_EQ(here.Tile, (TPoint{4, 35}));
    EXPECT_EQ(here.Offset, (TPoint{50, 31}));
    Find<QSpinBox>("ZoneSpin")->setValue(12);
    EXPECT_EQ(form->Session().CaptureView().Zone, 12);
    EXPECT_EQ(loads.count(), 0);
    EXPECT_FALSE(form->Session().IsBusy());
}

TEST_F(MainWindowTest, ScaleChangeKeepsTheCentreAndSizeChangeKeepsTheCorner) {
    QSignalSpy loads(&form->Session(), &TMapSession::loadStarting);
    ClickRadio("ScaleRadio", 1);
    EXPECT_EQ(form->Session().View().Scale, 256.0);
    EXPECT_EQ(East(), 307200.0 + 76800.0);
    EXPECT_EQ(North(), 3584000.0 + 76800.0);
    ASSERT_EQ(loads.count(), 1);
    EXPECT_TRUE(loads.at(0).at(0).toBool()) << "a new scale resets the magnification";

    Find<QSpinBox>("TileCountXSpin")->setValue(10);
    EXPECT_EQ(Text("PixelSizeDis"), "2000 X 600");
    EXPECT_EQ(Text("TileCntDis"), "30");
    EXPECT_EQ(Text("MemDis"), "4 meg");
    EXPECT_EQ(East(), 307200.0 + 76800.0);
    EXPECT_EQ(form->Session().Mosaic().size(), QSize(2000, 600));
    ASSERT_TRUE(WaitLoaded());
    EXPECT_EQ(Image()->size(), QSize(2000, 600));
}

TEST_F(MainWindowTest, DraggingMovesTheViewByTheDraggedDistance) {
    ClickRadio("ScaleRadio", 5); // 16 m per pixel
    ASSERT_TRUE(WaitLoaded());
    const double e = East();
    const double n = North();
    TImageEx* image = Image();
    QTest::mouseMove(image, QPoint(100, 100));
    const QString east = Text("ImageEastDis");
    const QString northing = Text("ImageNorthDis");
    QTest::mousePress(image, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(image, QPoint(106, 102));
    QTest::mouseMove(image, QPoint(110, 105));
    EXPECT_EQ(image->Shift(), QPoint(10, 5)) << "the preview follows the mouse";
    EXPECT_EQ(Text("ImageEastDis"), east) << "the map under the pointer moves with it";
    EXPECT_EQ(Text("ImageNorthDis"), northing);
    EXPECT_EQ(East(), e) << "nothing moves before the release";
    // Another button pressed and let go meanwhile does not end the drag.
    QTest::mousePress(image, Qt::RightButton, {}, QPoint(110, 105));
    QTest::mouseRelease(image, Qt::RightButton, {}, QPoint(110, 105));
    EXPECT_TRUE(form->Navigator().Dragging());
    EXPECT_EQ(East(), e);
    QTest::mouseRelease(image, Qt::LeftButton, {}, QPoint(110, 105));
    EXPECT_EQ(East(), e - 160.0);
    EXPECT_EQ(North(), n + 80.0);
    EXPECT_EQ(image->Shift(), QPoint());
    EXPECT_FALSE(form->Navigator().Dragging());
}

TEST_F(MainWindowTest, DoubleClickCentresOnThePointAndZoomsOneStep) {
    LoadAndWait();
    QTest::mouseDClick(Image(), Qt::LeftButton, {}, QPoint(400, 200));
    // The clicked point (400, 200) of the 512 m mosaic is the centre of the 256 m one.
    EXPECT_EQ(form->Session().View().Scale, 256.0);
    EXPECT_EQ(East() + 300 * 256.0, 307200.0 + 400 * 512.0);
    EXPECT_EQ(North() + 300 * 256.0, 3584000.0 + 400 * 512.0);
    ASSERT_TRUE(WaitLoaded());

    // With both zoom buttons up a double click only centres.
    Click("ZoomInBtn");
    EXPECT_FALSE(Find<QToolButton>("ZoomInBtn")->isChecked());
    const double e = East();
    QTest::mouseDClick(Image(), Qt::LeftButton, {}, QPoint(200, 300));
    EXPECT_EQ(form->Session().View().Scale, 256.0);
    EXPECT_EQ(East(), e - 100 * 256.0);

    Click("ZoomOutBtn");
    QTest::mouseDClick(Image(), Qt::LeftButton, {}, QPoint(300, 300));
    EXPECT_EQ(form->Session().View().Scale, 512.0);
}

TEST_F(MainWindowTest, MagnificationKeepsTheViewCentre) {
    Find<QSpinBox>("TileCountXSpin")->setValue(10);
    Find<QSpinBox>("TileCountYSpin")->setValue(10);
    ASSERT_TRUE(WaitLoaded());
    auto* scroll = Find<QScrollArea>("ScrollWindow1");
    scroll->horizontalScrollBar()->setValue(500);
    scroll->verticalScrollBar()->setValue(700);
    auto centre = [&] {
        const QPoint c(scroll->horizontalScrollBar()->value() + scroll->viewport()->width() / 2,
                       scroll->verticalScrollBar()->value() + scroll->viewport()->height() / 2);
        return Image()->ControlToPicture(c);
    };
    const QPoint before = centre();
    auto expectedSize = [&] {
        const int side = static_cast<int>(2000 * form->Session().View().ZoomFactor());
        return QSize(side, side);
    };

    Find<QSlider>("MagBar")->setValue(50);
    EXPECT_EQ(Text("ZoomDis"), "2.05");
    EXPECT_EQ(Image()->size(), expectedSize());
    EXPECT_LE((centre() - before).manhattanLength(), 1);

    Click("ResetBtn");
    EXPECT_EQ(Image()->size(), QSize(2000, 2000)) << "reset shows the mosaic pixel for pixel";
    EXPECT_EQ(Text("ZoomDis"), "1.00");
    EXPECT_EQ(Find<QSlider>("MagBar")->value(), 23);
    EXPECT_LE((centre() - before).manhattanLength(), 2);

    Find<QSlider>("MagBar")->setValue(10);
    EXPECT_EQ(Text("ZoomDis"), "0.49");
    EXPECT_EQ(Image()->size(), expectedSize());
    EXPECT_LE((centre() - before).manhattanLength(), 4) << "one screen pixel is two map pixels";
}

TEST_F(MainWindowTest, ReadoutsAreRightAtEveryMagnification) {
    LoadAndWait();
    const TGeoPosition g = UtmToGeographic(13, NorthAmerican1983, 3635200.0, 358400.0);
    auto expectReadouts = [&] {
        EXPECT_EQ(Text("ImageEastDis"), "358,400");
        EXPECT_EQ(Text("ImageNorthDis"), "3,635,200");
        EXPECT_EQ(Text("ImageZoneDis"), "13");
        EXPECT_EQ(Text("ImageLongDis"), FormatGrouped(g.Longitude, 4));
        EXPECT_EQ(Text("ImageLatDis"), FormatGrouped(g.Latitude, 4));
        EXPECT_EQ(Text("ImageLong2Dis"), FormatDms(g.Longitude));
        EXPECT_EQ(Text("ImageLat2Dis"), FormatDms(g.Latitude));
        EXPECT_TRUE(Text("ImageLong2Dis").startsWith('-'));
    };
    QTest::mouseMove(Image(), QPoint(100, 500));
    expectReadouts();

    // Magnified about 2.01 times the same mosaic pixel lies at (201, 1005).
    Find<QSlider>("MagBar")->setValue(49);
    ASSERT_EQ(Image()->width(), 1206);
    Find<QScrollArea>("ScrollWindow1")->ensureVisible(201, 1005);
    for (const char* name : {"ImageEastDis", "ImageNorthDis"})
        Find<QLabel>(name)->clear();
    QTest::mouseMove(Image(), QPoint(201, 1005));
    expectReadouts();

    // East of the zone's edge the readout is in the next zone.
    Click("ResetBtn");
    Find<QDoubleSpinBox>("EastSpin")->setValue(750000.0);
    // The readouts describe the map shown, not a position typed since.
    QTest::mouseMove(Image(), QPoint(590, 300));
    EXPECT_EQ(Text("ImageZoneDis"), "13");
    LoadAndWait();
    QTest::mouseMove(Image(), QPoint(591, 300));
    EXPECT_EQ(Text("ImageZoneDis"), "14");
}

TEST_F(MainWindowTest, SavesByExtensionAndCopiesTheMosaic) {
    // Before any load there is nothing to copy: the clipboard keeps what it had.
    QApplication::clipboard()->setText(QStringLiteral("the user's text"));
    Find<QAction>("Copy1")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("the user's text"));

    LoadAndWait();
    QTemporaryDir dir;
    const QString jpeg = dir.filePath("map.JPG");
    ASSERT_TRUE(form->SaveMapImage(jpeg));
    EXPECT_EQ(QImageReader(jpeg).format(), "jpeg");
    EXPECT_EQ(QImage(jpeg).size(), QSize(600, 600));
    const QString bare = dir.filePath("map");
    ASSERT_TRUE(form->SaveMapImage(bare));
    QFile bmp(bare);
    ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
    EXPECT_EQ(bmp.read(2), "BM");
    const QString png = dir.filePath("map.png");
    ASSERT_TRUE(form->SaveMapImage(png));
    EXPECT_EQ(QImage(png).convertToFormat(QImage::Format_RGB32), form->Session().Mosaic());

    // A place that cannot be written to ends in a message, not in a file.
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->close();
        }
    });
    EXPECT_FALSE(form->SaveMapImage(dir.filePath("missing/map.png")));
    EXPECT_FALSE(shown.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("missing/map.png")));

    Find<QAction>("Copy1")->trigger();
    EXPECT_EQ(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
              form->Session().Mosaic());
    // Other programs ask for PNG: it is there already, encoded with the copy.
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(copied != nullptr && copied->hasFormat(QStringLiteral("image/png")));
    EXPECT_EQ(QImage::fromData(copied->data(QStringLiteral("image/png")), "PNG")
                  .convertToFormat(QImage::Format_RGB32),
              form->Session().Mosaic());
}

TEST_F(MainWindowTest, ThePageCannotChangeWhileTilesAreLoading) {
    // A slow service keeps the load running while the user tries to switch.
    test::TileServerProcess slow({"--latency-ms", "400"});
    ASSERT_TRUE(slow.start()) << slow.error().toStdString();
    Open(slow.baseUrl());
    auto* pages = Find<TPageControl>("PageControl2");
    QSignalSpy changes(pages, &QTabWidget::currentChanged);
    Click("LoadBtn");
    ASSERT_TRUE(QTest::qWaitFor([this] { return form->Session().IsBusy(); }, LoadDeadlineMs));
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(1).center());
    EXPECT_EQ(pages->currentIndex(), TForm1::LoaderPage);
    EXPECT_EQ(changes.count(), 0) << "the refused page never showed";

    // Abort ends the load; its clock stops and the gauge drops.
    Click("ComAbortBtn");
    EXPECT_FALSE(form->Session().IsBusy());
    EXPECT_FALSE(Find<TElapsedTimeDisplay>("SubTimer1")->Running());
    EXPECT_EQ(Find<QProgressBar>("ProgressGauge")->value(), 0);

    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(1).center());
    EXPECT_EQ(pages->currentIndex(), TForm1::MeasurePage);
    EXPECT_FALSE(Find<QToolBar>("ToolBar")->isEnabled());
    EXPECT_EQ(Image()->cursor().shape(), Qt::PointingHandCursor);

    // A load started from elsewhere returns to the loader's page and its rules.
    form->Session().LoadCurrentView(false);
    EXPECT_EQ(pages->currentIndex(), TForm1::LoaderPage);
    EXPECT_TRUE(Find<QToolBar>("ToolBar")->isEnabled());
    EXPECT_EQ(Image()->cursor().shape(), Qt::SizeAllCursor);
    form.reset(); // aborts the load while the slow service is still there
}

TEST_F(MainWindowTest, HelpShowsTheUserGuideAndExitCloses) {
    Find<QAction>("Contents1")->trigger();
    THelpWindow* help = form->HelpWindow();
    ASSERT_TRUE(help->isVisible());
    const QString guide = help->Browser()->toPlainText();
    EXPECT_TRUE(guide.contains("VARROW_TILE_SERVICE"));
    EXPECT_TRUE(guide.contains("TileService"));
    EXPECT_TRUE(guide.contains("http://127.0.0.1:8600"));
    for (int topic = 1; topic <= 3; ++topic) {
        help->ShowTopic(topic);
        EXPECT_FALSE(help->Browser()->toPlainText().trimmed().isEmpty()) << topic;
        EXPECT_NE(help->Browser()->documentTitle(), "") << topic;
    }

    Find<QAction>("Exit1")->trigger();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainWindowTest, AnIndexMapPressCentresTheNextMapAndADoubleClickLoadsIt) {
    ClickRadio("ScaleRadio", 3); // 64 m per pixel
    ASSERT_TRUE(WaitLoaded());
    ShowPage(TForm1::IndexPage);
    TIndexMapImage* us = Find<TIndexPage>("IndexPage")->MapImage(TIndexMap::UnitedStates);
    QSignalSpy loads(&form->Session(), &TMapSession::loadStarting);
    const QPoint p(200, 120);
    QTest::mousePress(us, Qt::LeftButton, {}, p);
    QTest::mouseRelease(us, Qt::LeftButton, {}, p);
    EXPECT_TRUE(Find<QRadioButton>("ScaleRadioItem0")->isChecked());
    EXPECT_EQ(form->Session().View().Scale, 512.0);
    EXPECT_EQ(loads.count(), 1) << "the scale change loads, the press itself does not";
    const TGeoPosition g = IndexPixelToGeographic(TIndexMap::UnitedStates, p.x(), p.y());
    const TUtmPosition u = GeographicToUtm(NorthAmerican1983, g.Latitude, g.Longitude);
    EXPECT_EQ(Zone(), u.Zone);
    EXPECT_NEAR(East(), u.Easting - 300 * 512.0, 0.5);
    EXPECT_NEAR(North(), u.Northing - 300 * 512.0, 0.5);

    QTest::mouseDClick(us, Qt::LeftButton, {}, p);
    EXPECT_EQ(Find<TPageControl>("PageControl1")->currentIndex(), TForm1::ImageLoaderPage);
    ASSERT_TRUE(WaitLoaded());
    EXPECT_EQ(loads.count(), 2);
    EXPECT_EQ(form->Session().Mosaic().size(), QSize(600, 600));
    const TGeoPosition centre = form->Session().View().MosaicCentre();
    EXPECT_NEAR(centre.Longitude, g.Longitude, 1e-6);
    EXPECT_NEAR(centre.Latitude, g.Latitude, 1e-6);
    EXPECT_TRUE(us->Marker().Shown());
    EXPECT_LE((us->Marker().Point() - p).manhattanLength(), 2) << "the loaded map's centre";
}

TEST_F(MainWindowTest, TheGridIsDrawnIntoTheFinishedMapAndStaysInItsBackground) {
    Find<QRadioButton>("GridRadioItem3")->setChecked(true); // "1 Degree"
    Click("GridChk");
    ASSERT_TRUE(WaitLoaded());
    const QImage& mosaic = form->Session().Mosaic();
    // About three degrees each way at 512 m per pixel: a few one-pixel lines.
    const int drawn = GridPixels(mosaic);
    EXPECT_GT(drawn, 3 * 600);
    EXPECT_LT(drawn, 12 * 600);
    EXPECT_EQ(GridPixels(Image()->grab().toImage().convertToFormat(QImage::Format_RGB32)), drawn)
        << "the control shows the grid";
    // Overlays are wiped back to the background copy; the grid is not an overlay.
    form->Session().Canvas().RestoreBackground();
    EXPECT_EQ(GridPixels(mosaic), drawn);
    QTemporaryDir dir;
    ASSERT_TRUE(form->SaveMapImage(dir.filePath("grid.png")));
    EXPECT_EQ(GridPixels(QImage(dir.filePath("grid.png")).convertToFormat(QImage::Format_RGB32)),
              drawn);

    // "Tiles" frames the tiles in black and draws no lines.
    auto blackOnTileEdge = [&] {
        int n = 0;
        for (int k = 0; k < 600; ++k)
            n += (mosaic.pixel(200, k) == 0xff000000) + (mosaic.pixel(k, 400) == 0xff000000);
        return n;
    };
    Find<QRadioButton>("GridRadioItem4")->setChecked(true);
    LoadAndWait();
    EXPECT_EQ(GridPixels(mosaic), 0);
    EXPECT_EQ(blackOnTileEdge(), 1200);
    Click("GridChk");
    ASSERT_TRUE(WaitLoaded());
    EXPECT_LT(blackOnTileEdge(), 600);

    // A press on an index map at another scale loads the old place at 512 m
    // per pixel, then moves the view on without loading; the grid must be
    // the one of the map that was loaded.
    Find<QRadioButton>("GridRadioItem3")->setChecked(true);
    Click("GridChk");
    ClickRadio("ScaleRadio", 1);
    ASSERT_TRUE(WaitLoaded());
    TMapViewState loaded;
    int starts = 0;
    const auto keep =
        QObject::connect(&form->Session(), &TMapSession::loadStarting, form.get(), [&] {
            loaded = form->Session().LoadedView();
            ++starts;
        });
    form->Session().ClearTileCache();
    ShowPage(TForm1::IndexPage);
    TIndexMapImage* us = Find<TIndexPage>("IndexPage")->MapImage(TIndexMap::UnitedStates);
    QTest::mouseClick(us, Qt::LeftButton, {}, QPoint(200, 120));
    QObject::disconnect(keep);
    // A fast service may have finished the load already; that it started counts.
    ASSERT_EQ(starts, 1);
    ASSERT_TRUE(WaitLoaded());
    ASSERT_EQ(loaded.Scale, 512.0);
    ASSERT_NE(form->Session().View().Easting, loaded.Easting);
    QImage expected(600, 600, QImage::Format_RGB32);
    expected.fill(Qt::white);
    DrawLatLongGrid(expected, loaded, 1.0, 1);
    EXPECT_EQ(GridMask(mosaic), GridMask(expected));
}

TEST_F(MainWindowTest, TheRendererDrawsTheSameGridAsTheWindowSaves) {
    Find<QRadioButton>("GridRadioItem1")->setChecked(true); // "15 Minute"
    Find<QDoubleSpinBox>("EastSpin")->setValue(400000.0);
    ClickRadio("ScaleRadio", 5); // 16 m per pixel: 15' lines within the map
    Click("GridChk");
    ASSERT_TRUE(WaitLoaded());
    ASSERT_GT(GridPixels(form->Session().Mosaic()), 600);
    QTemporaryDir dir;
    ASSERT_TRUE(form->SaveMapImage(dir.filePath("window.png")));
    const TMapViewState& map = form->Session().LoadedView();
    QProcess render;
    render.start(QStringLiteral(VARROW_RENDER_EXECUTABLE),
                 {"--service", server->baseUrl(), "--grid", "15", "--scale", "16", "--tiles", "3x3",
                  "--utm",
                  QStringLiteral("%1,%2,%3")
                      .arg(map.Zone)
                      .arg(map.Easting, 0, 'f', 3)
                      .arg(map.Northing, 0, 'f', 3),
                  "--quiet", "-o", dir.filePath("render.png")});
    ASSERT_TRUE(render.waitForFinished(LoadDeadlineMs));
    ASSERT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
    EXPECT_EQ(QImage(dir.filePath("render.png")), QImage(dir.filePath("window.png")));
}

TEST_F(MainWindowTest, TileInfoAndSettingsOpenTheirDialogs) {
    auto* tilePos = Find<TTilePosDlg>("TilePosDlg");
    ASSERT_FALSE(tilePos->isVisible());
    Find<QAction>("SaveLocations1")->trigger();
    EXPECT_TRUE(tilePos->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the window stays usable";
    auto* tileX = tilePos->findChild<QSpinBox*>(QStringLiteral("TileXSpin"));
    EXPECT_EQ(tileX->value(), 3);
    Click("PanRightBtn");
    EXPECT_EQ(tileX->value(), 4) << "it follows the view";
    QTest::mouseClick(tilePos->findChild<QPushButton*>(QStringLiteral("HelpBtn")), Qt::LeftButton);
    EXPECT_TRUE(form->HelpWindow()->isVisible());
    EXPECT_EQ(form->HelpWindow()->Browser()->source().fileName(), "topic3.html");
    QTest::mouseClick(tilePos->findChild<QPushButton*>(QStringLiteral("CloseBtn")), Qt::LeftButton);
    EXPECT_FALSE(tilePos->isVisible());

    ASSERT_TRUE(WaitLoaded());
    QSignalSpy loads(&form->Session(), &TMapSession::loadStarting);
    auto* settings = Find<TSettingsDlg>("SettingsDlg");
    QWidget* shown =
        WhileModal([&] { Find<QAction>("Settings1")->trigger(); },
                   [](QWidget* w) {
                       QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("CloseBtn")),
                                         Qt::LeftButton);
                   });
    EXPECT_EQ(shown, settings);
    EXPECT_FALSE(settings->isVisible());
    EXPECT_EQ(loads.count(), 1) << "closing the settings reloads the map";
}

TEST_F(MainWindowTest, TheFirstShowReadsDefaultsAndPositionsAndTheyAreWrittenBack) {
    QTemporaryDir own;
    struct Restore {
        std::unique_ptr<TForm1>& form;
        ~Restore() {
            form.reset(); // writes the positions while VARROW_HOME is still ours
            qputenv("VARROW_HOME", home->path().toUtf8());
        }
    } restore{form};
    const TTileLocation stored = form->Session().CaptureView();
    form.reset();
    qputenv("VARROW_HOME", own.path().toUtf8());
    ASSERT_TRUE(WritePositionFile({stored}, PosListPath()));

    Open(server->baseUrl());
    EXPECT_EQ(form->Positions().Items().size(), 1u);
    EXPECT_TRUE(Find<QRadioButton>("SpeedRadioItem0")->isChecked()) << "no defaults file";
    ClickRadio("SpeedRadio", 1);
    Find<QAction>("SaveUserDefaults1")->trigger();
    EXPECT_EQ(ReadIniInteger(UserDefaultsPath(), "Settings", "ConnectionSpeed", 0), 1);
    AppendPosition(form->Positions().Items(), stored);
    form->close();
    TPosList reread;
    ReadPositionFile(reread, PosListPath());
    EXPECT_EQ(reread.size(), 2u);

    Open(server->baseUrl());
    EXPECT_TRUE(Find<QRadioButton>("SpeedRadioItem1")->isChecked());
    EXPECT_EQ(form->Session().View().MaxWorkers(), 1);

    // Below -1 nothing is selected and the map loads one tile at a time;
    // that stays so when the view changes, and is stored as it is.
    WriteIniInteger(UserDefaultsPath(), "Settings", "ConnectionSpeed", -5);
    Open(server->baseUrl());
    auto noneSelected = [this] {
        return !Find<QRadioButton>("SpeedRadioItem0")->isChecked() &&
               !Find<QRadioButton>("SpeedRadioItem1")->isChecked();
    };
    EXPECT_TRUE(noneSelected());
    Click("PanUpBtn");
    EXPECT_TRUE(noneSelected());
    EXPECT_EQ(form->Session().View().MaxWorkers(), 1);
    Find<QAction>("SaveUserDefaults1")->trigger();
    EXPECT_EQ(ReadIniInteger(UserDefaultsPath(), "Settings", "ConnectionSpeed", 0), -1);
}

} // namespace
} // namespace varrow
