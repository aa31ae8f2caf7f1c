// The settings and tile position dialogs and the grid they choose, against a
// real varrow-tiles: what each control does to the view, the loads it starts
// and what ends up in the mosaic.

#include "workspace/gui/SettingsDlg.h"
#include "workspace/gui/TilePosDlg.h"

#include "io/MapImageFile.h"
#include "support/ModalMessages.h"
#include "support/TileServerSuite.h"
#include "tiles/TileDiskCache.h"
#include "workspace/GridOverlay.h"
#include "workspace/MapSession.h"
#include "workspace/Navigation.h"
#include "workspace/UserDefaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace varrow {
namespace {

constexpr int LoadDeadlineMs = 60000; // a deadline for a broken load, not a timing check

class GridAndDialogsTest : public test::TileServerSuite {
protected:
    void SetUp() override {
        ASSERT_TRUE(serverStarted) << server->error().toStdString();
        ASSERT_TRUE(home.isValid());
        qputenv("VARROW_HOME", home.path().toUtf8());
        qputenv("VARROW_CACHE", home.path().toUtf8());
        qunsetenv("VARROW_TILE_SERVICE");
        session = std::make_unique<TMapSession>(server->baseUrl());
        settings = std::make_unique<TSettingsDlg>(*session);
        tilePos = std::make_unique<TTilePosDlg>(*session);
    }
    void TearDown() override {
        if (session) session->Abort();
        tilePos.reset();
        settings.reset();
        session.reset();
    }

    template <class T> T* Find(QWidget* dialog, const char* name) {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QSpinBox* Spin(const char* name) { return Find<QSpinBox>(tilePos.get(), name); }
    void ChooseSource(TMapSourceKind kind) {
        auto* list = Find<QComboBox>(settings.get(), "MapSourceList");
        list->setCurrentIndex(list->findData(static_cast<int>(kind)));
    }
    void Click(QWidget* dialog, const char* name) {
        QTest::mouseClick(Find<QAbstractButton>(dialog, name), Qt::LeftButton);
    }
    void ChooseGrid(int item) {
        auto* radio = Find<QRadioButton>(settings.get(),
                                         QStringLiteral("GridRadioItem%1").arg(item).toLatin1());
        radio->setChecked(true);
    }
    bool LoadAndWait() {
        session->LoadCurrentView(true);
        return WaitLoaded();
    }
    bool WaitLoaded() {
        return QTest::qWaitFor([this] { return session->LoadComplete() && !session->IsBusy(); },
                               LoadDeadlineMs);
    }
    int CachedTiles() { return session->CachedTiles(); }
    // What "Show Grid" does in the main window.
    void ShowGrid(bool show) {
        TGridOptions grid = session->GridOptions();
        grid.Show = show;
        session->SetGridOptions(grid);
    }
    static int GridPixels(const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                n += c == GridColourA.rgb() || c == GridColourB.rgb();
            }
        return n;
    }

    QTemporaryDir home;
    std::unique_ptr<TMapSession> session;
    std::unique_ptr<TSettingsDlg> settings;
    std::unique_ptr<TTilePosDlg> tilePos;
};

TEST_F(GridAndDialogsTest, TilePositionStartsAtTheDefaultViewAndTypingMovesAndLoads) {
    EXPECT_TRUE(tilePos->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(QList<int>({Spin("TileXSpin")->value(), Spin("TileYSpin")->value(),
                          Spin("XOffSpin")->value(), Spin("YOffSpin")->value()}),
              QList<int>({3, 35, 0, 0}));
    tilePos->show();
    QSignalSpy loads(session.get(), &TMapSession::loadStarting);

    QSpinBox* xOff = Spin("XOffSpin");
    xOff->setFocus();
    xOff->selectAll();
    QTest::keyClicks(xOff, QStringLiteral("250"));
    EXPECT_EQ(session->View().Easting, 435200.0); // (3·200 + 250)·512
    EXPECT_EQ(session->View().Northing, 3584000.0);
    EXPECT_EQ(session->CaptureView().Tile.X, 4);
    EXPECT_EQ(session->CaptureView().Offset.X, 50);
    // The dialog keeps what was typed.
    EXPECT_EQ(Spin("TileXSpin")->value(), 3);
    EXPECT_EQ(xOff->value(), 250);
    ASSERT_GE(loads.count(), 1);
    EXPECT_FALSE(loads.last().at(0).toBool()) << "loads keep the magnification";

    // A move made elsewhere shows up normalised.
    TNavigator(*session).Pan(1, 0);
    EXPECT_EQ(Spin("TileXSpin")->value(), 5);
    EXPECT_EQ(xOff->value(), 50);

    // Far out on the tile grid, where the tile numbers of the map and the
    // ring around it no longer fit, a position is not taken.
    const double easting = session->View().Easting;
    const int before = static_cast<int>(loads.count());
    Spin("TileXSpin")->setValue(2147483600);
    EXPECT_EQ(session->View().Easting, easting);
    EXPECT_EQ(loads.count(), before);

    Click(tilePos.get(), "CloseBtn");
    EXPECT_FALSE(tilePos->isVisible());
    tilePos->show();
    QTest::keyClick(tilePos.get(), Qt::Key_Escape);
    EXPECT_FALSE(tilePos->isVisible());
}

TEST_F(GridAndDialogsTest, ClearTileCacheEmptiesTheCacheAndLeavesTheMap) {
    ASSERT_TRUE(LoadAndWait());
    EXPECT_EQ(CachedTiles(), 25); // 3 by 3 and the ring around them
    const QImage before = session->Mosaic().copy();
    Click(tilePos.get(), "ClearChacheBtn");
    EXPECT_EQ(CachedTiles(), 0);
    EXPECT_EQ(session->Mosaic(), before);
    ASSERT_TRUE(LoadAndWait());
    EXPECT_EQ(session->Stats().CacheHits, 0);
}

TEST_F(GridAndDialogsTest, SettingsApplyAndCloseBothReload) {
    EXPECT_EQ(settings->GridType(), 0);
    QSignalSpy loads(session.get(), &TMapSession::loadStarting);
    settings->show();
    Click(settings.get(), "Button1"); // Apply
    EXPECT_EQ(loads.count(), 1);
    EXPECT_FALSE(loads.last().at(0).toBool());
    EXPECT_TRUE(settings->isVisible());
    settings->hide();
    // Closed without any change, by the button or by Escape, the view is still reloaded.
    QTimer::singleShot(0, [this] { Click(settings.get(), "CloseBtn"); });
    EXPECT_EQ(settings->Execute(), QDialog::Rejected);
    EXPECT_FALSE(settings->isVisible());
    QTimer::singleShot(0, [this] { QTest::keyClick(settings.get(), Qt::Key_Escape); });
    settings->Execute();
    EXPECT_EQ(loads.count(), 3);
}

TEST_F(GridAndDialogsTest, TilesGridFramesEveryTileInBlackAndDrawsNoLines) {
    ShowGrid(true);
    ChooseGrid(static_cast<int>(TGridType::Tiles));
    settings->Button1Click();
    EXPECT_TRUE(session->GridOptions().TileOutlines());
    ASSERT_TRUE(WaitLoaded());
    const QImage& m = session->Mosaic();
    const QRgb black = qRgb(0, 0, 0);
    for (int k = 0; k < 600; k += 7) {
        for (const int edge : {0, 199, 200, 399, 400, 599}) {
            EXPECT_EQ(m.pixel(k, edge), black) << k << "," << edge;
            EXPECT_EQ(m.pixel(edge, k), black) << edge << "," << k;
        }
    }
    int inside = 0; // the tiles' own pictures are not covered
    for (int k = 1; k < 199; ++k)
        inside += m.pixel(k, 100) != black;
    EXPECT_GT(inside, 150);
    EXPECT_EQ(GridPixels(m), 0);

    // With "Show Grid" off neither outlines nor lines appear.
    ShowGrid(false);
    ASSERT_TRUE(LoadAndWait());
    EXPECT_FALSE(session->GridOptions().TileOutlines());
    EXPECT_NE(session->Mosaic().pixel(100, 199), black);
    EXPECT_EQ(GridPixels(session->Mosaic()), 0);
}

TEST_F(GridAndDialogsTest, LatLongGridIsDrawnOnceLoadedAndIsInTheSavedImage) {
    ShowGrid(true);
    ChooseGrid(static_cast<int>(TGridType::Minutes7_5));
    QSignalSpy changed(session.get(), &TMapSession::mosaicChanged);
    ASSERT_TRUE(LoadAndWait());
    EXPECT_FALSE(session->GridOptions().TileOutlines());
    ASSERT_GE(changed.count(), 1);
    EXPECT_EQ(changed.last().at(0).toRect(), session->Mosaic().rect());
    // 600 pixels at 512 m per pixel span about three degrees: some 25
    // meridians and 25 parallels, one stroke each.
    const int drawn = GridPixels(session->Mosaic());
    EXPECT_GT(drawn, 35 * 600); // less what the labels at the edges cover

    const QString file = home.filePath(QStringLiteral("grid.png"));
    SaveMapImage(session->Mosaic(), file);
    const QImage saved = QImage(file).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(saved.size(), session->Mosaic().size());
    EXPECT_EQ(GridPixels(saved), drawn);
}

TEST_F(GridAndDialogsTest, TileServicePageStoresTheAddressAndUsesIt) {
    auto* edit = Find<QLineEdit>(settings.get(), "TileServiceEdit");
    settings->show();
    EXPECT_TRUE(
        Find<QLabel>(settings.get(), "TileServiceInUseDis")->text().contains(server->baseUrl()));
    ASSERT_TRUE(LoadAndWait());
    ChooseSource(TMapSourceKind::Service);
    EXPECT_FALSE(Find<QWidget>(settings.get(), "TileServiceRow")->isHidden());
    edit->setText(QStringLiteral("http://127.0.0.1:9/ "));
    EXPECT_TRUE(settings->SaveMapSourceClick());
    EXPECT_EQ(ReadTileServiceSetting(), "http://127.0.0.1:9");
    EXPECT_EQ(session->TileSourceName(), "http://127.0.0.1:9");
    EXPECT_EQ(CachedTiles(), 0) << "the old service's tiles are not the new one's";

    // Not an address: nothing is stored, and the user is told.
    for (const char* bad : {"ftp://127.0.0.1:9", "127.0.0.1:8600", "http://"}) {
        edit->setText(QString::fromLatin1(bad));
        const QString shown =
            test::MessageDuring([this] { EXPECT_FALSE(settings->SaveMapSourceClick()); });
        EXPECT_TRUE(shown.contains(QString::fromLatin1(bad))) << shown.toStdString();
        EXPECT_EQ(ReadTileServiceSetting(), "http://127.0.0.1:9");
    }
    edit->setText(QString()); // back to the built-in address
    EXPECT_TRUE(settings->SaveMapSourceClick());
    EXPECT_EQ(session->TileSourceName(), QString::fromLatin1(DefaultTileService));

    // The environment variable wins, and the page says so.
    qputenv("VARROW_TILE_SERVICE", server->baseUrl().toUtf8());
    settings->hide();
    settings->show();
    EXPECT_TRUE(
        Find<QLabel>(settings.get(), "TileServiceNoteDis")->text().contains("VARROW_TILE_SERVICE"));
    edit->setText(QStringLiteral("http://127.0.0.1:10"));
    EXPECT_TRUE(settings->SaveMapSourceClick());
    EXPECT_EQ(ReadTileServiceSetting(), "http://127.0.0.1:10");
    EXPECT_EQ(session->TileSourceName(), server->baseUrl());
    qunsetenv("VARROW_TILE_SERVICE");
}

TEST_F(GridAndDialogsTest, MapSourcePageOffersTheSourcesAndKeepsTheChoice) {
    settings->show();
    auto* list = Find<QComboBox>(settings.get(), "MapSourceList");
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    EXPECT_EQ(items,
              (QStringList{"Demo landscape", "USGS Topo", "USGS Imagery", "USGS Imagery Topo",
                           "Custom XYZ...", "Tile service (tile.ashx)"}));
    EXPECT_EQ(list->currentText(), "Demo landscape") << "nothing stored yet";
    EXPECT_EQ(Find<QSpinBox>(settings.get(), "DiskCacheSpin")->value(), 2048);

    // USGS Topo, offline, with a smaller cache: stored, and in use at once.
    ChooseSource(TMapSourceKind::UsgsTopo);
    EXPECT_TRUE(Find<QWidget>(settings.get(), "CustomXyzBox")->isHidden());
    Find<QCheckBox>(settings.get(), "OfflineCheck")->setChecked(true);
    Find<QSpinBox>(settings.get(), "DiskCacheSpin")->setValue(300);
    QTest::mouseClick(Find<QPushButton>(settings.get(), "SaveMapSourceBtn"), Qt::LeftButton);
    EXPECT_EQ(ReadMapSourceSetting().Kind, TMapSourceKind::UsgsTopo);
    EXPECT_TRUE(ReadMapSourceSetting().Offline);
    EXPECT_EQ(ReadMapSourceSetting().CacheLimitBytes, qint64(300) << 20);
    EXPECT_EQ(session->TileSourceName(), "USGS Topo (offline)");
    EXPECT_TRUE(Find<QLabel>(settings.get(), "TileServiceInUseDis")
                    ->text()
                    .contains("USGS The National Map"));

    // A custom service: its fields, and a template that cannot be one refused.
    ChooseSource(TMapSourceKind::Xyz);
    EXPECT_FALSE(Find<QWidget>(settings.get(), "CustomXyzBox")->isHidden());
    auto* topo = Find<QLineEdit>(settings.get(), "XyzTopoEdit");
    topo->setText(QStringLiteral("https://tiles.example.org/{z}/{x}.png"));
    const QString shown =
        test::MessageDuring([this] { EXPECT_FALSE(settings->SaveMapSourceClick()); });
    EXPECT_TRUE(shown.contains("{y}")) << shown.toStdString();
    EXPECT_EQ(ReadMapSourceSetting().Kind, TMapSourceKind::UsgsTopo);
    topo->setText(QStringLiteral("https://tiles.example.org/{z}/{x}/{y}.png"));
    Find<QLineEdit>(settings.get(), "XyzNameEdit")->setText(QStringLiteral("Example"));
    Find<QSpinBox>(settings.get(), "XyzMaxZoomSpin")->setValue(18);
    Find<QCheckBox>(settings.get(), "OfflineCheck")->setChecked(false);
    EXPECT_TRUE(settings->SaveMapSourceClick());
    EXPECT_EQ(session->TileSourceName(), "Example");

    // Shown again as it was stored.
    settings->hide();
    settings->show();
    EXPECT_EQ(list->currentText(), "Custom XYZ...");
    EXPECT_EQ(topo->text(), "https://tiles.example.org/{z}/{x}/{y}.png");
    EXPECT_EQ(Find<QSpinBox>(settings.get(), "XyzMaxZoomSpin")->value(), 18);
    EXPECT_FALSE(Find<QCheckBox>(settings.get(), "OfflineCheck")->isChecked());
}

TEST_F(GridAndDialogsTest, ClearDiskCacheDeletesTheTilesAndSaysWhatIsLeft) {
    const QString folder = TTileDiskCache::TilesFolderOf(home.path());
    TTileDiskCache cache(folder, 1 << 30);
    WriteConnectionSpeed(1); // the settings live beside the cache here
    for (int x = 0; x < 8; ++x)
        cache.Write(QStringLiteral("usgs-USGSTopo"), 10, x, 380, QByteArray(128 * 1024, 'x'));
    settings->show();
    auto* shown = Find<QLabel>(settings.get(), "DiskCacheDis");
    EXPECT_TRUE(shown->text().startsWith("1.0 MB")) << shown->text().toStdString();
    EXPECT_TRUE(shown->text().contains(QDir::toNativeSeparators(folder)));
    QTest::mouseClick(Find<QPushButton>(settings.get(), "ClearDiskCacheBtn"), Qt::LeftButton);
    EXPECT_EQ(cache.SizeBytes(), 0);
    EXPECT_TRUE(shown->text().startsWith("0.0 MB")) << shown->text().toStdString();
    EXPECT_EQ(ReadConnectionSpeed(), 1) << "only the tiles go";
}

} // namespace
} // namespace varrow
