#pragma once

// Where the loader's workers get their tiles: one attempt at one 200 × 200
// tile of the UTM tile grid, or an error that says why not. The attempts, the
// watchdog and the counters stay the worker's; a source only answers.

#include "TileLibrary.h"

#include <QImage>
#include <QString>

#include <memory>
#include <stdexcept>

namespace varrow {

class TIdHTTPEx;

class TTileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A tile service larger than this answers with something that is no tile (a
// 200 × 200 BMP is 120 KB); reading it whole in 14 workers would cost gigabytes.
constexpr qint64 MaxTileBodyBytes = 4 * 1024 * 1024;

class TTileSource {
public:
    virtual ~TTileSource() = default;

    // Two sources with the same key serve the same tiles: the caches' key.
    virtual QString Key() const = 0;
    // For the user: the address of a service, the name of a map source.
    virtual QString Name() const = 0;
    virtual QString Attribution() const { return QString(); }

    // One attempt, on a worker thread; fills bitmap with the tile (200 × 200,
    // Format_RGB32, the mosaic's format) or throws std::exception with the reason. client is the
    // worker's HTTP client: its watchdog, its abort and its notifications
    // apply to whatever the source fetches with it. May run on several
    // threads at once.
    virtual void FetchTile(TIdHTTPEx& client, const TTileLocation& location,
                           QImage& bitmap) const = 0;
};

using TTileSourcePtr = std::shared_ptr<const TTileSource>;

// A map-tile service answering GET <base>/tile.ashx?t=&s=&x=&y=&z= with one
// tile image in BMP, GIF, JPEG or PNG.
class TTileServiceSource : public TTileSource {
public:
    // Throws TTileError naming the address when it is not http(s).
    explicit TTileServiceSource(const QString& base);

    const QString& Base() const { return m_base; }
    QString Key() const override { return m_base; }
    QString Name() const override { return m_base; }
    void FetchTile(TIdHTTPEx& client, const TTileLocation& location,
                   QImage& bitmap) const override;

private:
    QString m_base;
};

// Decodes a downloaded tile into bitmap, refusing what is not 200 × 200
// ("Tile is 4000 × 4000 pixels, not 200 × 200") before its pixels are decoded.
void DecodeTile(const QByteArray& body, const QString& url, QImage& bitmap);

} // namespace varrow
