#pragma once

// Map sources that publish web-Mercator tiles ({z}/{x}/{y}, 256 × 256), made
// into the program's UTM tiles by reprojection: the USGS National Map
// services and any service given by URL templates.

#include "SourceTiles.h"
#include "TileSource.h"

#include <QStringList>

#include <array>
#include <memory>

namespace varrow {

class TTileDiskCache;

// One picture of a service: a URL template with {z}, {x}, {y} and optionally
// {s} (one of the subdomains).
struct TXyzLayer {
    QString Template;
    bool Grey = false; // shown in grey (the Aerial theme of a photograph)
};

struct TXyzService {
    QString Name;        // for the user: "USGS Topo"
    QString Attribution; // "USGS The National Map"
    // Per theme, indexed by the TTileTheme value; an empty template: the
    // service has no picture for that theme.
    std::array<TXyzLayer, ThemeCount> Layers;
    QStringList Subdomains;
    int MaxZoom = 16; // past it the finest level is magnified
};

// A URL template that cannot be one names itself and why ("... has no {y}");
// empty when it can.
QString XyzTemplateProblem(const QString& urlTemplate);
// The URL of a tile; {s} takes subdomains[(x + y) mod n].
QString XyzTileUrl(const QString& urlTemplate, const QStringList& subdomains, int z, int x, int y);
// The disk cache's name for a layer: the USGS services' own names, otherwise
// "xyz-" and a digest of the template.
QString XyzLayerName(const QString& urlTemplate);

class TXyzSource : public TTileSource {
public:
    // The most requests that go to one host at once, whatever the worker limit.
    static constexpr int ConnectionsPerHost = 6;

    // disk may be null (no disk cache). Throws TTileError for a template
    // that cannot be one, or a service without any template.
    TXyzSource(TXyzService service, std::shared_ptr<TTileDiskCache> disk, bool offline,
               TSourceTiles* tiles = &TSourceTiles::Shared());

    QString Key() const override { return m_key; }
    QString Name() const override;
    QString Attribution() const override { return m_service.Attribution; }
    const TXyzService& Service() const { return m_service; }
    bool Offline() const { return m_offline; }
    const std::shared_ptr<TTileDiskCache>& DiskCache() const { return m_disk; }

    void FetchTile(TIdHTTPEx& client, const TTileLocation& location, QImage& bitmap) const override;

private:
    TXyzService m_service;
    std::shared_ptr<TTileDiskCache> m_disk;
    bool m_offline;
    TSourceTiles* m_tiles;
    QString m_key;
};

} // namespace varrow
