#include "XyzSource.h"

#include "NetLib.h"
#include "Reproject.h"
#include "TileDiskCache.h"

#include <QCryptographicHash>
#include <QUrl>

#include <algorithm>

namespace varrow {

namespace {

// The National Map's services are known by their own names in the cache, so
// that its folders say what they hold.
QString UsgsServiceName(const QString& urlTemplate) {
    const QString marker = QStringLiteral("/arcgis/rest/services/");
    const qsizetype at = urlTemplate.indexOf(marker);
    if (at < 0 || !urlTemplate.contains(QLatin1String("nationalmap.gov"))) return QString();
    const QString rest = urlTemplate.mid(at + marker.size());
    const QString name = rest.left(rest.indexOf(QLatin1Char('/')));
    for (const QChar c : name)
        if (!c.isLetterOrNumber()) return QString();
    return name;
}

} // namespace

QString XyzTemplateProblem(const QString& urlTemplate) {
    const QString t = urlTemplate.trimmed();
    if (t.isEmpty()) return QStringLiteral("The map source has no URL template.");
    const QUrl url(QString(t).replace(QLatin1Char('{'), QLatin1Char('x')).remove(QLatin1Char('}')));
    const QString scheme = url.scheme().toLower();
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty())
        return QStringLiteral("%1 is no web address (http:// or https://).").arg(t);
    for (const char* field : {"{z}", "{x}", "{y}"})
        if (!t.contains(QLatin1String(field)))
            return QStringLiteral("%1 has no %2: a tile template needs {z}, {x} and {y}.")
                .arg(t, QLatin1String(field));
    return QString();
}

QString XyzTileUrl(const QString& urlTemplate, const QStringList& subdomains, int z, int x, int y) {
    QString url = urlTemplate.trimmed();
    url.replace(QLatin1String("{z}"), QString::number(z));
    url.replace(QLatin1String("{x}"), QString::number(x));
    url.replace(QLatin1String("{y}"), QString::number(y));
    if (url.contains(QLatin1String("{s}")) && !subdomains.isEmpty())
        url.replace(QLatin1String("{s}"), subdomains[(x + y) % subdomains.size()]);
    return url;
}

QString XyzLayerName(const QString& urlTemplate) {
    const QString usgs = UsgsServiceName(urlTemplate);
    if (!usgs.isEmpty()) return QStringLiteral("usgs-") + usgs;
    const QByteArray digest =
        QCryptographicHash::hash(urlTemplate.trimmed().toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("xyz-") + QString::fromLatin1(digest.toHex().left(16));
}

TXyzSource::TXyzSource(TXyzService service, std::shared_ptr<TTileDiskCache> disk, bool offline,
                       TSourceTiles* tiles)
    : m_service(std::move(service)), m_disk(std::move(disk)), m_offline(offline), m_tiles(tiles) {
    bool any = false;
    for (TXyzLayer& layer : m_service.Layers) {
        layer.Template = layer.Template.trimmed();
        if (layer.Template.isEmpty()) continue;
        const QString problem = XyzTemplateProblem(layer.Template);
        if (!problem.isEmpty()) throw TTileError(problem.toStdString());
        any = true;
    }
    if (!any) throw TTileError("The map source has no URL template.");
    m_service.MaxZoom = std::clamp(m_service.MaxZoom, 0, MaxMercatorZoom);
    if (m_service.Name.trimmed().isEmpty()) {
        const QString first = [&] {
            for (const TXyzLayer& layer : m_service.Layers)
                if (!layer.Template.isEmpty()) return layer.Template;
            return QString();
        }();
        m_service.Name = QUrl(first).host();
    }
    // Two sources with the same pictures serve the same tiles; going offline
    // changes which of them can be had.
    m_key = QStringLiteral("xyz|%1").arg(m_service.MaxZoom);
    for (const TXyzLayer& layer : m_service.Layers)
        m_key += QLatin1Char('|') + layer.Template + (layer.Grey ? QStringLiteral("#grey") : "");
    if (m_offline) m_key += QStringLiteral("|offline");
}

QString TXyzSource::Name() const {
    return m_offline ? QStringLiteral("%1 (offline)").arg(m_service.Name) : m_service.Name;
}

void TXyzSource::FetchTile(TIdHTTPEx& client, const TTileLocation& location, QImage& bitmap) const {
    const auto theme = static_cast<std::size_t>(location.Theme);
    if (theme >= m_service.Layers.size() || m_service.Layers[theme].Template.isEmpty())
        throw TTileError(QStringLiteral("%1 has no %2 map.")
                             .arg(m_service.Name, ThemeLabel(location.Theme))
                             .toStdString());
    const TXyzLayer& layer = m_service.Layers[theme];
    const TReprojection plan(location, m_service.MaxZoom);
    const TSourceTileRange& range = plan.SourceTiles();
    const QString name = XyzLayerName(layer.Template);
    std::vector<TSourceTileId> ids;
    ids.reserve(static_cast<std::size_t>(range.Count()));
    for (int y = range.Y0; y <= range.Y1; ++y)
        for (int x = range.X0; x <= range.X1; ++x)
            ids.push_back({name, range.Zoom, range.WrappedColumn(x), y});

    // A public service is asked politely, whatever the worker limit.
    client.UserAgent = VarrowUserAgent();
    client.HostConnectionLimit = ConnectionsPerHost;
    client.HonourRetryAfter = true;
    TSourceTileFetch fetch;
    fetch.Disk = m_disk;
    fetch.Offline = m_offline;
    const QString urlTemplate = layer.Template;
    const QStringList subdomains = m_service.Subdomains;
    fetch.Url = [urlTemplate, subdomains](const TSourceTileId& id) {
        return XyzTileUrl(urlTemplate, subdomains, id.Z, id.X, id.Y);
    };
    const std::vector<QImage> tiles = m_tiles->Get(ids, fetch, client);
    plan.Render(tiles, bitmap);
    if (layer.Grey) ConvertToGrey(bitmap);
}

} // namespace varrow
