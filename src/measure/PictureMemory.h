#pragma once

// Memory for the map's picture. A 75 × 75 map is 858 MB: in 4 KB pages the
// first write faults 220,000 times, which took longer than painting every
// tile of it. A mapping of its own with huge pages, where the system offers
// them, faults a few hundred times instead.

#include <QImage>

namespace varrow {

// A Format_RGB32 image of width × height pixels (contents undefined), null
// when the memory cannot be had. Large pictures get a mapping of their own
// that is returned to the system with the last copy of the image.
QImage NewMapPicture(int width, int height);

} // namespace varrow
