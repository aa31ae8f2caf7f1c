#pragma once

// The map being worked on: the live view state, the mosaic it is drawn into
// and the one tile loader that fills it. Every action that changes what the
// mosaic shows ends in LoadCurrentView or ApplyPosition; starting a load
// aborts the running one, so the last request wins.

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
    // serviceBase: the tile service; empty takes the effective setting
    // (environment, then the defaults file, then the built-in address).
    explicit TMapSession(const QString& serviceBase = QString(), QObject* parent = nullptr);
    ~TMapSession() override;

    TMapViewState& View() { return m_view; }
    const TMapViewState& View() const { return m_view; }
    const QImage& Mosaic() const { return m_mosaic; }
    QImage& Mosaic() { return m_mosaic; }
    TTileLoader& Loader() { return *m_loader; }

    // Frame every tile when drawn (the "Tiles" grid type).
    bool TileOutlines = false;

    TTileLocation CaptureView() const { return m_view.CaptureView(); }
    // Throws TLoadError (a std::runtime_error) when the mosaic cannot be allocated.
    void StartViewLoad(const TTileLocation& location, bool resetView);
    void LoadCurrentView(bool resetView);
    // Makes a stored location the live view and loads it.
    void ApplyPosition(const TTileLocation& location);
    void Abort();
    bool IsBusy() const;

    // Seconds since the last load started; frozen once it completed.
    double LoadSeconds() const;
    bool LoadComplete() const { return m_complete; }

signals:
    // The view's values changed; controls that mirror them should refresh.
    void viewChanged();
    // A load is about to start; with resetView the magnification is back to 1.
    void loadStarting(bool resetView);
    // The mosaic was resized and cleared: everything must be repainted.
    void mosaicReset();
    // Part of the mosaic changed (a tile arrived).
    void mosaicChanged(const QRect& rect);
    // The loader's progress in percent; 100 only once every tile finished.
    void progressChanged(int percent);
    // Every tile of the load has finished; seconds is the load time.
    void loadCompleted(double seconds);
    // Something went wrong after a tile was fetched (drawing, caching).
    void errorRaised(const QString& message);

private:
    void OnLoaderProgress(int percent);

    TMapViewState m_view;
    QImage m_mosaic;
    std::unique_ptr<TTileLoader> m_loader;
    QElapsedTimer m_clock;
    double m_frozenSeconds = 0.0;
    bool m_complete = false;
};

} // namespace varrow
