#pragma once

// One map loaded through a tile loader, waited for while the Qt events that
// carry its tiles are served.

#include "tiles/TileLoader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace varrow::test {

// Serves events until done() holds; false after timeoutMs, which only keeps a
// broken load from hanging the test.
inline bool ServeEventsUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick; // wakes the wait below now and then
    tick.start(10);
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

struct TMapLoad {
    bool Finished = false;
    QImage Mosaic; // white where tiles were lost
    TLoadStats Stats;
};

// nx by ny tiles whose south-west corner is the location's; a load not
// finished by the deadline is aborted.
inline TMapLoad LoadMap(TTileLoader& loader, const TTileLocation& location, int nx, int ny,
                        int timeoutMs = 300000) {
    TMapLoad load;
    load.Mosaic = QImage(nx * TileSize, ny * TileSize, QImage::Format_RGB32);
    load.Mosaic.fill(Qt::white);
    loader.LoadView(load.Mosaic, location, false, nx, ny);
    load.Finished =
        ServeEventsUntil([&] { return loader.Percent() == 100 && !loader.IsBusy(); }, timeoutMs);
    if (!load.Finished) loader.Abort(); // its workers must not draw into a mosaic that goes
    load.Stats = loader.Stats();
    return load;
}

} // namespace varrow::test
