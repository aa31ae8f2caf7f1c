#include "measure/MeasureTool.h"
#include "measure/MapCanvas.h"
#include "measure/PointMath.h"

#include <gtest/gtest.h>

namespace varrow {
namespace {

const QRgb Ground = qRgb(0, 128, 0);
const QRgb Red = qRgb(255, 0, 0), Black = qRgb(0, 0, 0), White = qRgb(255, 255, 255);
const QRgb Aqua = qRgb(0, 255, 255);
const TShiftState Left{true, false, false, false};
const TShiftState RightOnly{false, true, false, false};

// A map of plain ground with its background copy taken.
struct Map {
    TMapCanvas canvas;
    std::vector<QRect> changed;
    explicit Map(int side = 200) {
        canvas.Reset(side, side);
        canvas.Picture().fill(Ground);
        canvas.SaveBackground();
        canvas.OnChanged = [this](const QRect& r) { changed.push_back(r); };
    }
    QRgb At(int x, int y) const { return canvas.Picture().pixel(x, y); }
};

TMeasureTool Figure(std::initializer_list<QPoint> points, double scale = 1.0) {
    TMeasureTool tool;
    for (const QPoint& p : points)
        tool.AddPoint(p.x(), p.y());
    tool.XScale = tool.YScale = scale;
    return tool;
}

TEST(MeasureTool, HitBoxIncludesItsLeftAndTopEdgesAndTheLowestIndexWins) {
    const TMeasureTool tool = Figure({{50, 50}, {53, 50}});
    EXPECT_EQ(tool.HitTest(46, 46), 0);
    EXPECT_EQ(tool.HitTest(52, 53), 0); // in both boxes
    EXPECT_EQ(tool.HitTest(54, 50), 1); // vx + 4 of vertex 0 misses it
    EXPECT_EQ(tool.HitTest(57, 50), -1);
    EXPECT_EQ(tool.HitTest(50, 54), -1);
    EXPECT_EQ(tool.HitTest(45, 50), -1);
    EXPECT_EQ(tool.BoundsRect(), QRect(46, 46, 11, 8));
    EXPECT_TRUE(TMeasureTool().BoundsRect().isEmpty());
}

TEST(MeasureTool, PressesSelectAddOrDeleteByButton) {
    Map map;
    TMeasureTool tool;
    tool.MouseDown(50, 50, map.canvas, Left);
    tool.MouseDown(100, 50, map.canvas, Left);
    tool.MouseDown(52, 47, map.canvas, Left); // on vertex 0: selects, adds nothing
    EXPECT_EQ(tool.Points.size(), 2u);
    EXPECT_EQ(tool.Selected, 0);
    tool.MouseDown(150, 50, map.canvas, {false, false, true, false}); // middle: nothing
    EXPECT_EQ(tool.Points.size(), 2u);
    tool.MouseDown(150, 50, map.canvas, {true, true, false, false}); // right with left held
    EXPECT_EQ(tool.Points.size(), 3u);
    EXPECT_EQ(tool.Selected, 2);
    tool.MouseDown(0, 0, map.canvas, Left); // selects nothing, adds
    tool.MouseDown(50, 50, map.canvas, Left);
    tool.MouseDown(50, 50, map.canvas, RightOnly); // deletes the last, not the selected
    EXPECT_EQ(tool.Points, (TPath{{50, 50}, {100, 50}, {150, 50}}));
    EXPECT_EQ(tool.Selected, 0);

    // The deleted vertex is gone from the map, and a drag of a selection that
    // no longer exists does nothing.
    tool.Selected = 3;
    tool.MouseDown(0, 0, map.canvas, RightOnly);
    tool.MouseMove(20, 20, map.canvas, Left);
    EXPECT_EQ(tool.Points.size(), 2u);
    EXPECT_EQ(map.At(0, 0), Ground);
    EXPECT_EQ(map.At(150, 50), Ground);
    tool.Clear();
    tool.MouseDown(5, 5, map.canvas, RightOnly);
    EXPECT_TRUE(tool.Points.empty());
}

TEST(MeasureTool, DragMovesTheSelectedVertexAndCtrlDragTheWholeFigure) {
    Map map;
    TMeasureTool tool = Figure({{20, 20}, {80, 30}, {60, 90}}, 2.0);
    tool.Selected = 1;
    tool.MouseMove(85, 25, map.canvas, Left);
    EXPECT_EQ(tool.Points, (TPath{{20, 20}, {85, 25}, {60, 90}}));
    const double length = tool.Length(false), area = tool.Area(false);
    const double azimuth = tool.LastAzimuth();
    tool.MouseMove(120, 140, map.canvas, {true, false, false, true});
    EXPECT_EQ(tool.Points, (TPath{{55, 135}, {120, 140}, {95, 205}}));
    EXPECT_DOUBLE_EQ(tool.Length(false), length);
    EXPECT_DOUBLE_EQ(tool.Area(false), area);
    EXPECT_DOUBLE_EQ(tool.LastAzimuth(), azimuth);
}

TEST(MeasureTool, LengthOfTheOpenPolylineAndAreaOfTheClosedPolygon) {
    const TMeasureTool square = Figure({{10, 10}, {110, 10}, {110, 110}, {10, 110}}, 2.0);
    EXPECT_DOUBLE_EQ(square.Length(false), 600.0);
    EXPECT_DOUBLE_EQ(square.Area(false), 40000.0);
    EXPECT_DOUBLE_EQ(square.Length(true), 300.0);
    EXPECT_DOUBLE_EQ(square.Area(true), 10000.0);
    EXPECT_DOUBLE_EQ(Figure({{0, 0}, {30, 40}}, 2.0).Length(false), 100.0);
    EXPECT_EQ(Figure({{0, 0}, {30, 40}}).Area(false), 0.0);
    EXPECT_EQ(Figure({{7, 7}}).Length(false), 0.0);
    // A bow tie: its two lobes run opposite ways and cancel.
    EXPECT_EQ(Figure({{0, 0}, {100, 100}, {100, 0}, {0, 100}}).Area(true), 0.0);
}

TEST(MeasureTool, AzimuthIsClockwiseFromTheTopOfTheMosaic) {
    const auto last = [](QPoint to) { return Figure({{50, 50}, to}, 7.0).LastAzimuth(); };
    EXPECT_DOUBLE_EQ(last({50, 10}), 0.0);
    EXPECT_DOUBLE_EQ(last({90, 50}), 90.0);
    EXPECT_DOUBLE_EQ(last({50, 90}), 180.0);
    EXPECT_DOUBLE_EQ(last({10, 50}), 270.0);
    EXPECT_DOUBLE_EQ(last({90, 10}), 45.0);
    EXPECT_DOUBLE_EQ(last({50, 50}), 180.0); // coincident
    EXPECT_EQ(Figure({{1, 1}}).LastAzimuth(), 0.0);
    EXPECT_EQ(Figure({{1, 1}, {5, 5}}).Azimuth(0, 2), 0.0);
}

TEST(MeasureTool, BandIsRedLeftOfSteepAndAboveOtherSegmentsBlackOnThem) {
    Map map;
    Figure({{20, 10}, {20, 60}}).Draw(map.canvas.Picture());
    Figure({{40, 100}, {140, 100}}).Draw(map.canvas.Picture());
    Figure({{40, 120}, {90, 170}}).Draw(map.canvas.Picture()); // 45°: not steep
    Figure({{160, 20}, {161, 70}}).Draw(map.canvas.Picture()); // steep, not vertical
    for (int i = 10; i < 40; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(map.At(19, i + 5), Red);
        EXPECT_EQ(map.At(20, i + 5), Black);
        EXPECT_EQ(map.At(21, i + 5), Ground); // the third stroke is clear
        EXPECT_EQ(map.At(40 + 2 * i, 99), Red);
        EXPECT_EQ(map.At(40 + 2 * i, 100), Black);
        EXPECT_EQ(map.At(40 + 2 * i, 101), Ground);
        EXPECT_EQ(map.At(40 + i, 119 + i), Red);
        EXPECT_EQ(map.At(40 + i, 120 + i), Black);
        EXPECT_EQ(map.At(40 + i, 121 + i), Ground);
        const int y = i + 15, x = y < 45 ? 160 : 161; // the step is half way down
        EXPECT_EQ(map.At(x - 1, y), Red);
        EXPECT_EQ(map.At(x, y), Black);
        EXPECT_EQ(map.At(x + 1, y), Ground);
    }
}

TEST(MeasureTool, MarksFillTheirBoxExcludingRightAndBottomAndLieOverTheIncomingSegment) {
    Map map;
    TMeasureTool tool = Figure({{30, 30}, {90, 30}});
    tool.Selected = 1;
    tool.Draw(map.canvas.Picture());
    EXPECT_EQ(map.At(30, 32), Red);
    EXPECT_EQ(map.At(90, 30), Aqua);
    // The outline's outermost pixels lie on the box's left, top, right - 1
    // and bottom - 1; the box's corners and everything beyond stay.
    for (const QPoint p :
         {QPoint(26, 31), QPoint(29, 26), QPoint(33, 31), QPoint(30, 33), QPoint(32, 32)})
        EXPECT_EQ(map.At(p.x(), p.y()), White) << p.x() << "," << p.y();
    for (const QPoint p :
         {QPoint(25, 31), QPoint(34, 31), QPoint(30, 34), QPoint(26, 26), QPoint(33, 33)})
        EXPECT_EQ(map.At(p.x(), p.y()), Ground) << p.x() << "," << p.y();
    EXPECT_EQ(map.At(32, 30), Black); // the outgoing segment over mark 0
    EXPECT_EQ(map.At(88, 30), Aqua);  // mark 1 over its incoming segment
    // Nothing is drawn outside the bounds.
    map.canvas.RestoreRect(tool.BoundsRect());
    EXPECT_EQ(map.canvas.Picture(), map.canvas.Background());
}

TEST(MeasureTool, EditsRestoreAndReportOnlyTheFiguresOldAndNewExtent) {
    Map map(600);
    TMeasureTool tool;
    tool.MouseDown(100, 100, map.canvas, Left);
    tool.MouseDown(200, 150, map.canvas, Left);
    const QRect before = tool.BoundsRect();
    map.changed.clear();
    tool.MouseMove(300, 120, map.canvas, Left);
    const QRect expected = before.united(tool.BoundsRect());
    QRect reported;
    for (const QRect& r : map.changed) {
        EXPECT_TRUE(expected.contains(r));
        reported |= r;
    }
    EXPECT_EQ(reported, expected);
    EXPECT_EQ(map.At(200, 150), Ground); // the old mark is wiped
    EXPECT_EQ(map.At(300, 120), Aqua);

    map.changed.clear();
    tool.Erase(map.canvas);
    EXPECT_EQ(map.canvas.Picture(), map.canvas.Background());
    tool.Draw(map.canvas);
    EXPECT_EQ(map.changed.back(), tool.BoundsRect());
}

TEST(MeasureTool, FigureFarOffTheMapOrWithoutAMapDrawsOnlyWhatLies) {
    Map map(100);
    Figure({{-2000000000, 50}, {2000000000, 50}}).Draw(map.canvas.Picture());
    EXPECT_EQ(map.At(0, 50), Black);
    EXPECT_EQ(map.At(99, 49), Red);
    TMapCanvas empty;
    TMeasureTool tool;
    tool.MouseDown(5, 5, empty, Left);
    EXPECT_EQ(tool.Points.size(), 1u);
}

TEST(PointMath, ScaledAndDividedPointsTruncateTowardZero) {
    EXPECT_EQ(PointScaled({-7, 7}, 0.5), QPoint(-3, 3));
    EXPECT_EQ(PointDivided({7, -7}, 2.0), QPoint(3, -3));
    EXPECT_EQ(PointScaled({1 << 30, 0}, 1e9), QPoint(std::numeric_limits<int>::max(), 0));
    EXPECT_EQ(FloatDivide(ToFloatPoint({3, 8}), MakeFloatPoint(2, 4)), QPointF(1.5, 2));
}

} // namespace
} // namespace varrow
