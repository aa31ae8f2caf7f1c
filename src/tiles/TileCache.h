#pragma once

// The tiles of recent loads, kept in memory so that a reload of an overlapping
// view draws them at once: a fixed table of preallocated tile images with an
// age each, least recently used at the grain of view loads.

#include "TileLibrary.h"

#include <QImage>
#include <QString>

#include <mutex>
#include <vector>

namespace varrow {

class TTileCache {
public:
    static constexpr int DefaultCapacity = 500;
    // Age of a slot that has not been filled since the last Clear.
    static constexpr int EmptyAge = 0xFFFF;

    struct TTileEntry {
        QImage Bitmap;
        TTileLocation Location;
        QString Source; // key of the tile source it came from
        int Age = EmptyAge;
        bool Writing = false; // a store is filling it, outside the lock
    };

    TTileCache();
    TTileCache(const TTileCache&) = delete;
    TTileCache& operator=(const TTileCache&) = delete;

    const int Capacity = DefaultCapacity;

    // Every slot empty; the images stay allocated.
    void Clear();
    // One more view load for every slot; called at the start of each load.
    void AgeAll();
    // A tile is known by its theme, scale, column, row and zone, and by the
    // source that served it: another source's tile at the same place is
    // another tile.
    // On a hit: the slot's age becomes 0, target gets the tile, true.
    bool Lookup(const TTileLocation& key, const QString& source, QImage& target);
    // Copies tile (24 bits per pixel in the slot, whatever it comes in) and
    // location into the slot FindSlot picks.
    void Store(const QImage& tile, const TTileLocation& location, const QString& source, int age);

    // A copy of one slot, for the tile info dialog and for checks.
    TTileEntry Entry(int index) const;

private:
    void SetCapacity(int count);
    int FindSlot() const;
    void ClearLocked();

    mutable std::mutex Lock;
    std::vector<TTileEntry> Entries;
};

} // namespace varrow
