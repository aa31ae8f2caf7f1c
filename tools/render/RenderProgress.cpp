#include "RenderProgress.h"

#include "tiles/TileLoader.h"

#include <QtGlobal>

namespace varrow {

void TRenderProgress::Update(int percent, const TTileLoader& loader) {
    if (!m_enabled)
        return;
    constexpr int Width = 30;
    const int filled = qBound(0, percent, 100) * Width / 100;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(Width - filled, QLatin1Char(' '));
    const QString line = QStringLiteral("\r[%1] %2%  %3/%4 tiles  retries/lost %5/%6  cache hits %7")
                             .arg(bar)
                             .arg(percent, 3)
                             .arg(loader.Done())
                             .arg(loader.Total())
                             .arg(loader.Retries())
                             .arg(loader.Lost())
                             .arg(loader.CacheHits());
    // Progress arrives for every packet; redraw only what changed.
    if (line == m_last)
        return;
    m_last = line;
    std::fputs(line.toLocal8Bit().constData(), m_out);
    std::fflush(m_out);
    m_drawn = true;
}

void TRenderProgress::Finish() {
    if (m_drawn)
        std::fputc('\n', m_out);
    m_drawn = false;
}

} // namespace varrow
