// The "Index" page driven with the mouse: readouts, a press that centres the
// next map at 512 m per pixel, the double click, and the cross that marks
// the mosaic centre after each load start.

#include "workspace/gui/IndexPage.h"

#include "support/TileServerSuite.h"
#include "workspace/MapSession.h"
#include "workspace/Navigation.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace varrow {
namespace {

class IndexPageTest : public test::TileServerHomeSuite {
protected:
    void SetUp() override {
        ASSERT_TRUE(serverStarted) << server->error().toStdString();
        session = std::make_unique<TMapSession>(server->baseUrl());
        navigator = std::make_unique<TNavigator>(*session);
        page = std::make_unique<TIndexPage>(*session, *navigator);
        page->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(page.get()));
    }
    void TearDown() override {
        session->Abort();
        page.reset();
        navigator.reset();
        session.reset();
    }

    TIndexMapImage* Map(TIndexMap map) { return page->MapImage(map); }
    bool Shown(TIndexMap map) { return Map(map)->Marker().Shown(); }
    QString Text(const char* name) {
        return page->findChild<QLabel*>(QString::fromLatin1(name))->text();
    }
    // QTest takes the point (0, 0) for the widget's centre.
    void MoveTo(TIndexMap map, QPoint p) {
        QMouseEvent move(QEvent::MouseMove, QPointF(p), Map(map)->mapToGlobal(QPointF(p)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(Map(map), &move);
    }
    static QImage Original(TIndexMap map) {
        return QImage(IndexMapPicture(map)).convertToFormat(QImage::Format_RGB32);
    }

    std::unique_ptr<TMapSession> session;
    std::unique_ptr<TNavigator> navigator;
    std::unique_ptr<TIndexPage> page;
};

TEST_F(IndexPageTest, PicturesAreMapsOfTheirFramesAndTheMarkerIsAWhiteCross) {
    for (const TIndexMap map : IndexMapOrder()) {
        ASSERT_EQ(Original(map).size(), QSize(IndexMapWidth, IndexMapHeight));
        EXPECT_EQ(Map(map)->size(), QSize(IndexMapWidth, IndexMapHeight));
        EXPECT_EQ(Map(map)->Picture(), Original(map));
    }
    auto water = [](TIndexMap map, double lon, double lat) {
        const QColor c = Original(map).pixel(*IndexGeographicToPixel(map, lon, lat));
        return c.blue() > c.red() + 30;
    };
    EXPECT_TRUE(water(TIndexMap::UnitedStates, -124.0, 30.0));
    EXPECT_FALSE(water(TIndexMap::UnitedStates, -100.0, 40.0)); // Kansas
    EXPECT_TRUE(water(TIndexMap::UnitedStates, -87.0, 44.0));   // Lake Michigan
    EXPECT_FALSE(water(TIndexMap::Alaska, -150.0, 65.0));
    EXPECT_TRUE(water(TIndexMap::Alaska, -150.0, 55.0));
    EXPECT_FALSE(water(TIndexMap::Hawaii, -155.5, 19.6)); // the Big Island

    const TBitCursor cursor;
    const QImage& b = cursor.Bitmap();
    ASSERT_EQ(b.size(), QSize(20, 20));
    const QRgb clear = cursor.TransparentColour(), white = qRgb(255, 255, 255), black = 0xff000000;
    EXPECT_EQ(b.pixel(0, 19), clear);
    for (const int along : {2, 14}) { // both bars: two white pixels between black
        EXPECT_EQ(QList<QRgb>({b.pixel(7, along), b.pixel(8, along), b.pixel(9, along),
                               b.pixel(10, along), b.pixel(11, along), b.pixel(12, along)}),
                  QList<QRgb>({clear, black, white, white, black, clear}));
        EXPECT_EQ(b.pixel(along, 9), white);
        EXPECT_EQ(b.pixel(along, 11), black);
    }
    EXPECT_EQ(b.pixel(9, 0), black); // the ends are outlined too

    // Shown and hidden anywhere, even half off the picture, it puts the picture back.
    QImage canvas = Original(TIndexMap::UnitedStates);
    TBitCursor marker;
    for (const QPoint p : {QPoint(100, 50), QPoint(0, 0), QPoint(380, 237), QPoint(-30, 500)}) {
        marker.ShowMarker(canvas, p.x(), p.y());
        marker.ShowMarker(canvas, p.x() + 40, p.y());
        marker.HideMarker(canvas);
        EXPECT_EQ(canvas, Original(TIndexMap::UnitedStates)) << p.x() << "," << p.y();
    }
}

TEST_F(IndexPageTest, MovingOverAMapReadsOutThePlace) {
    MoveTo(TIndexMap::UnitedStates, QPoint(0, 0));
    EXPECT_EQ(Text("USIndexLongDis"), "-125.000 ");
    EXPECT_EQ(Text("USIndexLatDis"), "49.600 ");
    EXPECT_EQ(Text("USUTMZoneDis"), "10");
    EXPECT_FALSE(Text("USUTMEastDis").contains(QLatin1Char('.')));
    MoveTo(TIndexMap::Hawaii, QPoint(190, 100));
    EXPECT_EQ(Text("USUTMZoneDis"), "4");
    EXPECT_EQ(Text("USUTMNorthDis").section(QLatin1Char('.'), 1).size(), 3);
}

TEST_F(IndexPageTest, APressCentresTheNextMapThereAt512MetresPerPixel) {
    navigator->ChangeScale(3); // 64 m per pixel
    QSignalSpy loads(session.get(), &TMapSession::loadStarting);
    const QPoint p(200, 120);
    QTest::mousePress(Map(TIndexMap::UnitedStates), Qt::LeftButton, {}, p);
    EXPECT_EQ(session->View().Scale, 512.0);
    EXPECT_EQ(loads.count(), 1) << "only the scale change loads";

    const TGeoPosition g = IndexPixelToGeographic(TIndexMap::UnitedStates, p.x(), p.y());
    const TUtmPosition u = GeographicToUtm(NorthAmerican1983, g.Latitude, g.Longitude);
    EXPECT_EQ(session->View().Zone, u.Zone);
    EXPECT_DOUBLE_EQ(session->View().Easting, u.Easting - 1.5 * 200 * 512);
    EXPECT_DOUBLE_EQ(session->View().Northing, u.Northing - 1.5 * 200 * 512);
    // The marker stands where the press was, not where the scale change's load was.
    EXPECT_EQ(Map(TIndexMap::UnitedStates)->Marker().Point(), p);

    // Already at 512 m per pixel a press, with any button, starts no load.
    QTest::mousePress(Map(TIndexMap::Alaska), Qt::RightButton, {}, QPoint(50, 60));
    EXPECT_EQ(loads.count(), 1);

    // The main window may route the scale through its own selector.
    int asked = -1;
    page->SelectScale = [&](int item) { asked = item; };
    QTest::mousePress(Map(TIndexMap::Alaska), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(asked, 0);
}

TEST_F(IndexPageTest, PressingHawaiiHidesTheOtherMarkers) {
    QTest::mousePress(Map(TIndexMap::UnitedStates), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mousePress(Map(TIndexMap::Alaska), Qt::LeftButton, {}, QPoint(100, 100));
    ASSERT_TRUE(Shown(TIndexMap::Alaska));
    ASSERT_FALSE(Shown(TIndexMap::UnitedStates));
    QTest::mousePress(Map(TIndexMap::Hawaii), Qt::LeftButton, {}, QPoint(300, 200));
    EXPECT_FALSE(Shown(TIndexMap::UnitedStates) || Shown(TIndexMap::Alaska));
    EXPECT_TRUE(Shown(TIndexMap::Hawaii));
    EXPECT_EQ(Map(TIndexMap::UnitedStates)->Picture(), Original(TIndexMap::UnitedStates));
    EXPECT_EQ(Map(TIndexMap::Alaska)->Picture(), Original(TIndexMap::Alaska));
    EXPECT_EQ(Map(TIndexMap::Hawaii)->Picture().pixel(300, 195), qRgb(255, 255, 255));
}

TEST_F(IndexPageTest, EveryLoadStartMarksTheMosaicCentreOnTheMapThatHoldsIt) {
    // Centred on -130.0, 55.0: west of the United States map, on Alaska's east edge.
    session->View().CentreOn(55.0, -130.0);
    const TGeoPosition centre = session->View().MosaicCentre();
    ASSERT_TRUE(centre.Longitude <= -130.0 && centre.Longitude > -130.0 - 1e-7);
    session->LoadCurrentView(true);
    EXPECT_TRUE(Shown(TIndexMap::Alaska));
    EXPECT_EQ(Map(TIndexMap::Alaska)->Marker().Point(),
              *IndexGeographicToPixel(TIndexMap::Alaska, centre.Longitude, centre.Latitude));
    EXPECT_FALSE(Shown(TIndexMap::UnitedStates) || Shown(TIndexMap::Hawaii));

    session->View().CentreOn(21.31, -157.86); // Honolulu
    session->LoadCurrentView(false);
    EXPECT_TRUE(Shown(TIndexMap::Hawaii));
    EXPECT_FALSE(Shown(TIndexMap::Alaska));

    // A centre outside all three maps leaves the markers as they were.
    const QImage before = Map(TIndexMap::Hawaii)->Picture();
    session->View().CentreOn(51.5, -0.1);
    session->LoadCurrentView(false);
    EXPECT_EQ(Map(TIndexMap::Hawaii)->Picture(), before);
}

TEST_F(IndexPageTest, ADoubleClickCentresThereAndAsksForTheLoad) {
    QSignalSpy asked(page.get(), &TIndexPage::loadRequested);
    const QPoint p(120, 90);
    QTest::mouseDClick(Map(TIndexMap::Alaska), Qt::LeftButton, {}, p);
    EXPECT_EQ(asked.count(), 1);
    const TGeoPosition g = IndexPixelToGeographic(TIndexMap::Alaska, p.x(), p.y());
    EXPECT_NEAR(session->View().MosaicCentre().Longitude, g.Longitude, 1e-6);
    QTest::mouseDClick(Map(TIndexMap::Alaska), Qt::RightButton, {}, p);
    EXPECT_EQ(asked.count(), 1) << "only the left button double-clicks";
}

} // namespace
} // namespace varrow
