#include "controls/gui/AutoRepeat.h"
#include "controls/gui/ElapsedTimeDisplay.h"
#include "controls/gui/FloatSpinEdit.h"
#include "controls/gui/PageControl.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace varrow {
namespace {

// Two pages, shown, with a record of every page that was ever current.
struct PageFixture {
    TPageControl control;
    QLabel* first = new QLabel(QStringLiteral("first"));
    QLabel* second = new QLabel(QStringLiteral("second"));
    std::vector<int> asked;
    bool allow = false;
    std::vector<int> seen;

    PageFixture() {
        control.addTab(first, QStringLiteral("Loader"));
        control.addTab(second, QStringLiteral("Measure"));
        control.OnChanging = [this](int index) {
            asked.push_back(index);
            return allow;
        };
        QObject::connect(&control, &QTabWidget::currentChanged,
                         [this](int index) { seen.push_back(index); });
        control.resize(300, 200);
        control.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&control));
    }
    void ClickTab(int index) {
        QTest::mouseClick(control.tabBar(), Qt::LeftButton, {},
                          control.tabBar()->tabRect(index).center());
    }
};

TEST(PageControl, ARefusedChangeNeverShows) {
    PageFixture f;
    QSignalSpy user(&f.control, &TPageControl::userChanged);
    f.ClickTab(1);
    QTest::keyClick(&f.control, Qt::Key_Tab, Qt::ControlModifier);
    f.control.tabBar()->setFocus();
    QTest::keyClick(f.control.tabBar(), Qt::Key_Right);
    EXPECT_EQ(f.control.currentIndex(), 0);
    EXPECT_TRUE(f.seen.empty()) << "the refused page became current for a moment";
    EXPECT_EQ(f.control.currentWidget(), f.first);
    EXPECT_EQ(f.asked, (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(user.count(), 0);
}

TEST(PageControl, AnAllowedChangeIsReportedAsTheUsers) {
    PageFixture f;
    f.allow = true;
    QSignalSpy user(&f.control, &TPageControl::userChanged);
    f.ClickTab(1);
    EXPECT_EQ(f.control.currentIndex(), 1);
    ASSERT_EQ(user.count(), 1);
    EXPECT_EQ(user.at(0).at(0).toInt(), 1);
    // A click on the page already shown is not a change and asks nothing.
    f.ClickTab(1);
    EXPECT_EQ(f.asked, (std::vector<int>{1}));
    EXPECT_EQ(user.count(), 1);
}

TEST(PageControl, TheProgramsOwnChangesAreNeitherAskedNorReported) {
    PageFixture f;
    QSignalSpy user(&f.control, &TPageControl::userChanged);
    f.control.setCurrentIndex(1);
    EXPECT_EQ(f.control.currentIndex(), 1);
    EXPECT_TRUE(f.asked.empty());
    EXPECT_EQ(user.count(), 0);
}

TEST(ElapsedTimeDisplay, RunsInWholeSecondsAndStopsWithMilliseconds) {
    EXPECT_EQ(TElapsedTimeDisplay::RunningText(3.99), "3 Sec.");
    EXPECT_EQ(TElapsedTimeDisplay::FinalText(12.3454), "12.345 Sec.");
    TElapsedTimeDisplay display;
    display.Start();
    EXPECT_TRUE(display.Running());
    EXPECT_EQ(display.text(), "0 Sec.");
    display.Stop(0.25);
    EXPECT_FALSE(display.Running());
    EXPECT_EQ(display.text(), "0.250 Sec.");
}

TEST(FloatSpinEdit, ShowsWholeMetresButKeepsTheFraction) {
    TFloatSpinEdit spin;
    spin.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    spin.setRange(-1e9, 1e9);
    spin.setValue(64194.37);
    EXPECT_DOUBLE_EQ(spin.value(), 64194.37);
    EXPECT_EQ(spin.text(), "64,194");
    // Typed text with separators reads back as the number.
    spin.selectAll();
    QTest::keyClicks(&spin, QStringLiteral("3,584,000"));
    EXPECT_DOUBLE_EQ(spin.value(), 3584000.0);
}

TEST(AutoRepeat, RepeatsAfterFourHundredThenEveryHundredMilliseconds) {
    QToolButton button;
    MakeAutoRepeat(&button);
    EXPECT_TRUE(button.autoRepeat());
    EXPECT_EQ(button.autoRepeatDelay(), 400);
    EXPECT_EQ(button.autoRepeatInterval(), 100);
}

} // namespace
} // namespace varrow
