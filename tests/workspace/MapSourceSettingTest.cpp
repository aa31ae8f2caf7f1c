// The map source as the settings file keeps it, the sources each choice
// makes, the command lines' names for them, and the source a new session
// starts with.

#include "workspace/UserDefaults.h"

#include "tiles/DemoSource.h"
#include "tiles/MapSources.h"
#include "tiles/NetLib.h"
#include "tiles/XyzSource.h"
#include "workspace/MapSession.h"

#include "demo/TileRenderer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace varrow;

namespace {

class MapSourceSetting : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        qputenv("VARROW_HOME", home.path().toUtf8());
        qputenv("VARROW_CACHE", home.path().toUtf8());
        qunsetenv("VARROW_TILE_SERVICE");
    }
    void TearDown() override {
        qunsetenv("VARROW_HOME");
        qunsetenv("VARROW_CACHE");
        qunsetenv("VARROW_TILE_SERVICE");
    }
    static void PutIni(const QByteArray& settings) {
        QFile f(UserDefaultsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Settings]\n" + settings);
    }
    static const TXyzService& ServiceOf(const TTileSourcePtr& source) {
        const auto* xyz = dynamic_cast<const TXyzSource*>(source.get());
        EXPECT_NE(xyz, nullptr);
        static const TXyzService none;
        return xyz ? xyz->Service() : none;
    }
    static QString Template(const TTileSourcePtr& source, TTileTheme theme) {
        return ServiceOf(source).Layers[static_cast<std::size_t>(theme)].Template;
    }

    QTemporaryDir home;
};

TMapSourceChoice CustomChoice() {
    TMapSourceChoice c;
    c.Kind = TMapSourceKind::Xyz;
    c.Custom.Templates[static_cast<int>(TTileTheme::Topo)] =
        QStringLiteral("https://{s}.tiles.example.org/topo/{z}/{x}/{y}.png");
    c.Custom.Templates[static_cast<int>(TTileTheme::ColorAerial)] =
        QStringLiteral("https://{s}.tiles.example.org/photo/{z}/{x}/{y}.jpg");
    c.Custom.Name = QStringLiteral("Example maps");
    c.Custom.Attribution = QStringLiteral("© Example contributors");
    c.Custom.Subdomains = QStringList{"t1", "t2"};
    c.Custom.MaxZoom = 19;
    c.Offline = true;
    c.CacheLimitBytes = qint64(512) << 20;
    return c;
}

} // namespace

TEST_F(MapSourceSetting, AChoiceComesBackAsItWasStored) {
    WriteMapSourceSetting(CustomChoice());
    const TMapSourceChoice read = ReadMapSourceSetting();
    const TMapSourceChoice written = CustomChoice();
    EXPECT_EQ(read.Kind, TMapSourceKind::Xyz);
    EXPECT_EQ(read.Custom.Templates, written.Custom.Templates);
    EXPECT_EQ(read.Custom.Name, written.Custom.Name);
    EXPECT_EQ(read.Custom.Attribution, written.Custom.Attribution);
    EXPECT_EQ(read.Custom.Subdomains, written.Custom.Subdomains);
    EXPECT_EQ(read.Custom.MaxZoom, 19);
    EXPECT_TRUE(read.Offline);
    EXPECT_EQ(read.CacheLimitBytes, qint64(512) << 20);
    for (const TMapSourceKind kind :
         {TMapSourceKind::Demo, TMapSourceKind::UsgsImageryTopo, TMapSourceKind::Service}) {
        TMapSourceChoice c;
        c.Kind = kind;
        WriteMapSourceSetting(c);
        EXPECT_EQ(ReadMapSourceSetting().Kind, kind);
    }
}

TEST_F(MapSourceSetting, ReadingRules) {
    // Nothing stored: the demo landscape, online, with a 2 GiB disk cache.
    TMapSourceChoice none = ReadMapSourceSetting();
    EXPECT_EQ(none.Kind, TMapSourceKind::Demo);
    EXPECT_FALSE(none.Offline);
    EXPECT_EQ(none.CacheLimitBytes, qint64(2) << 30);
    EXPECT_EQ(none.Custom.MaxZoom, UsgsMaxZoom);

    // A service address from an earlier version is still the source.
    PutIni("TileService=http://127.0.0.1:8600\n");
    EXPECT_EQ(ReadMapSourceSetting().Kind, TMapSourceKind::Service);
    PutIni("MapSource=atlas\nTileService=http://127.0.0.1:8600\n");
    EXPECT_EQ(ReadMapSourceSetting().Kind, TMapSourceKind::Service);
    PutIni("mapsource= \"USGS-Topo\" \n");
    EXPECT_EQ(ReadMapSourceSetting().Kind, TMapSourceKind::UsgsTopo);

    // Numbers follow the file's rules: hexadecimal, bad text is the default,
    // and so is what lies out of range.
    PutIni("DiskCacheMB=0x100\nOffline=0x1\nXyzMaxZoom=18\n");
    TMapSourceChoice read = ReadMapSourceSetting();
    EXPECT_EQ(read.CacheLimitBytes, qint64(256) << 20);
    EXPECT_TRUE(read.Offline);
    EXPECT_EQ(read.Custom.MaxZoom, 18);
    PutIni("DiskCacheMB=-5\nOffline=yes\nXyzMaxZoom=40\nXyzSubdomains= , \n");
    read = ReadMapSourceSetting();
    EXPECT_EQ(read.CacheLimitBytes, qint64(2) << 30);
    EXPECT_FALSE(read.Offline);
    EXPECT_EQ(read.Custom.MaxZoom, UsgsMaxZoom);
    EXPECT_EQ(read.Custom.Subdomains, (QStringList{"a", "b", "c"}));
    PutIni("DiskCacheMB=0\n");
    EXPECT_EQ(ReadMapSourceSetting().CacheLimitBytes, 0) << "0: no disk cache";
}

TEST_F(MapSourceSetting, TheEnvironmentsServiceTakesThePlaceOfTheStoredSource) {
    TMapSourceChoice stored;
    stored.Kind = TMapSourceKind::UsgsTopo;
    stored.Offline = true;
    WriteMapSourceSetting(stored);
    qputenv("VARROW_TILE_SERVICE", " http://127.0.0.1:8700 ");
    const TMapSourceChoice effective = EffectiveMapSource();
    EXPECT_EQ(effective.Kind, TMapSourceKind::Service);
    EXPECT_EQ(effective.Service, "http://127.0.0.1:8700");
    EXPECT_TRUE(effective.Offline);
    EXPECT_EQ(ReadMapSourceSetting().Kind, TMapSourceKind::UsgsTopo) << "the file keeps its own";
}

TEST_F(MapSourceSetting, EachChoiceMakesItsSource) {
    TMapSourceChoice c;
    EXPECT_EQ(MakeTileSource(c)->Name(), "Demo landscape");
    EXPECT_NE(dynamic_cast<const TDemoSource*>(MakeTileSource(c).get()), nullptr);

    // The USGS presets: the preset's picture for Topo, the photographs for the aerial themes.
    const struct {
        TMapSourceKind Kind;
        const char* Name;
        const char* Topo;
    } presets[] = {{TMapSourceKind::UsgsTopo, "USGS Topo", UsgsTopoTemplate},
                   {TMapSourceKind::UsgsImagery, "USGS Imagery", UsgsImageryTemplate},
                   {TMapSourceKind::UsgsImageryTopo, "USGS Imagery Topo", UsgsImageryTopoTemplate}};
    QStringList keys;
    for (const auto& p : presets) {
        c.Kind = p.Kind;
        const TTileSourcePtr source = MakeTileSource(c);
        EXPECT_EQ(source->Name(), p.Name);
        EXPECT_EQ(source->Attribution(), "USGS The National Map");
        EXPECT_EQ(Template(source, TTileTheme::Topo), p.Topo);
        EXPECT_EQ(Template(source, TTileTheme::ColorAerial), UsgsImageryTemplate);
        EXPECT_TRUE(ServiceOf(source).Layers[static_cast<int>(TTileTheme::Aerial)].Grey);
        EXPECT_EQ(ServiceOf(source).MaxZoom, 16);
        keys << source->Key();
    }
    EXPECT_EQ(QString(UsgsTopoTemplate),
              "https://basemap.nationalmap.gov/arcgis/rest/services/USGSTopo/MapServer/tile/{z}/"
              "{y}/{x}");
    keys.removeDuplicates();
    EXPECT_EQ(keys.size(), 3) << "each preset's tiles are its own in the memory cache";
    // Offline serves other tiles (only the cached ones): another key, another name.
    c.Offline = true;
    EXPECT_NE(MakeTileSource(c)->Key(), keys.last());
    EXPECT_EQ(MakeTileSource(c)->Name(), "USGS Imagery Topo (offline)");

    // A custom service borrows the templates it lacks.
    const TTileSourcePtr custom = MakeTileSource(CustomChoice());
    EXPECT_EQ(custom->Name(), "Example maps (offline)");
    EXPECT_EQ(custom->Attribution(), "© Example contributors");
    EXPECT_EQ(Template(custom, TTileTheme::Aerial), Template(custom, TTileTheme::ColorAerial));
    EXPECT_TRUE(ServiceOf(custom).Layers[static_cast<int>(TTileTheme::Aerial)].Grey);
    EXPECT_EQ(
        XyzTileUrl(Template(custom, TTileTheme::Topo), ServiceOf(custom).Subdomains, 12, 7, 4),
        "https://t2.tiles.example.org/topo/12/7/4.png");

    // What cannot be a source says what is wrong with it.
    TMapSourceChoice bad = CustomChoice();
    bad.Custom.Templates = {};
    bad.Custom.Templates[static_cast<int>(TTileTheme::Topo)] = "https://tiles.example.org/{z}/{x}";
    try {
        MakeTileSource(bad);
        ADD_FAILURE() << "a template without {y} was taken";
    } catch (const TTileError& e) {
        EXPECT_NE(std::string(e.what()).find("{y}"), std::string::npos) << e.what();
    }
    bad.Custom.Templates = {};
    EXPECT_THROW(MakeTileSource(bad), TTileError);
    TMapSourceChoice service;
    service.Kind = TMapSourceKind::Service;
    service.Service = "ftp://127.0.0.1";
    EXPECT_THROW(MakeTileSource(service), TTileError);
    service.Service.clear();
    EXPECT_EQ(MakeTileSource(service)->Name(), QString::fromLatin1(DefaultTileService));
    // An offline tile service asks nothing and says so.
    service.Offline = true;
    TIdHTTPEx client;
    QImage tile;
    TTileLocation location;
    try {
        MakeTileSource(service)->FetchTile(client, location, tile);
        ADD_FAILURE() << "an offline service gave a tile";
    } catch (const TTileError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Offline:", 0), 0u) << e.what();
    }
}

TEST_F(MapSourceSetting, CommandLineNames) {
    TMapSourceChoice c;
    QString error;
    for (const auto& [text, kind] :
         {std::pair{"demo", TMapSourceKind::Demo},
          {"usgs-topo", TMapSourceKind::UsgsTopo},
          {"usgs-imagery", TMapSourceKind::UsgsImagery},
          {"usgs-imagery-topo", TMapSourceKind::UsgsImageryTopo},
          {"http://127.0.0.1:8600", TMapSourceKind::Service},
          {"xyz:https://tile.example.org/{z}/{x}/{y}.png", TMapSourceKind::Xyz}}) {
        EXPECT_TRUE(ParseSourceArgument(QString::fromLatin1(text), c, error)) << text;
        EXPECT_EQ(c.Kind, kind) << text;
    }
    EXPECT_EQ(c.Custom.Templates[static_cast<int>(TTileTheme::Topo)],
              "https://tile.example.org/{z}/{x}/{y}.png");
    for (const char* bad :
         {"osm", "xyz:tile.example.org/{z}/{x}/{y}", "xyz:http://h/{z}/{x}", "http://", ""}) {
        EXPECT_FALSE(ParseSourceArgument(QString::fromLatin1(bad), c, error)) << bad;
        EXPECT_FALSE(error.isEmpty());
    }
    ParseSourceArgument(QStringLiteral("osm"), c, error);
    EXPECT_TRUE(error.contains("usgs-topo")) << "the message lists the choices";
}

TEST_F(MapSourceSetting, ANewSessionStartsWithTheStoredSourceOrTheDemoLandscape) {
    EXPECT_EQ(TMapSession().TileSourceName(), "Demo landscape");
    TMapSourceChoice stored;
    stored.Kind = TMapSourceKind::UsgsTopo;
    WriteMapSourceSetting(stored);
    {
        TMapSession session;
        EXPECT_EQ(session.TileSourceName(), "USGS Topo");
        EXPECT_EQ(session.TileSource()->Attribution(), "USGS The National Map");
        EXPECT_TRUE(session.SourceProblem().isEmpty());
    }
    // A stored source that cannot be one leaves the demo landscape, and says why.
    PutIni("MapSource=xyz\nXyzTopo=https://example.org/no-fields.png\n");
    TMapSession fallback;
    EXPECT_EQ(fallback.TileSourceName(), "Demo landscape");
    EXPECT_TRUE(fallback.SourceProblem().contains("no-fields.png"));
    // The environment's tile.ashx address comes first.
    qputenv("VARROW_TILE_SERVICE", "http://127.0.0.1:8701");
    EXPECT_EQ(TMapSession().TileSourceName(), "http://127.0.0.1:8701");
}

TEST_F(MapSourceSetting, TheDemoSourcePaintsWhatVarrowTilesServes) {
    const TTileSourcePtr demo = MakeTileSource(TMapSourceChoice());
    TIdHTTPEx client;
    QImage tile;
    TTileLocation location; // the program's default view: Topo, 512 m, tile (3, 35), zone 13
    location.Tile = TPoint{3, 35};
    demo->FetchTile(client, location, tile);
    EXPECT_EQ(tile.format(), QImage::Format_RGB32);
    EXPECT_EQ(tile, demo::RenderTile({2, 19, 3, 35, 13}));
    location.Scale = 1024.0; // scale code 20: no such tile
    EXPECT_THROW(demo->FetchTile(client, location, tile), TTileError);
}
