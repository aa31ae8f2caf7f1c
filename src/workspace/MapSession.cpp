#include "MapSession.h"

#include "tiles/TileLoader.h"
#include "workspace/UserDefaults.h"

namespace varrow {

TMapSession::TMapSession(const QString& serviceBase, QObject* parent)
    : QObject(parent),
      m_loader(std::make_unique<TTileLoader>(serviceBase.isEmpty() ? EffectiveTileService()
                                                                   : serviceBase)) {
    m_loader->OnProgress = [this](int percent, int, const QString&) { OnLoaderProgress(percent); };
    m_loader->OnTileDrawn = [this](const QRect& rect) {
        // Ring tiles lie (partly) outside the mosaic.
        const QRect visible = rect.intersected(m_mosaic.rect());
        if (!visible.isEmpty())
            emit mosaicChanged(visible);
    };
    m_loader->OnError = [this](const QString& message) { emit errorRaised(message); };
}

// The loader stops its workers before the mosaic they draw into goes away.
TMapSession::~TMapSession() { m_loader.reset(); }

void TMapSession::StartViewLoad(const TTileLocation& location, bool resetView) {
    m_clock.restart();
    m_complete = false;
    if (resetView)
        m_view.SetZoomFactor(1.0);
    emit loadStarting(resetView);
    m_loader->Abort();
    m_loader->SetMaxWorkers(m_view.MaxWorkers());
    const QSize size = m_view.MosaicSize();
    if (m_mosaic.size() == size && m_mosaic.format() == QImage::Format_RGB32)
        m_mosaic.fill(Qt::white);
    else
        m_mosaic = AllocateMosaic(m_view.TileCountX, m_view.TileCountY);
    emit mosaicReset();
    m_loader->LoadView(m_mosaic, location, TileOutlines, m_view.TileCountX, m_view.TileCountY);
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
    if (m_complete)
        return m_frozenSeconds;
    return m_clock.isValid() ? static_cast<double>(m_clock.nsecsElapsed()) / 1e9 : 0.0;
}

void TMapSession::OnLoaderProgress(int percent) {
    if (percent == 100 && !m_complete && m_loader->Done() == m_loader->Total()) {
        m_frozenSeconds = LoadSeconds();
        m_complete = true;
        emit progressChanged(percent);
        emit loadCompleted(m_frozenSeconds);
        return;
    }
    emit progressChanged(percent);
}

} // namespace varrow
