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
    int chosen = -1;
    for (size_t i = 0; i < Entries.size(); ++i) {
        if (Entries[i].Writing) continue;
        const int age = Entries[i].Age;
        if (age == EmptyAge) return static_cast<int>(i);
        if (chosen < 0 || age > maximum) {
            maximum = age;
            chosen = static_cast<int>(i);
        }
    }
    return chosen;
}

namespace {

// The tile's pixels into slot, 24 bits per pixel, in the slot's own memory
// when it has it to itself.
void WritePixels(const QImage& tile, QImage& slot) {
    if (!slot.isDetached()) slot = QImage(); // still shown by whoever looked it up
    if (tile.format() != QImage::Format_RGB888) {
        NarrowTile(tile, slot);
        return;
    }
    if (slot.size() != tile.size() || slot.format() != tile.format()) {
        slot = tile.copy();
        return;
    }
    const size_t rowBytes = static_cast<size_t>(qMin(slot.bytesPerLine(), tile.bytesPerLine()));
    for (int y = 0; y < tile.height(); ++y)
        std::memcpy(slot.scanLine(y), tile.constScanLine(y), rowBytes);
}

} // namespace

void TTileCache::Store(const QImage& tile, const TTileLocation& location, const QString& source,
                       int age) {
    // The slot is taken out of the table while its pixels are written, so that
    // workers storing at once copy side by side instead of one after another;
    // meanwhile no lookup matches it and no other store picks it.
    QImage pixels;
    TTileEntry* entry = nullptr;
    {
        std::lock_guard<std::mutex> guard(Lock);
        const int index = FindSlot();
        if (index < 0) return; // every slot is being written: this tile is not kept
        entry = &Entries[static_cast<size_t>(index)];
        entry->Writing = true;
        entry->Location.Scale = 0.0;
        entry->Source.clear();
        std::swap(pixels, entry->Bitmap);
    }
    try {
        WritePixels(tile, pixels);
    } catch (...) {
        std::lock_guard<std::mutex> guard(Lock);
        entry->Writing = false;
        entry->Age = EmptyAge;
        throw;
    }
    std::lock_guard<std::mutex> guard(Lock);
    entry->Bitmap = std::move(pixels);
    entry->Location = location;
    entry->Source = source;
    entry->Age = age;
    entry->Writing = false;
}

TTileCache::TTileEntry TTileCache::Entry(int index) const {
    std::lock_guard<std::mutex> guard(Lock);
    return Entries.at(static_cast<size_t>(index));
}

} // namespace varrow
