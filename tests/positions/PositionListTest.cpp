#include "positions/PositionList.h"

#include "support/ErrorOf.h"
#include "support/WriteFailures.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

using namespace varrow;
using varrow::test::ErrorOf;

namespace {

QByteArray Get(const QString& fileName) {
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void Put(const QString& fileName, const QByteArray& data) {
    QFile f(fileName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}
// A position file whose PosList holds the given children.
QByteArray File(const QByteArray& count, const QByteArray& children) {
    return "<PositionList Version=\"1.0\"><PosList Count=\"" + count + "\">" + children +
           "</PosList></PositionList>";
}
QByteArray Pos(const QByteArray& name, const QByteArray& zone) {
    return "<Position><Name><String>" + name + "</String></Name><Zone><Integer>" + zone +
           "</Integer></Zone></Position>";
}
TTileLocation Named(const char* name) {
    TTileLocation r;
    r.Name = QString::fromUtf8(name);
    return r;
}
auto Stored(const TTileLocation& r) {
    return std::make_tuple(r.Name, r.Theme, r.Scale, r.Tile.X, r.Tile.Y, r.Offset.X, r.Offset.Y,
                           r.Zone);
}

class PositionList : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        qputenv("VARROW_HOME", home.path().toUtf8());
        positions = std::make_unique<TPositionList>();
        ASSERT_FALSE(positions->Load()); // no file yet
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
    QString Path(const char* name) const { return home.filePath(QString::fromLatin1(name)); }

    // The program's list in the per-user folder, as the main window keeps it.
    TPosList& List() { return positions->Items(); }
    std::string LoadError() {
        return ErrorOf([this] { positions->Load(); });
    }
    std::string SaveError() {
        return ErrorOf([this] { positions->Save(); });
    }

    QTemporaryDir home;
    std::unique_ptr<TPositionList> positions;
};

TEST_F(PositionList, WritesTheExactLayout) {
    ASSERT_TRUE(WritePositionFile({{"Home & <away>", TTileTheme::Topo, 0.5, {3, 35}, {0, 199}, 13}},
                                  Path("one.xml")));
    EXPECT_EQ(Get(Path("one.xml")),
              QByteArray("<?xml version=\"1.0\"?>\r\n"
                         "<PositionList Version=\"1.0\">\r\n"
                         "  <PosList Count=\"1\">\r\n"
                         "    <Position Index=\"0\">\r\n"
                         "      <Name>\r\n"
                         "        <String>Home &amp; &lt;away&gt;</String>\r\n"
                         "      </Name>\r\n"
                         "      <Theme>\r\n"
                         "        <Integer>1</Integer>\r\n"
                         "      </Theme>\r\n"
                         "      <Scale>\r\n"
                         "        <Float>0.5</Float>\r\n"
                         "      </Scale>\r\n"
                         "      <Tile>\r\n"
                         "        <Point>3,35</Point>\r\n"
                         "      </Tile>\r\n"
                         "      <Offset>\r\n"
                         "        <Point>0,199</Point>\r\n"
                         "      </Offset>\r\n"
                         "      <Zone>\r\n"
                         "        <Integer>13</Integer>\r\n"
                         "      </Zone>\r\n"
                         "    </Position>\r\n"
                         "  </PosList>\r\n"
                         "</PositionList>\r\n"));
    ASSERT_TRUE(WritePositionFile({}, Path("none.xml")));
    EXPECT_EQ(Get(Path("none.xml")), QByteArray("<?xml version=\"1.0\"?>\r\n"
                                                "<PositionList Version=\"1.0\">\r\n"
                                                "  <PosList Count=\"0\" />\r\n"
                                                "</PositionList>\r\n"));
}

TEST_F(PositionList, RoundTripKeepsEveryStoredField) {
    TPosList list{{QString::fromUtf8("Gr\xc3\xbcn \"Tal\" \xf0\x9f\x97\xbb"),
                   TTileTheme::ColorAerial,
                   0.25,
                   {-7, INT32_MAX},
                   {-1, 0},
                   -19,
                   true},
                  {"", TTileTheme::Aerial, 512, {0, 0}, {0, 0}, 60}};
    for (int i = 0; i < 12; ++i)
        AppendPosition(list, {"s", TTileTheme::Topo, ScaleOfIndex(i), {i, -i}, {i, i}, i});
    DeletePosition(list, 13);
    DeletePosition(list, 99);
    ASSERT_EQ(list.size(), 13u);

    ASSERT_TRUE(WritePositionFile(list, Path("p.xml")));
    EXPECT_TRUE(Get(Path("p.xml")).contains("<Position Index=\"12\">"));
    TPosList back{Named("stale")};
    ReadPositionFile(back, Path("p.xml"));
    ASSERT_EQ(back.size(), list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        EXPECT_TRUE(Stored(back[i]) == Stored(list[i])) << i;
    EXPECT_FALSE(back[0].Outline);
}

TEST_F(PositionList, DecimalCommaFileReadsUnderDecimalPointAndBack) {
    const TPosList list{{"a", TTileTheme::Topo, 0.5, {1, 2}, {3, 4}, 5}};
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ASSERT_TRUE(WritePositionFile(list, Path("comma.xml")));
    EXPECT_TRUE(Get(Path("comma.xml")).contains("<Float>0,5</Float>"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ASSERT_TRUE(WritePositionFile(list, Path("point.xml")));
    EXPECT_TRUE(Get(Path("point.xml")).contains("<Float>0.5</Float>"));

    TPosList back;
    ReadPositionFile(back, Path("comma.xml"));
    EXPECT_EQ(back.at(0).Scale, 0.5);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ReadPositionFile(back, Path("point.xml"));
    EXPECT_EQ(back.at(0).Scale, 0.5);
}

TEST_F(PositionList, CountDecidesHowManyNodesAreRead) {
    TPosList list;
    Put(Path("short.xml"), File("3", Pos("a", "1") + Pos("b", "2")));
    EXPECT_NE(ErrorOf([&] { ReadPositionFile(list, Path("short.xml")); }).find("only 2"),
              std::string::npos);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].Name, "b");

    // Other nodes count towards Count; nodes after the Count-th are dropped.
    Put(Path("long.xml"), File("3", Pos("a", "1") + "<Note/>" + Pos("b", "2") + Pos("c", "3")));
    // ... and the reader says what it left out.
    EXPECT_TRUE(ReadPositionFile(list, Path("long.xml")).contains("more positions"));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].Zone, 2);

    Put(Path("zero.xml"), File("-1", Pos("a", "1")));
    EXPECT_FALSE(ReadPositionFile(list, Path("zero.xml")).isEmpty());
    EXPECT_TRUE(list.empty());

    Put(Path("other.xml"), "<PositionList><Other/><PosList Count=\"1\">" + Pos("a", "1") +
                               "</PosList></PositionList>");
    list.push_back(TTileLocation());
    EXPECT_TRUE(ReadPositionFile(list, Path("other.xml")).contains("Other"));
    EXPECT_TRUE(list.empty());

    Put(Path("none.xml"), File("2", ""));
    EXPECT_NE(ErrorOf([&] { ReadPositionFile(list, Path("none.xml")); }).find("holds none"),
              std::string::npos);
}

TEST_F(PositionList, FieldsAreReadByTheirOwnRules) {
    Put(Path("f.xml"),
        File("2", "<Position Index=\"7\"><Name><String>" + QByteArray(300, 'n') +
                      "</String></Name><Theme><Integer>258</Integer></Theme>"
                      "<Zone><Integer>9</Integer></Zone><Extra/><Zone><Integer>10</Integer></Zone>"
                      "<Tile><Point>4,5</Point></Tile><Offset><Point/></Offset></Position>"
                      "<Position><Scale><Float>2</Float></Scale></Position>"));
    TPosList list;
    ReadPositionFile(list, Path("f.xml"));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Name, QString(255, QLatin1Char('n')));
    EXPECT_EQ(list[0].Theme, TTileTheme::ColorAerial);
    EXPECT_EQ(list[0].Zone, 10);
    EXPECT_EQ(list[0].Offset, (TPoint{0, 0}));
    // The second entry starts from cleared values, not from the first entry's.
    EXPECT_TRUE(Stored(list[1]) == Stored({"", TTileTheme::Aerial, 2, {0, 0}, {0, 0}, 0}));
}

TEST_F(PositionList, BrokenFilesFailKeepingWhatWasRead) {
    TPosList list{TTileLocation()};
    Put(Path("bad.xml"), "<PositionList><PosList Count=\"1\">");
    EXPECT_NE(ErrorOf([&] { ReadPositionFile(list, Path("bad.xml")); }).find("not well-formed"),
              std::string::npos);
    EXPECT_EQ(list.size(), 1u);
    Put(Path("empty.xml"), "");
    EXPECT_NE(ErrorOf([&] { ReadPositionFile(list, Path("empty.xml")); }), "no error");

    Put(Path("type.xml"),
        File("2", Pos("a", "1") + "<Position><Scale><Integer>1</Integer></Scale></Position>"));
    EXPECT_EQ(ErrorOf([&] { ReadPositionFile(list, Path("type.xml")); }),
              "Expected Float. Found: Integer");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Name, "a");

    Put(Path("number.xml"), File("1", Pos("a", "x")));
    EXPECT_EQ(ErrorOf([&] { ReadPositionFile(list, Path("number.xml")); }),
              "'x' is not a valid integer value");
    EXPECT_TRUE(list.empty());
}

TEST_F(PositionList, PerUserFileLoadsAndSaves) {
    int loaded = 0;
    positions->OnLoaded = [&] { ++loaded; };
    positions->Save();
    EXPECT_TRUE(Get(Path("VarrowPosList.xml")).contains("<PosList Count=\"0\" />"));
    AppendPosition(List(), {"x", TTileTheme::Topo, 8, {1, 1}, {2, 2}, 12});
    positions->Save();
    List().clear();
    EXPECT_TRUE(positions->Load());
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(List().at(0).Zone, 12);

    // A file that fails to load is kept beside it before the save replaces it.
    const QByteArray broken = File("3", Pos("kept", "4") + Pos("also", "5"));
    Put(PosListPath(), broken);
    const std::string error = LoadError();
    EXPECT_NE(error.find("only 2"), std::string::npos) << error;
    EXPECT_NE(error.find("VarrowPosList.xml.bak"), std::string::npos) << error;
    EXPECT_EQ(loaded, 2);
    ASSERT_EQ(List().size(), 2u);
    positions->Save();
    EXPECT_EQ(Get(positions->BackupPath()), broken);
    EXPECT_TRUE(Get(PosListPath()).contains("<PosList Count=\"2\">"));
}

TEST_F(PositionList, AFileReadOnlyInPartIsKeptAndSaidSo) {
    // Well-formed files of which the list read is not all they hold: no
    // error of their own, but the save at the end would drop positions.
    const QByteArray cases[] = {
        "<PositionList><Other/><PosList Count=\"1\">" + Pos("a", "1") + "</PosList></PositionList>",
        File("1", Pos("first", "1") + Pos("beyond the count", "2")),
        File("0", Pos("uncounted", "3")),
    };
    int kept = 0;
    for (const QByteArray& file : cases) {
        SCOPED_TRACE(file.toStdString());
        Put(PosListPath(), file);
        TPositionList list;
        const std::string error = ErrorOf([&] { list.Load(); });
        EXPECT_NE(error.find("A copy of the file was kept"), std::string::npos) << error;
        ASSERT_FALSE(list.BackupPath().isEmpty());
        EXPECT_EQ(Get(list.BackupPath()), file);
        ++kept;
        // Every failed file keeps a copy of its own; none replaces another.
        EXPECT_EQ(list.BackupPath(),
                  PosListPath() + (kept == 1 ? QString(".bak") : QStringLiteral(".bak%1").arg(kept - 1)));
        list.Save();
        EXPECT_EQ(Get(list.BackupPath()), file);
    }
    EXPECT_EQ(Get(PosListPath() + ".bak"), cases[0]);
    EXPECT_EQ(Get(PosListPath() + ".bak1"), cases[1]);
    EXPECT_EQ(Get(PosListPath() + ".bak2"), cases[2]);

    // A file read whole keeps no copy.
    Put(PosListPath(), File("1", Pos("whole", "4")));
    TPositionList whole;
    EXPECT_TRUE(whole.Load());
    EXPECT_TRUE(whole.BackupPath().isEmpty());
}

TEST_F(PositionList, FailedWritesLoseNothing) {
    // A file that failed to load and cannot be copied aside (the disk is
    // full) is never replaced.
    const QByteArray broken = "<PositionList>" + QByteArray(8000, ' ');
    Put(PosListPath(), broken);
    {
        const test::FileSizeLimit limit(4096);
        EXPECT_NE(LoadError().find("not be replaced"), std::string::npos);
        EXPECT_NE(SaveError().find("Unable to write to"), std::string::npos);
    }
    EXPECT_EQ(Get(PosListPath()), broken);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files).size(), 1);
    // Once the copy can be made, it is made before the file is replaced.
    positions->Save();
    EXPECT_EQ(Get(positions->BackupPath()), broken);
    QFile::remove(positions->BackupPath());

    // A folder below a plain file cannot be created, not even by root.
    qputenv("VARROW_HOME", Path("VarrowPosList.xml/sub").toUtf8());
    TPositionList elsewhere;
    EXPECT_EQ(ErrorOf([&] { elsewhere.Save(); })
                  .rfind("Unable to write to " + Path("VarrowPosList.xml/sub").toStdString(), 0),
              0u);

    // A full disk: the old file stays whole, no temporary file is left, and
    // the message gives the system's reason.
    qputenv("VARROW_HOME", home.path().toUtf8());
    QFile::remove(PosListPath());
    positions = std::make_unique<TPositionList>();
    ASSERT_FALSE(positions->Load());
    AppendPosition(List(), Named("old"));
    positions->Save();
    const QByteArray before = Get(PosListPath());
    for (int i = 0; i < 15; ++i) // more than the limit, less than one write buffer
        AppendPosition(List(), Named("a rather long name"));
    std::string error;
    {
        const test::FileSizeLimit limit(4096);
        error = SaveError();
    }
    EXPECT_EQ(error.rfind("Unable to write to", 0), 0u) << error;
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    EXPECT_EQ(error.find("Unknown error"), std::string::npos) << error;
    EXPECT_EQ(Get(PosListPath()), before);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files).size(), 1);
}

} // namespace
