#include "tiles/TileCache.h"

#include <gtest/gtest.h>

using namespace varrow;

namespace {

TTileLocation Key(int x, int zone = 13, TTileTheme theme = TTileTheme::Topo, double scale = 4.0) {
    TTileLocation location;
    location.Tile = TPoint{x, 10};
    location.Zone = zone;
    location.Theme = theme;
    location.Scale = scale;
    return location;
}

QImage Tile(int red) {
    QImage image(TileSize, TileSize, QImage::Format_RGB888);
    image.fill(qRgb(red, 0, 0));
    return image;
}

const QString Source = QStringLiteral("http://127.0.0.1:8600");

int SlotOf(const TTileCache& cache, const TTileLocation& key) {
    for (int i = 0; i < cache.Capacity; ++i)
        if (SameTile(cache.Entry(i).Location, key)) return i;
    return -1;
}

} // namespace

TEST(TileCache, KeysAreThemeScaleTileAndZoneAndTilesAreCopies) {
    TTileCache cache;
    ASSERT_EQ(cache.Capacity, 500);
    QImage out;
    EXPECT_FALSE(cache.Lookup(Key(0), Source, out));
    for (int i = 0; i < 3; ++i)
        cache.Store(Tile(i), Key(i), Source, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(SlotOf(cache, Key(i)), i); // filled in order

    TTileLocation other = Key(1); // name, offset and outline do not count
    other.Name = "elsewhere";
    other.Offset = TPoint{50, 120};
    other.Outline = true;
    ASSERT_TRUE(cache.Lookup(other, Source, out));
    EXPECT_EQ(out.pixel(5, 5), qRgb(1, 0, 0));
    EXPECT_FALSE(cache.Lookup(Key(1, 13, TTileTheme::Aerial), Source, out));
    EXPECT_FALSE(cache.Lookup(Key(1, 14), Source, out));
    EXPECT_FALSE(cache.Lookup(Key(1, 13, TTileTheme::Topo, 4.0000000001), Source, out));
    // Another source's tile at the same place is another tile.
    EXPECT_FALSE(cache.Lookup(Key(1), QStringLiteral("http://127.0.0.1:8601"), out));

    // The worker reuses its bitmap, and a slot is overwritten later: neither
    // changes a tile already stored or handed out.
    QImage source = Tile(10);
    cache.Store(source, Key(7), Source, 0);
    source.fill(qRgb(200, 0, 0));
    ASSERT_TRUE(cache.Lookup(Key(7), Source, out));
    EXPECT_EQ(out.pixel(0, 0), qRgb(10, 0, 0));
    cache.Clear();
    cache.Store(Tile(99), Key(8), Source, 0);
    EXPECT_EQ(SlotOf(cache, Key(8)), 0);
    EXPECT_EQ(out.pixel(0, 0), qRgb(10, 0, 0));
    EXPECT_FALSE(cache.Lookup(Key(7), Source, out));
}

TEST(TileCache, ReplacesTheOldestSlotAndTheLowestAmongEquals) {
    TTileCache cache;
    for (int i = 0; i < cache.Capacity; ++i)
        cache.Store(Tile(0), Key(i), Source, 0);
    // A full table of age 0: every further store overwrites slot 0.
    cache.Store(Tile(0), Key(1000), Source, 0);
    cache.Store(Tile(0), Key(1001), Source, 0);
    EXPECT_EQ(SlotOf(cache, Key(1001)), 0);
    EXPECT_EQ(SlotOf(cache, Key(1000)), -1);

    // Untouched for three loads goes before touched in the latest one.
    QImage out;
    for (int load = 0; load < 3; ++load)
        cache.AgeAll();
    for (int i = 0; i < cache.Capacity; ++i) {
        if (i == 42) continue;
        ASSERT_TRUE(cache.Lookup(cache.Entry(i).Location, Source, out));
    }
    EXPECT_EQ(cache.Entry(42).Age, 3);
    cache.Store(Tile(0), Key(2000), Source, 0);
    EXPECT_EQ(SlotOf(cache, Key(2000)), 42);

    // A key stored twice fills two slots (here 0 and 42); the lower one answers.
    cache.Store(Tile(9), Key(2000), Source, 0);
    EXPECT_EQ(SlotOf(cache, Key(2000)), 0);
    ASSERT_TRUE(cache.Lookup(Key(2000), Source, out));
    EXPECT_EQ(out.pixel(0, 0), qRgb(9, 0, 0));
}

TEST(TileCache, EmptySlotsStayEmptyAcrossLoads) {
    TTileCache cache;
    cache.Store(Tile(0), Key(0), Source, 0);
    for (int load = 0; load < 3; ++load)
        cache.AgeAll();
    EXPECT_EQ(cache.Entry(0).Age, 3);
    EXPECT_EQ(cache.Entry(1).Age, TTileCache::EmptyAge);
    EXPECT_EQ(cache.Entry(cache.Capacity - 1).Age, TTileCache::EmptyAge);
    // The next store takes the first empty slot, not the oldest tile.
    cache.Store(Tile(1), Key(1), Source, 0);
    EXPECT_EQ(SlotOf(cache, Key(0)), 0);
    EXPECT_EQ(SlotOf(cache, Key(1)), 1);
}
