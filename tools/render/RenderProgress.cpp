#include "RenderProgress.h"

#include "tiles/LoadStats.h"

#include <QtGlobal>

namespace varrow {

void TRenderProgress::Update(const TLoadStats& stats) {
    if (!m_enabled)
        return;
    constexpr int Width = 30;
    const int percent = qBound(0, stats.Percent, 100);
    const int filled = percent * Width / 100;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(Width - filled, QLatin1Char(' '));
    const QString line = QStringLiteral("\r[%1] %2%  %3/%4 tiles  retries/lost %5/%6  cache hits %7")
                             .arg(bar)
                             .arg(percent, 3)
                             .arg(stats.Done)
                             .arg(stats.Total)
                             .arg(stats.Retries)
                             .arg(stats.Lost)
                             .arg(stats.CacheHits);
    Show(line);
}

void TRenderProgress::Writing(const QString& file, int percent) {
    if (!m_enabled) return;
    Show(QStringLiteral("\rwriting %1 %2%").arg(file).arg(qBound(0, percent, 100), 3) +
         QString(30, QLatin1Char(' ')));
}

void TRenderProgress::Show(const QString& line) {
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
