#include "MapSession.h"

#include "tiles/DemoSource.h"
#include "tiles/TileLoader.h"
#include "workspace/UserDefaults.h"

#include <cmath>
#include <mutex>
#include <new>

namespace varrow {

namespace {

TTileSourcePtr ServiceSource(const QString& base, QString& problem) {
    try {
        return std::make_shared<TTileServiceSource>(base);
    } catch (const TTileError& e) {
        problem = QString::fromUtf8(e.what());
    }
    return std::make_shared<TTileServiceSource>(QString::fromLatin1(DefaultTileService));
}

// The source the settings choose; one that cannot be made leaves the demo
// landscape, which always can.
TTileSourcePtr ChosenSource(QString& problem) {
    try {
        return MakeTileSource(EffectiveMapSource());
    } catch (const std::exception& e) {
        problem = QString::fromUtf8(e.what());
    }
    return std::make_shared<TDemoSource>();
}

} // namespace

TMapSession::TMapSession(const QString& serviceBase, QObject* parent) : QObject(parent) {
    m_loader = std::make_unique<TTileLoader>(serviceBase.isEmpty()
                                                 ? ChosenSource(m_sourceProblem)
                                                 : ServiceSource(serviceBase, m_sourceProblem));
    m_loader->OnProgress = [this](const TLoadStats& stats) { OnLoaderProgress(stats); };
    // Ring tiles lie (partly) outside the mosaic; the canvas clips what it reports.
    m_loader->OnTileDrawn = [this](const QRect& rect) { m_canvas.Changed(rect); };
    m_loader->OnError = [this](const QString& message) { emit errorRaised(message); };
    m_canvas.OnChanged = [this](const QRect& rect) { emit mosaicChanged(rect); };
    m_stats.Source = m_loader->Source()->Name();
}

// The loader stops its workers before the mosaic they draw into goes away.
TMapSession::~TMapSession() {
    m_loader.reset();
    m_canvas.OnChanged = nullptr;
}

void TMapSession::ViewEdited() { emit viewChanged(); }

void TMapSession::SetTileService(const QString& base) {
    SetTileSource(std::make_shared<TTileServiceSource>(base));
}

TTileSourcePtr TMapSession::TileSource() const { return m_loader->Source(); }

void TMapSession::SetTileSource(TTileSourcePtr source) {
    if (!source || source->Key() == m_loader->Source()->Key()) return;
    m_loader->SetSource(std::move(source));
    // The cache knows tiles by source too, so none of the old source's could
    // stand in for the new one's; they would only take room.
    m_loader->Cache().Clear();
}

int TMapSession::CachedTiles() const {
    int n = 0;
    for (int i = 0; i < m_loader->Cache().Capacity; ++i)
        n += m_loader->Cache().Entry(i).Age != TTileCache::EmptyAge;
    return n;
}

QString TMapSession::TileSourceName() const { return m_loader->Source()->Name(); }

void TMapSession::ClearTileCache() { m_loader->Cache().Clear(); }

void TMapSession::SetRequestTimeOut(int milliseconds) { m_loader->SetRequestTimeOut(milliseconds); }

void TMapSession::StartViewLoad(const TTileLocation& location, bool resetView) {
    // A zone that does not exist has no tiles and no places: its map would be
    // white and its readouts absurd.
    const QString zone = ZoneProblem(location.Zone);
    if (!zone.isEmpty()) throw TLoadError(zone.toStdString());
    const QString counts = TileCountProblem(m_view.TileCountX, m_view.TileCountY);
    if (!counts.isEmpty()) throw TLoadError(counts.toStdString());

    m_clock.restart();
    if (resetView) m_view.SetZoomFactor(1.0);
    m_loader->Abort();
    m_complete = false;
    m_loader->SetMaxWorkers(m_view.MaxWorkers());
    m_loaded = m_view;
    m_loaded.ApplyLocation(location);
    emit loadStarting(resetView);
    const QSize size = m_loaded.MosaicSize();
    try {
        m_canvas.Reset(size.width(), size.height());
    } catch (const std::bad_alloc&) {
        const double megabytes = double(size.width()) * size.height() * 4 / (1024.0 * 1024.0);
        emit mosaicReset();
        throw TLoadError(QStringLiteral("Not enough memory for a map of %1 × %2 pixels (%3 MB). "
                                        "Choose fewer tiles.")
                             .arg(size.width())
                             .arg(size.height())
                             .arg(std::ceil(megabytes))
                             .toStdString());
    }
    emit mosaicReset();
    m_loading = true;
    m_loader->LoadView(m_canvas.Picture(), location, m_grid.TileOutlines(), m_loaded.TileCountX,
                       m_loaded.TileCountY);
}

void TMapSession::LoadCurrentView(bool resetView) { StartViewLoad(CaptureView(), resetView); }

void TMapSession::ApplyPosition(const TTileLocation& location) {
    // The stored view replaces the live one before the load, so controls,
    // readouts and the loaded mosaic agree.
    m_view.ApplyLocation(location);
    emit viewChanged();
    StartViewLoad(location, true);
}

void TMapSession::Abort() { m_loader->Abort(); }

bool TMapSession::IsBusy() const { return m_loader->IsBusy(); }

double TMapSession::LoadSeconds() const {
    if (m_complete) return m_frozenSeconds;
    return m_clock.isValid() ? static_cast<double>(m_clock.nsecsElapsed()) / 1e9 : 0.0;
}

void TMapSession::OnLoaderProgress(const TLoadStats& stats) {
    m_stats = stats;
    bool completed = false;
    if (stats.Aborted) {
        // An abort ends the load it stops; it completes nothing.
        m_loading = false;
    } else if (m_loading && stats.Complete() && stats.Percent == 100) {
        m_loading = false;
        m_frozenSeconds = LoadSeconds();
        m_complete = true;
        completed = true;
    }
    m_stats.Seconds = LoadSeconds();
    emit progressChanged(m_stats);
    if (completed) CompleteLoad();
}

void TMapSession::CompleteLoad() {
    {
        std::lock_guard<std::recursive_mutex> guard(m_loader->CanvasLock());
        if (!m_canvas.IsNull() && DrawGridOverlay(m_canvas.Picture(), m_loaded, m_grid))
            m_canvas.Changed(m_canvas.Picture().rect());
    }
    // The grid is part of the map, like the tile outlines: it goes into the
    // background copy too, so that wiping the measuring figure keeps it.
    m_canvas.SaveBackground();
    emit loadCompleted(m_stats);
}

} // namespace varrow
