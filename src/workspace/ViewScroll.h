#pragma once

// Scroll positions of the map window, kept apart from the window so that the
// arithmetic can be checked without one.

namespace varrow {

// The scroll position that keeps the point at the middle of a client extent
// where it was when the picture grows (or shrinks) from oldExtent to
// newExtent. A picture narrower than the window sits at its left (top), so
// the middle of the window is a point of the picture too, or past its end.
int ScrollKeepingCentre(int position, int client, int oldExtent, int newExtent);

} // namespace varrow
