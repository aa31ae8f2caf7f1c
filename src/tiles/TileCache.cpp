#include "TileCache.h"

#include "TilePixels.h"

#include <cstring>

namespace varrow {

TTileCache::TTileCache() {
    SetCapacity(Capacity);
}

void TTileCache::SetCapacity(int count) {
    std::lock_guard<std::mutex> guard(Lock);
    Entries.assign(static_cast<size_t>(count), TTileEntry{});
    for (TTileEntry& entry : Entries)
        entry.Bitmap = QImage(TileSize, TileSize, QImage::Format_RGB888);
    ClearLocked();
}

void TTileCache::ClearLocked() {
    for (TTileEntry& entry : Entries) {
        entry.Location.Theme = TTileTheme::Topo;
        // No request carries scale 0, so an empty slot can never match.
        entry.Location.Scale = 0.0;
        entry.Location.Tile = TPoint{0, 0};
        entry.Location.Zone = 0;
        entry.Source.clear();
        entry.Age = EmptyAge;
    }
}

void TTileCache::Clear() {
    std::lock_guard<std::mutex> guard(Lock);
    ClearLocked();
}

void TTileCache::AgeAll() {
    std::lock_guard<std::mutex> guard(Lock);
    for (TTileEntry& entry : Entries)
        if (entry.Age != EmptyAge) ++entry.Age; // an empty slot stays recognisably empty
}

bool TTileCache::Lookup(const TTileLocation& key, const QString& source, QImage& target) {
    std::lock_guard<std::mutex> guard(Lock);
    for (TTileEntry& entry : Entries) {
        if (SameTile(entry.Location, key) && entry.Source == source) {
            entry.Age = 0;
            // Shares the pixels until either side writes; a later Store into
            // this slot then copies, so the caller's tile never changes under it.
            target = entry.Bitmap;
            return true;
        }
    }
    return false;
}

int TTileCache::FindSlot() const {
    int maximum = 0;
    int chosen = 0;
    for (size_t i = 0; i < Entries.size(); ++i) {
        const int age = Entries[i].Age;
        if (age == EmptyAge) return static_cast<int>(i);
        if (age > maximum) {
            maximum = age;
            chosen = static_cast<int>(i);
        }
    }
    return chosen;
}

void TTileCache::Store(const QImage& tile, const TTileLocation& location, const QString& source,
                       int age) {
    // Narrowed before the lock, into memory of the storing thread's own that
    // stays mapped: workers storing at once wait only for a copy.
    thread_local QImage narrow;
    const bool wide = tile.format() != QImage::Format_RGB888;
    if (wide) NarrowTile(tile, narrow);
    const QImage& bitmap = wide ? narrow : tile;
    std::lock_guard<std::mutex> guard(Lock);
    TTileEntry& entry = Entries[static_cast<size_t>(FindSlot())];
    entry.Location = location;
    entry.Source = source;
    QImage& slot = entry.Bitmap;
    if (slot.size() == bitmap.size() && slot.format() == bitmap.format() && !bitmap.isNull()) {
        // The usual case: copy the pixels into the slot's own image, no allocation.
        const size_t rowBytes =
            static_cast<size_t>(qMin(slot.bytesPerLine(), bitmap.bytesPerLine()));
        for (int y = 0; y < bitmap.height(); ++y)
            std::memcpy(slot.scanLine(y), bitmap.constScanLine(y), rowBytes);
    } else {
        slot = bitmap.copy();
    }
    entry.Age = age;
}

TTileCache::TTileEntry TTileCache::Entry(int index) const {
    std::lock_guard<std::mutex> guard(Lock);
    return Entries.at(static_cast<size_t>(index));
}

} // namespace varrow
