#pragma once

// The demo landscape painted in-process: the program's built-in map source,
// which needs no service and no network.

#include "TileSource.h"

namespace varrow {

class TDemoSource : public TTileSource {
public:
    QString Key() const override { return QStringLiteral("demo"); }
    QString Name() const override { return QStringLiteral("Demo landscape"); }
    QString Attribution() const override {
        return QStringLiteral("Synthetic landscape, not a real place");
    }
    // The same tile varrow-tiles serves for the address; throws TTileError
    // for an address that has none (a scale or zone off the grid).
    void FetchTile(TIdHTTPEx& client, const TTileLocation& location, QImage& bitmap) const override;
};

} // namespace varrow
