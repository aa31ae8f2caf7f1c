#include "measure/Measure.h"
#include "measure/MapCanvas.h"

#include <gtest/gtest.h>

namespace varrow {
namespace {

const TShiftState Left{true, false, false, false};

struct DefaultLocale {
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

struct Measuring : ::testing::Test {
    DefaultLocale english{QLocale(QLocale::English, QLocale::UnitedStates)};
    TMapCanvas canvas;
    TMeasurement m;
    Measuring() {
        canvas.Reset(1200, 200);
        canvas.SaveBackground();
    }
    void Segment(QPoint from, QPoint to, double scale) {
        m.SetScale(scale);
        m.MeasureMouseDown(Left, from, canvas);
        m.MeasureMouseDown(Left, to, canvas);
    }
};

TEST_F(Measuring, ReadoutsAreEmptyUntilTheFirstEventAndZeroAfterReset) {
    EXPECT_TRUE(m.Readouts().Length.isEmpty());
    EXPECT_TRUE(m.Readouts().Area.isEmpty());
    EXPECT_TRUE(m.Readouts().Azimuth.isEmpty());
    Segment({10, 10}, {100, 60}, 2.0);
    const TMeasureReadouts& r = m.ResetMeasurements(canvas);
    EXPECT_EQ(r.Length, "0.00Mi");
    EXPECT_EQ(r.Area, "0.00Mi^2");
    EXPECT_EQ(r.Azimuth, QString::fromUtf8("0.0°"));
    EXPECT_TRUE(m.Tool().Points.empty());
    EXPECT_EQ(canvas.Picture(), canvas.Background());
}

TEST_F(Measuring, ASegmentOfAThousandPixelsAtTwoMetresInEveryUnit) {
    Segment({100, 100}, {1100, 100}, 2.0);
    const char* expected[] = {"1000.0Px", "2000.0M", "2.00kM", "6561.7Ft", "2187.23Yd", "1.24Mi"};
    for (int i = 0; i < LengthUnitCount; ++i) {
        m.SetLengthChoice(i);
        EXPECT_EQ(m.UpdateMeasureReadouts().Length, expected[i]);
    }
    EXPECT_EQ(m.Readouts().Azimuth, QString::fromUtf8("90.0°"));
    m.SetLengthChoice(LengthUnitCount); // ignored
    EXPECT_EQ(m.LengthChoice(), LengthUnitCount - 1);
}

TEST_F(Measuring, QuarterMetresRoundUp) {
    // Figures too small to click: their vertices share hit boxes.
    m.SetScale(0.5);
    for (const QPoint p : {QPoint(0, 0), QPoint(0, 1), QPoint(2, 0)})
        m.Tool().AddPoint(p.x(), p.y());
    m.SetLengthChoice(1);
    m.SetAreaChoice(1);
    EXPECT_EQ(m.UpdateMeasureReadouts().Area, "0.3M^2");
    m.SetScale(0.25);
    m.Tool().DeleteLastPoint();
    EXPECT_EQ(m.UpdateMeasureReadouts().Length, "0.3M");
}

TEST_F(Measuring, OnlyALeftButtonDragEdits) {
    Segment({10, 10}, {100, 10}, 1.0);
    const TMeasureReadouts before = m.Readouts();
    const QImage picture = canvas.Picture();
    m.MeasureMouseMove({false, false, false, true}, {50, 150}, canvas);
    EXPECT_EQ(m.Tool().Points.back(), QPoint(100, 10));
    EXPECT_EQ(m.Readouts().Length, before.Length);
    EXPECT_EQ(canvas.Picture(), picture);
    m.MeasureMouseMove(Left, {10, 110}, canvas);
    EXPECT_EQ(m.Readouts().Azimuth, QString::fromUtf8("180.0°"));
}

TEST_F(Measuring, ReadoutsUseTheUsersDecimalComma) {
    const DefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
    m.SetLengthChoice(3);
    Segment({100, 100}, {1100, 100}, 2.0);
    EXPECT_EQ(m.Readouts().Length, "6561,7Ft");
    EXPECT_EQ(m.Readouts().Azimuth, QString::fromUtf8("90,0°"));
}

} // namespace
} // namespace varrow
