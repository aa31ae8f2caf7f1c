#pragma once

#include <QImage>

namespace varrow::test {

// Mean absolute difference of two pictures of the same size, in levels per colour channel.
double MeanError(const QImage& a, const QImage& b);

} // namespace varrow::test
