#include "TileEncoder.h"

#include "demo/TileRenderer.h"
#include "io/GifWriter.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>
#include <cctype>
#include <exception>

namespace varrow::tileserver {

std::optional<ImageFormat> ParseImageFormat(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "jpeg" || lower == "jpg") return ImageFormat::Jpeg;
    if (lower == "png") return ImageFormat::Png;
    if (lower == "gif") return ImageFormat::Gif;
    if (lower == "bmp") return ImageFormat::Bmp;
    return std::nullopt;
}

const char* FormatName(ImageFormat format) {
    switch (format) {
    case ImageFormat::Jpeg:
        return "jpeg";
    case ImageFormat::Png:
        return "png";
    case ImageFormat::Gif:
        return "gif";
    case ImageFormat::Bmp:
        return "bmp";
    }
    return "jpeg";
}

const char* MimeType(ImageFormat format) {
    switch (format) {
    case ImageFormat::Jpeg:
        return "image/jpeg";
    case ImageFormat::Png:
        return "image/png";
    case ImageFormat::Gif:
        return "image/gif";
    case ImageFormat::Bmp:
        return "image/bmp";
    }
    return "application/octet-stream";
}

int SignatureLength(ImageFormat format) {
    switch (format) {
    case ImageFormat::Jpeg:
        return 3; // FF D8 FF
    case ImageFormat::Png:
        return 8; // 89 "PNG" 0D 0A 1A 0A
    case ImageFormat::Gif:
        return 6; // "GIF89a"
    case ImageFormat::Bmp:
        return 2; // "BM"
    }
    return 0;
}

QByteArray EncodeImage(const QImage& image, ImageFormat format) {
    if (format == ImageFormat::Gif) {
        try {
            return EncodeGif(image);
        } catch (const std::exception&) {
            return {};
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, FormatName(format));
    if (format == ImageFormat::Jpeg) writer.setQuality(88);
    // Qt's default PNG compression costs as much as rendering the tile, for
    // a file only a few per cent smaller.
    if (format == ImageFormat::Png) writer.setQuality(50);
    if (!writer.write(image)) return {};
    return bytes;
}

TileCache::TileCache(std::size_t capacity, std::size_t maxBytes)
    : m_capacity(std::max<std::size_t>(capacity, 1)), m_maxBytes(maxBytes) {}

std::size_t TileCache::Size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

QByteArray TileCache::Get(const TileAddress& a, ImageFormat format) {
    const std::string key = std::to_string(a.Theme) + '/' + std::to_string(a.ScaleCode) + '/' +
                            std::to_string(a.X) + '/' + std::to_string(a.Y) + '/' +
                            std::to_string(a.Zone);
    return Get(key, format, [&a] { return demo::RenderTile(a); });
}

QByteArray TileCache::Get(const std::string& picture, ImageFormat format,
                          const std::function<QImage()>& render) {
    const std::string key = picture + '/' + FormatName(format);
    QByteArray data;
    if (Lookup(key, data)) return data;
    data = EncodeImage(render(), format);
    if (!data.isEmpty()) Insert(key, data);
    return data;
}

bool TileCache::Lookup(const std::string& key, QByteArray& data) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_index.find(key);
    if (it == m_index.end()) return false;
    m_entries.splice(m_entries.begin(), m_entries, it->second);
    data = it->second->Data;
    return true;
}

void TileCache::Insert(const std::string& key, const QByteArray& data) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_index.count(key)) return; // another thread rendered it meanwhile
    m_entries.push_front({key, data});
    m_index.emplace(key, m_entries.begin());
    m_bytes += static_cast<std::size_t>(data.size());
    while (m_entries.size() > 1 && (m_entries.size() > m_capacity || m_bytes > m_maxBytes)) {
        m_bytes -= static_cast<std::size_t>(m_entries.back().Data.size());
        m_index.erase(m_entries.back().Key);
        m_entries.pop_back();
    }
}

} // namespace varrow::tileserver
