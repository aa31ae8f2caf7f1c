#pragma once

#include <QString>

namespace varrow {

// The counters of one load, as a progress report carries them.
struct TLoadStats {
    int Generation = 0; // the load (or abort) these figures belong to
    int Percent = 0;    // 100 only once every tile has finished
    int Done = 0;
    int Total = 0;
    int CacheHits = 0;
    int Retries = 0;
    int Lost = 0;
    bool Aborted = false; // the report of an abort: percent 0, never complete
    QString Status;       // the last connection status, or "Aborted"
    QString LastError;    // why the last failed attempt failed
    QString Source;       // name of the tile source
    double Seconds = 0.0; // the load time, filled by the session

    bool Complete() const { return !Aborted && Total > 0 && Done == Total; }
};

} // namespace varrow
