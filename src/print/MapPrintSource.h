#pragma once

// What printing needs of the map session: the map as drawn and what
// describes it, for the window's print layout and for varrow-render.

#include "print/PrintLayout.h"

namespace varrow {

class TMapSession;

// The loaded map's scale, zone, corners, theme and tile source.
TPrintMapInfo PrintMapInfoOf(const TMapSession& session);
// The session's mosaic and its description, read at each rebuild of the pages.
TPrintMapSource PrintMapSourceOf(const TMapSession& session);

} // namespace varrow
