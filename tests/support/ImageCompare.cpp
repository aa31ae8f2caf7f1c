#include "ImageCompare.h"

#include <cstdlib>

namespace varrow::test {

double MeanError(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

int GridPixels(const QImage& image) {
    const QRgb a = qRgb(255, 0, 0), b = qRgb(0, 0, 255);
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) | 0xff000000;
            n += c == a || c == b;
        }
    return n;
}

} // namespace varrow::test
