#include "TileSource.h"

#include "NetLib.h"
#include "WebImageLoader.h"

namespace varrow {

TTileServiceSource::TTileServiceSource(const QString& base) : m_base(base) {
    while (m_base.endsWith(QLatin1Char('/')))
        m_base.chop(1);
    const QString problem = TileServiceProblem(m_base);
    if (!problem.isEmpty()) throw TTileError(problem.toStdString());
}

void TTileServiceSource::FetchTile(TIdHTTPEx& client, const TTileLocation& location,
                                   QImage& bitmap) const {
    const QString url = BuildTileUrl(location, m_base);
    client.GetBody(url);
    DecodeTile(client.Body, url, bitmap);
}

void DecodeTile(const QByteArray& body, const QString& url, QImage& bitmap) {
    DecodeImage(body, url, bitmap, QSize(TileSize, TileSize));
}

} // namespace varrow
