#pragma once

// Tile images as files in memory, and the cache that keeps recently encoded
// tiles so that a repeated request costs no rendering.

#include "demo/TileAddress.h"

#include <QByteArray>
#include <QImage>

#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace varrow::tileserver {

// The service serves the demo landscape's tiles by their addresses.
using demo::TileAddress;

enum class ImageFormat { Jpeg, Png, Gif, Bmp };

// "jpeg" (or "jpg"), "png", "gif", "bmp", any case.
std::optional<ImageFormat> ParseImageFormat(std::string_view text);
const char* FormatName(ImageFormat format);
const char* MimeType(ImageFormat format);
// Bytes of the format's signature at the start of every file.
int SignatureLength(ImageFormat format);

// The image as a file; empty if the encoder fails.
QByteArray EncodeImage(const QImage& image, ImageFormat format);

// Least-recently-used cache of encoded tiles, keyed by address and format.
// Safe to use from many threads; rendering happens outside the lock, so two
// threads that miss the same tile at once both render it (the results are
// identical) rather than one waiting for the other.
class TileCache {
public:
    // Keeps at most `capacity` tiles and `maxBytes` bytes of them (BMP tiles
    // are eight times the size of JPEG ones).
    TileCache(std::size_t capacity, std::size_t maxBytes);

    // The encoded tile, rendered and encoded on a miss. Empty on encoder failure.
    QByteArray Get(const TileAddress& address, ImageFormat format);
    // The same for any picture known by key; what render throws passes on
    // and nothing is kept.
    QByteArray Get(const std::string& key, ImageFormat format,
                   const std::function<QImage()>& render);

    std::size_t Size() const;

private:
    struct Entry {
        std::string Key;
        QByteArray Data;
    };
    bool Lookup(const std::string& key, QByteArray& data);
    void Insert(const std::string& key, const QByteArray& data);

    const std::size_t m_capacity;
    const std::size_t m_maxBytes;
    std::size_t m_bytes = 0;
    mutable std::mutex m_mutex;
    std::list<Entry> m_entries; // most recent first
    std::unordered_map<std::string, std::list<Entry>::iterator> m_index;
};

} // namespace varrow::tileserver
