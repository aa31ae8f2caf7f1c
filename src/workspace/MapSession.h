#pragma once

// The map being worked on, and its one owner: the live view the controls
// edit, the view the mosaic shows (the loaded view), the map canvas (mosaic
// and background copy), the overlays, the tile source and the load
// statistics. Windows show what it holds and ask it to act; only its loader,
// its overlays and the measuring tool write the mosaic, all on the GUI thread.
//
// Every action that changes what the mosaic shows ends in LoadCurrentView or
// ApplyPosition; starting a load aborts the running one, so the last request
// wins.

#include "measure/MapCanvas.h"
#include "tiles/LoadStats.h"
#include "tiles/TileSource.h"
#include "workspace/GridOverlay.h"
#include "workspace/MapViewState.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QRect>

#include <memory>

namespace varrow {

class TTileLoader;

class TMapSession : public QObject {
    Q_OBJECT
public:
    // serviceBase: a tile.ashx service; empty takes the effective map source
    // (the environment's tile.ashx address, then the source stored in the
    // defaults file, then the demo landscape). An address that cannot be a
    // tile service is refused: the session then asks the built-in address,
    // and SourceProblem says why; a stored source that cannot be made leaves
    // the demo landscape, and SourceProblem says why.
    explicit TMapSession(const QString& serviceBase = QString(), QObject* parent = nullptr);
    ~TMapSession() override;

    // The live view: the controls edit it, then say so with ViewEdited.
    TMapViewState& View() { return m_view; }
    const TMapViewState& View() const { return m_view; }
    // Tells whoever mirrors the live view that it changed; no load starts.
    void ViewEdited();

    // What the mosaic shows: the view as its load started, corner taken from
    // the loaded location. Everything that describes the picture (grid,
    // readouts, export, printing) reads this, not the live view.
    const TMapViewState& LoadedView() const { return m_loaded; }
    bool HasMap() const { return !m_canvas.IsNull(); }
    const TMapCanvas& Canvas() const { return m_canvas; }
    // For the measuring tool, which draws over the map.
    TMapCanvas& Canvas() { return m_canvas; }
    const QImage& Mosaic() const { return m_canvas.Picture(); }

    // The grid drawn on every map from the next load on.
    void SetGridOptions(const TGridOptions& options) { m_grid = options; }
    const TGridOptions& GridOptions() const { return m_grid; }

    // The tile.ashx service tiles come from from the next load on; throws
    // TTileError naming a bad address. The memory cache keeps tiles by
    // source, so no other source's tile ever stands in for this one's.
    void SetTileService(const QString& base);
    // Any source of tiles, from the next load on.
    void SetTileSource(TTileSourcePtr source);
    TTileSourcePtr TileSource() const;
    QString TileSourceName() const;
    // Why the address asked for at construction was refused; empty when it was not.
    const QString& SourceProblem() const { return m_sourceProblem; }
    void ClearTileCache();
    // Tiles the memory cache holds.
    int CachedTiles() const;
    // Watchdog of each download attempt in milliseconds (tests shorten it).
    void SetRequestTimeOut(int milliseconds);

    TTileLocation CaptureView() const { return m_view.CaptureView(); }
    // Throws TLoadError (a std::runtime_error) for a zone that does not exist
    // or when the mosaic cannot be allocated.
    void StartViewLoad(const TTileLocation& location, bool resetView);
    void LoadCurrentView(bool resetView);
    // Makes a stored location the live view and loads it.
    void ApplyPosition(const TTileLocation& location);
    void Abort();
    bool IsBusy() const;

    // The figures of the last report, by value.
    const TLoadStats& Stats() const { return m_stats; }
    // Seconds since the last load started; frozen once it completed.
    double LoadSeconds() const;
    bool LoadComplete() const { return m_complete; }

signals:
    // The live view's values changed; controls that mirror them should refresh.
    void viewChanged();
    // A load is about to start; with resetView the magnification is back to 1.
    void loadStarting(bool resetView);
    // The mosaic was resized and cleared: everything must be repainted.
    void mosaicReset();
    // Part of the mosaic changed (a tile arrived, the grid, the measuring figure).
    void mosaicChanged(const QRect& rect);
    // After every change of the counters; 100 percent only once every tile finished.
    void progressChanged(const varrow::TLoadStats& stats);
    // Every tile of the load has finished, the grid is drawn and the
    // background copy taken.
    void loadCompleted(const varrow::TLoadStats& stats);
    // Something went wrong after a tile was fetched (drawing, caching).
    void errorRaised(const QString& message);

private:
    void OnLoaderProgress(const TLoadStats& stats);
    void CompleteLoad();

    TMapViewState m_view;
    TMapViewState m_loaded;
    TMapCanvas m_canvas;
    TGridOptions m_grid;
    TLoadStats m_stats;
    std::unique_ptr<TTileLoader> m_loader;
    QElapsedTimer m_clock;
    double m_frozenSeconds = 0.0;
    bool m_loading = false; // a load was started and has neither completed nor been aborted
    bool m_complete = false;
    QString m_sourceProblem;
};

} // namespace varrow
