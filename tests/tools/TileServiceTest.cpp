// The service's decisions without HTTP: fault settings, fail-first counting,
// fault bodies and the tile cache.

#include "FaultPlan.h"
#include "TileEncoder.h"
#include "demo/TileRenderer.h"

#include <gtest/gtest.h>

using namespace varrow::tileserver;
using namespace varrow::demo;

namespace {

const TileAddress TileA{2, 19, 3, 35, 13};
const TileAddress TileB{2, 19, 4, 35, 13};

FaultSettings Settings(std::initializer_list<std::pair<const char*, const char*>> pairs) {
    FaultSettings s;
    for (const auto& [key, value] : pairs)
        EXPECT_EQ(s.Apply(key, value), "") << key << "=" << value;
    return s;
}

} // namespace

TEST(FaultSettings, RejectsWhatItCannotHonour) {
    FaultSettings s;
    EXPECT_NE(s.Apply("fault", "timeout"), "");
    EXPECT_NE(s.Apply("failfirst", "-1"), "");
    EXPECT_NE(s.Apply("failfirst", "2x"), "");
    EXPECT_NE(s.Apply("latency", "99999999999"), "");
    EXPECT_NE(s.Apply("latency", ""), "");
    EXPECT_NE(s.Apply("format", "tiff"), "");
    EXPECT_NE(s.Apply("color", "red"), "");
    EXPECT_FALSE(s.Fault || s.FailFirst || s.LatencyMs || s.Format);

    EXPECT_FALSE(ParseTileCells(""));
    EXPECT_FALSE(ParseTileCells("3"));
    EXPECT_FALSE(ParseTileCells("3:35,"));
    EXPECT_FALSE(ParseTileCells("a:b"));
    const auto cells = ParseTileCells("3:35,-4:+7");
    ASSERT_TRUE(cells);
    EXPECT_EQ(*cells, (std::vector<TileCell>{{3, 35}, {-4, 7}}));
}

TEST(FaultPlan, FailFirstCountsEachTileAndEachSettingsApart) {
    FaultPlan plan(Settings({{"failfirst", "2"}}), {});
    const FaultSettings plain;
    // Without a fault kind the failures are 500s.
    EXPECT_EQ(plan.Decide(TileA, plain).Fault, FaultKind::ServerError);
    EXPECT_EQ(plan.Decide(TileA, plain).Fault, FaultKind::ServerError);
    EXPECT_EQ(plan.Decide(TileA, plain).Fault, FaultKind::None);
    EXPECT_EQ(plan.Decide(TileA, plain).Fault, FaultKind::None);
    // Another tile, another theme or another request setting starts afresh.
    EXPECT_EQ(plan.Decide(TileB, plain).Fault, FaultKind::ServerError);
    TileAddress topoA = TileA;
    topoA.Theme = 4;
    EXPECT_EQ(plan.Decide(topoA, plain).Fault, FaultKind::ServerError);
    const FaultSettings html = Settings({{"fault", "html"}});
    EXPECT_EQ(plan.Decide(TileA, html).Fault, FaultKind::Html);
    EXPECT_EQ(plan.Decide(TileA, html).Fault, FaultKind::Html);
    EXPECT_EQ(plan.Decide(TileA, html).Fault, FaultKind::None);
}

TEST(FaultPlan, RequestSettingsOverrideTheServer) {
    FaultPlan plan(Settings({{"fault", "404"}, {"latency", "30"}, {"format", "png"}}), {});
    const Decision server = plan.Decide(TileA, {});
    EXPECT_EQ(server.Fault, FaultKind::NotFound);
    EXPECT_EQ(server.LatencyMs, 30);
    EXPECT_EQ(server.Format, ImageFormat::Png);

    const Decision own =
        plan.Decide(TileA, Settings({{"fault", "short"}, {"latency", "0"}, {"format", "bmp"}}));
    EXPECT_EQ(own.Fault, FaultKind::Short);
    EXPECT_EQ(own.LatencyMs, 0);
    EXPECT_EQ(own.Format, ImageFormat::Bmp);

    EXPECT_EQ(plan.Decide(TileA, Settings({{"fault", "none"}})).Fault, FaultKind::None);
    // A request's fail-first applies the server's fault kind.
    const FaultSettings once = Settings({{"failfirst", "1"}});
    EXPECT_EQ(plan.Decide(TileB, once).Fault, FaultKind::NotFound);
    EXPECT_EQ(plan.Decide(TileB, once).Fault, FaultKind::None);
}

TEST(FaultPlan, BusyAnswersCarryTheirRetryAfter) {
    FaultSettings s;
    EXPECT_NE(s.Apply("retryafter", "-1"), "");
    EXPECT_NE(s.Apply("retryafter", "3601"), "");
    EXPECT_FALSE(s.RetryAfter);
    FaultPlan plan(Settings({{"fault", "503"}, {"retryafter", "30"}}), {});
    const Decision server = plan.Decide(TileA, {});
    EXPECT_EQ(server.Fault, FaultKind::Unavailable);
    EXPECT_EQ(server.RetryAfter, 30);
    const Decision own = plan.Decide(TileA, Settings({{"fault", "429"}, {"retryafter", "0"}}));
    EXPECT_EQ(own.Fault, FaultKind::TooMany);
    EXPECT_EQ(own.RetryAfter, 0);
    EXPECT_FALSE(FaultPlan({}, {}).Decide(TileA, Settings({{"fault", "429"}})).RetryAfter)
        << "a busy answer that does not say how long";
}

TEST(FaultPlan, FaultTilesLimitFaultsButNotLatency) {
    FaultPlan plan(Settings({{"fault", "stall"}, {"latency", "5"}}), {{3, 35}});
    EXPECT_EQ(plan.Decide(TileA, {}).Fault, FaultKind::Stall);
    const Decision other = plan.Decide(TileB, {});
    EXPECT_EQ(other.Fault, FaultKind::None);
    EXPECT_EQ(other.LatencyMs, 5);
    // The same column and row in another zone or scale is named alike.
    EXPECT_EQ(plan.Decide({4, 12, 3, 35, -20}, {}).Fault, FaultKind::Stall);
}

TEST(FaultBodies, ShortAndCorruptBodiesDefeatTheDecoder) {
    const QImage tile = RenderTile(TileA);
    for (ImageFormat format :
         {ImageFormat::Jpeg, ImageFormat::Png, ImageFormat::Gif, ImageFormat::Bmp}) {
        SCOPED_TRACE(FormatName(format));
        const QByteArray image = EncodeImage(tile, format);
        ASSERT_FALSE(image.isEmpty());
        QImage decoded;
        ASSERT_TRUE(decoded.loadFromData(image));

        const QByteArray shortBody = ShortBody(image);
        EXPECT_EQ(shortBody, image.left(9));
        EXPECT_FALSE(decoded.loadFromData(shortBody));

        const QByteArray corrupt = CorruptBody(image, format);
        EXPECT_EQ(corrupt.size(), image.size());
        const int signature = SignatureLength(format);
        EXPECT_EQ(corrupt.left(signature), image.left(signature));
        EXPECT_NE(corrupt.mid(signature, 64), image.mid(signature, 64));
        EXPECT_FALSE(decoded.loadFromData(corrupt))
            << "decoded as " << decoded.width() << "x" << decoded.height();
        EXPECT_EQ(CorruptBody(image, format), corrupt) << "the same garbage every time";
    }
}

TEST(TileCache, StaysWithinItsBoundsAndServesWhatItKeeps) {
    TileCache byCount(2, 1u << 30);
    const QByteArray a = byCount.Get(TileA, ImageFormat::Jpeg);
    byCount.Get(TileB, ImageFormat::Jpeg);
    byCount.Get(TileA, ImageFormat::Png); // another format is another entry
    EXPECT_EQ(byCount.Size(), 2u);
    EXPECT_EQ(byCount.Get(TileA, ImageFormat::Jpeg), a);

    // A budget smaller than one tile still keeps the latest one.
    TileCache byBytes(100, 1000);
    byBytes.Get(TileA, ImageFormat::Bmp);
    byBytes.Get(TileB, ImageFormat::Bmp);
    EXPECT_EQ(byBytes.Size(), 1u);
}
