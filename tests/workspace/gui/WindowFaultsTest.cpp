// What the main window tells and shows when something goes wrong or a map
// is large: lost tiles, zones that do not exist, stale readouts, where a big
// map opens, magnifying a small one, help over a dialog that stays on top.

#include "MainWindowFixture.h"

#include "support/ModalMessages.h"

namespace varrow {
namespace {

using test::MainWindowTest;

TEST_F(MainWindowTest, LostTilesAreToldInTheStatusBar) {
    Open(QStringLiteral("http://127.0.0.1:1")); // nothing listens there
    Find<QSpinBox>("TileCountXSpin")->setValue(1);
    Find<QSpinBox>("TileCountYSpin")->setValue(1);
    LoadAndWait();
    const QString told = Text("LoadStatusDis");
    EXPECT_TRUE(told.startsWith("9 of 9 tiles lost from http://127.0.0.1:1: ")) << told.toStdString();
    EXPECT_GT(told.size(), QString("9 of 9 tiles lost from http://127.0.0.1:1: ").size())
        << "with the reason";
    EXPECT_EQ(Text("RetryDis"), "36/9");

    Open(server->baseUrl());
    LoadAndWait();
    EXPECT_TRUE(Text("LoadStatusDis").isEmpty());
}

TEST_F(MainWindowTest, AZoneThatDoesNotExistIsRefusedWithTheValidOnes) {
    Find<QSpinBox>("ZoneSpin")->setValue(0);
    const QString told = test::MessageDuring([this] { Click("LoadBtn"); });
    EXPECT_TRUE(told.contains("1 to 60")) << told.toStdString();
    EXPECT_FALSE(form->Session().HasMap());
    EXPECT_FALSE(form->Session().IsBusy());
    EXPECT_FALSE(Find<TElapsedTimeDisplay>("SubTimer1")->Running());
}

TEST_F(MainWindowTest, ReadoutsClearWhenANewMapStarts) {
    LoadAndWait();
    QTest::mouseMove(Image(), QPoint(100, 500));
    EXPECT_FALSE(Text("ImageEastDis").isEmpty());
    Click("PanUpBtn"); // the mouse has not moved, the map under it has
    for (const char* name : {"ImageEastDis", "ImageNorthDis", "ImageZoneDis", "ImageLongDis",
                             "ImageLatDis", "ImageLong2Dis", "ImageLat2Dis"})
        EXPECT_TRUE(Text(name).isEmpty()) << name;
    ASSERT_TRUE(WaitLoaded());
}

TEST_F(MainWindowTest, ALargeMapOpensAtItsSouthWestCornerWhereItsTilesArriveFirst) {
    Find<QSpinBox>("TileCountXSpin")->setValue(20);
    Find<QSpinBox>("TileCountYSpin")->setValue(20);
    ASSERT_TRUE(WaitLoaded());
    auto* scroll = Find<QScrollArea>("ScrollWindow1");
    EXPECT_EQ(scroll->horizontalScrollBar()->value(), 0);
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(scroll->verticalScrollBar()->value(), scroll->verticalScrollBar()->maximum());
}

TEST_F(MainWindowTest, MagnifyingAMapNarrowerThanTheWindowKeepsThePointAtItsMiddle) {
    LoadAndWait();
    auto* scroll = Find<QScrollArea>("ScrollWindow1");
    const QSize client = scroll->viewport()->size();
    ASSERT_GT(client.width(), 600) << "the 3 × 3 map is narrower than the window";
    // The map point under the middle of the window, before and after.
    auto middle = [&] {
        const QPoint control(scroll->horizontalScrollBar()->value() + client.width() / 2,
                             scroll->verticalScrollBar()->value() + client.height() / 2);
        return Image()->ControlToPictureF(control);
    };
    const QPointF before = middle();
    Find<QSlider>("MagBar")->setValue(53); // 2.17
    ASSERT_GT(Image()->width(), client.width());
    const QPointF after = middle();
    EXPECT_LT(std::abs(after.x() - std::min(before.x(), 600.0)), 1.0);
}

TEST_F(MainWindowTest, HelpOpenedFromTheTilePositionWindowStaysAboveIt) {
    Find<QAction>("SaveLocations1")->trigger();
    auto* tilePos = Find<TTilePosDlg>("TilePosDlg");
    QTest::mouseClick(tilePos->findChild<QPushButton*>(QStringLiteral("HelpBtn")), Qt::LeftButton);
    THelpWindow* help = form->HelpWindow();
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // Its title is the page's own; the system adds the program's name.
    EXPECT_EQ(help->windowTitle(), "Tile position");
    Find<QAction>("Contents1")->trigger();
    EXPECT_FALSE(help->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(help->windowTitle(), "Varrow Help");
}

} // namespace
} // namespace varrow
