// What the main window writes beside a saved map, and the files it exports.

#include "MainWindowFixture.h"

#include "io/GeoReference.h"
#include "support/ModalMessages.h"
#include "workspace/MapGeoReference.h"

namespace varrow {
namespace {

using test::MainWindowTest;

TEST_F(MainWindowTest, WorldFilesAreWrittenWhenAskedAndTheSettingIsKept) {
    LoadAndWait();
    QTemporaryDir dir;
    auto* world = Find<QAction>("WriteWorldFiles1");
    EXPECT_FALSE(world->isChecked());
    ASSERT_TRUE(form->SaveMapImage(dir.filePath("bare.png")));
    EXPECT_FALSE(QFile::exists(dir.filePath("bare.pgw")));

    world->trigger();
    ASSERT_TRUE(form->SaveMapImage(dir.filePath("placed.png")));
    QFile pgw(dir.filePath("placed.pgw"));
    ASSERT_TRUE(pgw.open(QIODevice::ReadOnly));
    EXPECT_EQ(pgw.readAll(), "512\r\n0\r\n0\r\n-512\r\n307456\r\n3890944\r\n");
    EXPECT_TRUE(QFile::exists(dir.filePath("placed.prj")));
    EXPECT_EQ(ReadWriteWorldFiles(), true) << "kept in Varrow.ini";

    // Past the zone's tiles the world file cannot describe the whole map: said once.
    Find<QDoubleSpinBox>("EastSpin")->setValue(700000.0);
    LoadAndWait();
    const QString told =
        test::MessageDuring([&] { EXPECT_TRUE(form->SaveMapImage(dir.filePath("edge.png"))); });
    EXPECT_EQ(told, "The east part of this map is in zone 14: the world file describes zone 13 "
                    "only.");
    world->trigger();
    EXPECT_EQ(ReadWriteWorldFiles(), false);
}

} // namespace
} // namespace varrow
