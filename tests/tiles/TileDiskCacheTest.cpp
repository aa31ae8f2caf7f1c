// The disk cache of source tiles: what it keeps, how it stays under its
// limit, and that it gives up the least recently used tiles first.

#include "tiles/TileDiskCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace varrow;

namespace {

const QString Layer = QStringLiteral("usgs-USGSTopo");

QByteArray Body(int seed, int bytes = 10000) {
    QByteArray b(bytes, char('a' + seed % 26));
    b.prepend(QByteArray::number(seed));
    return b.left(bytes);
}

QString PathOf(const QString& folder, int x) {
    return QStringLiteral("%1/%2/12/%3/1500.tile").arg(folder, Layer).arg(x);
}

// Makes a tile's last use lie minutesAgo in the past.
void Age(const QString& path, int minutesAgo) {
    const qint64 when = QDateTime::currentSecsSinceEpoch() - 60LL * minutesAgo;
    const timespec times[2] = {{static_cast<time_t>(when), 0}, {static_cast<time_t>(when), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

} // namespace

TEST(TileDiskCache, KeepsTilesByLayerZoomColumnAndRow) {
    QTemporaryDir root;
    TTileDiskCache cache(TTileDiskCache::TilesFolderOf(root.path()), 1 << 20);
    QByteArray body;
    EXPECT_FALSE(cache.Read(Layer, 12, 800, 1500, body));
    cache.Write(Layer, 12, 800, 1500, Body(1));
    ASSERT_TRUE(cache.Read(Layer, 12, 800, 1500, body));
    EXPECT_EQ(body, Body(1));
    // Any number that differs is another tile; another layer too.
    for (const auto& [layer, z, x, y] :
         {std::tuple{Layer, 13, 800, 1500}, std::tuple{Layer, 12, 801, 1500},
          std::tuple{Layer, 12, 800, 1501}, std::tuple{QStringLiteral("xyz-00ff"), 12, 800, 1500}})
        EXPECT_FALSE(cache.Read(layer, z, x, y, body));
    EXPECT_TRUE(QFile::exists(root.path() + "/tiles/usgs-USGSTopo/12/800/1500.tile"));
    // Rewriting replaces, and a limit of 0 keeps nothing new.
    cache.Write(Layer, 12, 800, 1500, Body(2));
    ASSERT_TRUE(cache.Read(Layer, 12, 800, 1500, body));
    EXPECT_EQ(body, Body(2));
    TTileDiskCache none(cache.Folder(), 0);
    none.Write(Layer, 12, 900, 1500, Body(3));
    EXPECT_FALSE(none.Read(Layer, 12, 900, 1500, body));
    EXPECT_TRUE(none.Read(Layer, 12, 800, 1500, body)) << "what is there is still read";

    EXPECT_TRUE(TTileDiskCache::Clear(cache.Folder()));
    EXPECT_FALSE(cache.Read(Layer, 12, 800, 1500, body));
    EXPECT_EQ(cache.SizeBytes(), 0);
    EXPECT_TRUE(QDir(root.path()).exists()) << "only the tiles folder goes";
}

TEST(TileDiskCache, StaysUnderItsLimitGivingUpTheLeastRecentlyUsed) {
    QTemporaryDir root;
    const QString folder = TTileDiskCache::TilesFolderOf(root.path());
    constexpr qint64 Limit = 100000; // ten tiles of 10 kB
    TTileDiskCache cache(folder, Limit);
    for (int x = 0; x < 10; ++x)
        cache.Write(Layer, 12, x, 1500, Body(x));
    EXPECT_EQ(cache.SizeBytes(), 100000);
    // Tiles 0..9 were last used 100..91 minutes ago; tile 0, the oldest, is read now.
    for (int x = 0; x < 10; ++x)
        Age(PathOf(folder, x), 100 - x);
    QByteArray body;
    ASSERT_TRUE(cache.Read(Layer, 12, 0, 1500, body));
    // One more goes over: the cache trims to 90 % of its limit, oldest first.
    cache.Write(Layer, 12, 10, 1500, Body(10));
    EXPECT_LE(cache.SizeBytes(), 90000);
    EXPECT_TRUE(cache.Read(Layer, 12, 0, 1500, body)) << "read just now";
    EXPECT_TRUE(cache.Read(Layer, 12, 10, 1500, body)) << "written just now";
    EXPECT_FALSE(cache.Read(Layer, 12, 1, 1500, body)) << "the least recently used";
    EXPECT_FALSE(cache.Read(Layer, 12, 2, 1500, body));
    EXPECT_TRUE(cache.Read(Layer, 12, 9, 1500, body));

    // What another process wrote counts too, once the cache counts again.
    TTileDiskCache other(folder, Limit);
    for (int x = 20; x < 40; ++x)
        other.Write(Layer, 12, x, 1500, Body(x));
    cache.Trim(Limit);
    EXPECT_LE(cache.SizeBytes(), Limit);
}

TEST(TileDiskCache, OneCachePerFolderInAProcess) {
    QTemporaryDir root;
    const auto a = TTileDiskCache::Shared(root.path() + "/tiles", 1000);
    const auto b = TTileDiskCache::Shared(root.path() + "/tiles/", 5000);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(a->LimitBytes(), 5000) << "the newest limit applies";
    EXPECT_NE(TTileDiskCache::Shared(root.path() + "/other", 1000).get(), a.get());
}

TEST(TileDiskCache, FolderIsTheEnvironmentsOrThePlatformsCacheFolder) {
    qputenv("VARROW_CACHE", "/tmp/varrow-cache-test");
    EXPECT_EQ(TTileDiskCache::DefaultFolder(), QStringLiteral("/tmp/varrow-cache-test/tiles"));
    qunsetenv("VARROW_CACHE");
    EXPECT_TRUE(TTileDiskCache::DefaultFolder().endsWith(QLatin1String("/tiles")));
    EXPECT_FALSE(TTileDiskCache::DefaultFolder().startsWith(QLatin1String("/tmp/varrow-cache")));
}
