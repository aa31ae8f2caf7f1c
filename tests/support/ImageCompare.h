#pragma once

#include <QImage>

namespace varrow::test {

// Mean absolute difference of two pictures of the same size, in levels per colour channel.
double MeanError(const QImage& a, const QImage& b);

// Pixels in the two colours of the latitude/longitude grid.
int GridPixels(const QImage& image);

} // namespace varrow::test
