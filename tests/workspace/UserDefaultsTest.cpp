#include "workspace/UserDefaults.h"

#include "support/ErrorOf.h"
#include "support/WriteFailures.h"
#include "tiles/TileLibrary.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace varrow;
using varrow::test::ErrorOf;

namespace {

class UserDefaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        qputenv("VARROW_HOME", home.path().toUtf8());
        savedService = qgetenv("VARROW_TILE_SERVICE");
        qunsetenv("VARROW_TILE_SERVICE");
    }
    void TearDown() override {
        qunsetenv("VARROW_HOME");
        if (!savedService.isEmpty()) qputenv("VARROW_TILE_SERVICE", savedService);
    }

    static void PutIni(const QByteArray& data) {
        QFile f(UserDefaultsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    static QByteArray GetIni() {
        QFile f(UserDefaultsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir home;
    QByteArray savedService;
};

TEST_F(UserDefaults, SavedSpeedComesBackAtTheNextStart) {
    EXPECT_EQ(ReadConnectionSpeed(), 0);
    EXPECT_EQ(ConnectionSpeedSelection(ReadConnectionSpeed()), 0); // "Broadband"
    WriteConnectionSpeed(1);
    EXPECT_EQ(GetIni(), QByteArray("[Settings]\nConnectionSpeed=1\n"));
    EXPECT_EQ(ReadConnectionSpeed(), 1);
    WriteConnectionSpeed(-1);
    EXPECT_EQ(ReadConnectionSpeed(), -1);
    EXPECT_EQ(GetIni(), QByteArray("[Settings]\nConnectionSpeed=-1\n"));
}

TEST_F(UserDefaults, ReadingRules) {
    const struct {
        const char* value;
        int read;
        int selected;
    } cases[] = {
        {"1", 1, 1},
        {"7", 7, 1},
        {"abc", 0, 0},
        {"", 0, 0},
        {" 1 ", 1, 1},
        {"12abc", 0, 0},
        {"-1", -1, -1},
        {"-5", -5, -1},
        {"0x1", 1, 1},
        {"0X1f", 31, 1},
        {"0x", 0, 0},
        {"0xZZ", 0, 0},
        {"0xFFFFFFFF", -1, -1},
        {"0x100000000", 0, 0},
        {"99999999999", 0, 0},
        {"\"1\"", 1, 1},
    };
    for (const auto& c : cases) {
        PutIni(QByteArray("[Settings]\nConnectionSpeed=") + c.value + "\n");
        EXPECT_EQ(ReadConnectionSpeed(), c.read) << c.value;
        EXPECT_EQ(ConnectionSpeedSelection(ReadConnectionSpeed()), c.selected) << c.value;
    }

    // Names compare without case; a key of another section or a second
    // section of the same name is not looked at.
    PutIni("ConnectionSpeed=5\n[Other]\nConnectionSpeed=6\n[ settings ]\nconnectionspeed = 1\n"
           "[Settings]\nConnectionSpeed=0\n");
    EXPECT_EQ(ReadConnectionSpeed(), 1);
    PutIni("[Other]\nConnectionSpeed=1\n");
    EXPECT_EQ(ReadConnectionSpeed(), 0);
}

TEST_F(UserDefaults, WritingChangesOneLineAndKeepsTheRest) {
    const QByteArray before = "; my notes\r\n[Window]\r\nLeft=10\r\n\r\n[Settings]\r\n"
                              "ConnectionSpeed = 1\r\nColour=blue\r\n\r\n[Last]\r\nX=\xff\xfe\r\n";
    PutIni(before);
    WriteConnectionSpeed(0);
    QByteArray expected = before;
    expected.replace("ConnectionSpeed = 1", "ConnectionSpeed=0");
    EXPECT_EQ(GetIni(), expected);

    WriteTileServiceSetting(QStringLiteral(" http://maps.example:9000/ "));
    expected.replace("Colour=blue\r\n", "Colour=blue\r\nTileService=http://maps.example:9000/\r\n");
    EXPECT_EQ(GetIni(), expected);

    PutIni("[Window]\nLeft=10");
    WriteTileServiceSetting(QStringLiteral("http://a\r\n[Settings]\r\nConnectionSpeed=1"));
    EXPECT_EQ(GetIni(), QByteArray("[Window]\nLeft=10\n[Settings]\nTileService=http://a[Settings]"
                                   "ConnectionSpeed=1\n"));
    EXPECT_EQ(ReadConnectionSpeed(), 0);
}

TEST_F(UserDefaults, TileServiceEnvironmentFirstThenFileThenDefault) {
    EXPECT_EQ(EffectiveTileService(), QString::fromLatin1(DefaultTileService));
    WriteTileServiceSetting(QStringLiteral("http://maps.example:9000/"));
    EXPECT_EQ(ReadTileServiceSetting(), QStringLiteral("http://maps.example:9000/"));
    EXPECT_EQ(EffectiveTileService(), QStringLiteral("http://maps.example:9000"));
    qputenv("VARROW_TILE_SERVICE", "http://127.0.0.1:8700");
    EXPECT_EQ(EffectiveTileService(), QStringLiteral("http://127.0.0.1:8700"));
    qunsetenv("VARROW_TILE_SERVICE");
}

TEST_F(UserDefaults, FailedWriteReportsTheFileAndLosesNothing) {
    const QString folder = test::UncreatableFolder(home.path());
    ASSERT_FALSE(folder.isEmpty());
    qputenv("VARROW_HOME", folder.toUtf8());
    EXPECT_EQ(ErrorOf([] { WriteConnectionSpeed(1); }),
              "Unable to write to " + folder.toStdString() + "/Varrow.ini: Not a directory");

    // A full disk: the old file stays whole and no temporary file is left.
    qputenv("VARROW_HOME", home.path().toUtf8());
    const QByteArray before = "[Settings]\nConnectionSpeed=1\n[Other]\nKey=value\n";
    PutIni(before);
    std::string error;
    {
        const test::FileSizeLimit limit(4096);
        error = ErrorOf([] { WriteTileServiceSetting(QString(8000, QLatin1Char('x'))); });
    }
    EXPECT_EQ(error, "Unable to write to " + UserDefaultsPath().toStdString() + ": File too large");
    EXPECT_EQ(GetIni(), before);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files).size(), 2); // plain, Varrow.ini

    // An existing file that cannot be read is not replaced by one holding only our key.
    QFile::remove(UserDefaultsPath());
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("Varrow.ini")));
    EXPECT_EQ(ErrorOf([] { WriteConnectionSpeed(1); })
                  .rfind("Unable to write to " + UserDefaultsPath().toStdString() + ": ", 0),
              0u);
    EXPECT_EQ(ReadConnectionSpeed(), 0);
}

} // namespace
