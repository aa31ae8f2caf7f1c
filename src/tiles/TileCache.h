#pragma once

// The tiles of recent loads, kept in memory so that a reload of an overlapping
// view draws them at once: a fixed table of preallocated tile images with an
// age each, least recently used at the grain of view loads.

#include "TileLibrary.h"

#include <QImage>

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
        int Age = EmptyAge;
    };

    TTileCache();
    TTileCache(const TTileCache&) = delete;
    TTileCache& operator=(const TTileCache&) = delete;

    const int Capacity = DefaultCapacity;
    const int TileWidth = TileSize;
    const int TileHeight = TileSize;

    // Every slot empty; the images stay allocated.
    void Clear();
    // One more view load for every slot; called at the start of each load.
    void AgeAll();
    // On a hit: the slot's age becomes 0, target gets the tile, true.
    bool Lookup(const TTileLocation& key, QImage& target);
    // Copies bitmap and location into the slot FindSlot picks.
    void Store(const QImage& bitmap, const TTileLocation& location, int age);

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
