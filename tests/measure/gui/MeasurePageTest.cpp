#include "measure/gui/MeasurePage.h"

#include "measure/MapCanvas.h"
#include "measure/Measure.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace varrow {
namespace {

template <typename T> T* Child(const QWidget& page, const char* name) {
    T* child = page.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

TEST(MeasurePage, NamesCaptionsAndInitialChoices) {
    const TMeasurePage page;
    EXPECT_EQ(page.objectName(), "TabSheet8");
    for (const auto& [name, caption] :
         {std::pair{"LengthDis", "Length"}, std::pair{"AreaDis", "Area"},
          std::pair{"AzmEdit", "Azimuth"}}) {
        auto* edit = Child<QLineEdit>(page, name);
        EXPECT_TRUE(edit->isReadOnly());
        EXPECT_TRUE(edit->text().isEmpty());
        bool labelled = false;
        for (const QLabel* label : page.findChildren<QLabel*>())
            labelled |= label->buddy() == edit && label->text() == caption;
        EXPECT_TRUE(labelled) << name;
    }
    EXPECT_EQ(Child<QPushButton>(page, "ResetMeasureBtn")->text(), "Reset Measurements");

    const auto expectGroup = [&](const char* name, const char* title, const QStringList& items,
                                 int initial) {
        auto* box = Child<QGroupBox>(page, name);
        EXPECT_EQ(box->title(), title);
        auto* grid = qobject_cast<QGridLayout*>(box->layout());
        ASSERT_NE(grid, nullptr);
        EXPECT_EQ(grid->columnCount(), 2);
        for (int i = 0; i < items.size(); ++i) {
            const QString item = QStringLiteral("%1Item%2").arg(name).arg(i);
            auto* radio = Child<QRadioButton>(page, item.toLatin1().constData());
            EXPECT_EQ(radio->text(), items[i]);
            EXPECT_EQ(radio->isChecked(), i == initial) << i;
        }
    };
    expectGroup("LengthRadio", "Length Units",
                {"Pixles", "Meters", "kMeters", "Feet", "Yards", "Miles"}, 5);
    expectGroup("AreaRadio", "Area Units",
                {"Pixels", "Meters", "Hectres", "kMeters", "Feet", "Yards", "Acres", "Miles"}, 7);
    EXPECT_EQ(page.LengthChoice(), 5);
    EXPECT_EQ(page.AreaChoice(), 7);
}

TEST(MeasurePage, UnitClicksRewriteTheReadoutsAndResetClears) {
    TMapCanvas canvas;
    canvas.Reset(300, 300);
    canvas.SaveBackground();
    TMeasurement measurement;
    measurement.SetScale(2.0);
    TMeasurePage page;
    page.Attach(measurement, canvas);
    QSignalSpy clicks(&page, &TMeasurePage::LengthRadioClick);
    const TShiftState left{true, false, false, false};
    for (const QPoint p : {QPoint(50, 50), QPoint(150, 50), QPoint(150, 150), QPoint(50, 150)})
        page.ShowReadouts(measurement.MeasureMouseDown(left, p, canvas));
    EXPECT_EQ(page.LengthDis->text(), "0.37Mi");

    QTest::mouseClick(page.findChild<QRadioButton*>("LengthRadioItem1"), Qt::LeftButton);
    QTest::mouseClick(page.findChild<QRadioButton*>("AreaRadioItem2"), Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_EQ(page.LengthDis->text(), "600.0M");
    EXPECT_EQ(page.AreaDis->text(), "4.0Hectare");
    EXPECT_EQ(page.AzmEdit->text(), QString::fromUtf8("270.0°"));

    QTest::mouseClick(page.ResetMeasureBtn, Qt::LeftButton);
    EXPECT_EQ(page.LengthDis->text(), "0.0M");
    EXPECT_EQ(page.AreaDis->text(), "0.0Hectare");
    EXPECT_TRUE(measurement.Tool().Points.empty());
    EXPECT_EQ(canvas.Picture(), canvas.Background());
}

} // namespace
} // namespace varrow
