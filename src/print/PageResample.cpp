#include "PageResample.h"

#include "PrinterMetrics.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace varrow {

namespace {

// For every target pixel along one axis, the source pixels it takes and their weights.
struct TAxis {
    std::vector<int> First;
    std::vector<int> Count;
    std::vector<int> Offset; // into Weights
    std::vector<float> Weights;
    int Low = 0; // source pixels used: [Low, High)
    int High = 0;

    void Add(int first, int count) {
        First.push_back(first);
        Count.push_back(count);
        Offset.push_back(static_cast<int>(Weights.size()) - count);
    }
};

TAxis PlainAxis(double start, double length, int n, int limit) {
    TAxis axis;
    const double step = length / n;
    for (int k = 0; k < n; ++k) {
        const int i =
            std::clamp(static_cast<int>(std::floor(start + (k + 0.5) * step)), 0, limit - 1);
        axis.Weights.push_back(1.0f);
        axis.Add(i, 1);
    }
    return axis;
}

TAxis AreaAxis(double start, double length, int n, int limit) {
    TAxis axis;
    const double step = length / n;
    for (int k = 0; k < n; ++k) {
        const double a = std::clamp(start + k * step, 0.0, double(limit));
        const double b = std::clamp(start + (k + 1) * step, 0.0, double(limit));
        int i0 = static_cast<int>(std::floor(a));
        const int i1 = static_cast<int>(std::ceil(b));
        if (b - a <= 0.0 || i1 <= i0) {
            i0 = std::clamp(i0, 0, limit - 1);
            axis.Weights.push_back(1.0f);
            axis.Add(i0, 1);
            continue;
        }
        for (int i = i0; i < i1; ++i)
            axis.Weights.push_back(
                static_cast<float>((std::min(b, i + 1.0) - std::max(a, double(i))) / (b - a)));
        axis.Add(i0, i1 - i0);
    }
    axis.Low = limit;
    for (size_t k = 0; k < axis.First.size(); ++k) {
        axis.Low = std::min(axis.Low, axis.First[k]);
        axis.High = std::max(axis.High, axis.First[k] + axis.Count[k]);
    }
    return axis;
}

// Pixel access of the formats read in place and written.
struct TRgb32 {
    static constexpr int Size = 4;
    static void Read(const uchar* p, int& r, int& g, int& b) {
        const QRgb c = *reinterpret_cast<const QRgb*>(p);
        r = qRed(c), g = qGreen(c), b = qBlue(c);
    }
    static void Write(uchar* p, int r, int g, int b) {
        *reinterpret_cast<QRgb*>(p) = qRgb(r, g, b);
    }
};
struct TRgb888 {
    static constexpr int Size = 3;
    static void Read(const uchar* p, int& r, int& g, int& b) { r = p[0], g = p[1], b = p[2]; }
    static void Write(uchar* p, int r, int g, int b) {
        p[0] = uchar(r), p[1] = uchar(g), p[2] = uchar(b);
    }
};

inline int Level(float v) {
    return std::clamp(static_cast<int>(v + 0.5f), 0, 255);
}

template <class In, class Out>
void Plain(const QImage& image, const QRectF& s, QImage& canvas, const QRect& t) {
    const TAxis xs = PlainAxis(s.left(), s.width(), t.width(), image.width());
    const TAxis ys = PlainAxis(s.top(), s.height(), t.height(), image.height());
    int r = 0, g = 0, b = 0;
    for (int ty = 0; ty < t.height(); ++ty) {
        const uchar* in = image.constScanLine(ys.First[ty]);
        uchar* out = canvas.scanLine(t.top() + ty) + Out::Size * t.left();
        for (int tx = 0; tx < t.width(); ++tx, out += Out::Size) {
            In::Read(in + In::Size * xs.First[tx], r, g, b);
            Out::Write(out, r, g, b);
        }
    }
}

// Rows first: the source rows under one target row are summed with their weights over the
// columns used, then each target pixel sums its columns of that row.
template <class In, class Out>
void Smooth(const QImage& image, const QRectF& s, QImage& canvas, const QRect& t) {
    const TAxis xs = AreaAxis(s.left(), s.width(), t.width(), image.width());
    const TAxis ys = AreaAxis(s.top(), s.height(), t.height(), image.height());
    const int span = xs.High - xs.Low;
    std::vector<float> sums(3 * size_t(span));
    int r = 0, g = 0, b = 0;
    for (int ty = 0; ty < t.height(); ++ty) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        for (int k = 0; k < ys.Count[ty]; ++k) {
            const float w = ys.Weights[size_t(ys.Offset[ty] + k)];
            const uchar* in = image.constScanLine(ys.First[ty] + k) + In::Size * xs.Low;
            float* sum = sums.data();
            for (int x = 0; x < span; ++x, in += In::Size, sum += 3) {
                In::Read(in, r, g, b);
                sum[0] += w * float(r), sum[1] += w * float(g), sum[2] += w * float(b);
            }
        }
        uchar* out = canvas.scanLine(t.top() + ty) + Out::Size * t.left();
        for (int tx = 0; tx < t.width(); ++tx, out += Out::Size) {
            const float* sum = sums.data() + 3 * (xs.First[tx] - xs.Low);
            const float* w = xs.Weights.data() + xs.Offset[tx];
            float fr = 0, fg = 0, fb = 0;
            for (int k = 0; k < xs.Count[tx]; ++k, sum += 3) {
                fr += w[k] * sum[0], fg += w[k] * sum[1], fb += w[k] * sum[2];
            }
            Out::Write(out, Level(fr), Level(fg), Level(fb));
        }
    }
}

template <class In, class Out>
void Stretch(const QImage& image, const QRectF& s, QImage& canvas, const QRect& t, TStretch mode) {
    if (mode == TStretch::Plain)
        Plain<In, Out>(image, s, canvas, t);
    else
        Smooth<In, Out>(image, s, canvas, t);
}

bool ReadInPlace(QImage::Format f) {
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
           f == QImage::Format_ARGB32_Premultiplied || f == QImage::Format_RGB888;
}

} // namespace

void StretchImage(const QImage& image, const QRectF& source, QImage& canvas, const QRect& target,
                  TStretch mode) {
    const QRectF s = source.intersected(QRectF(image.rect()));
    const QRect t = target.intersected(canvas.rect());
    if (s.isEmpty() || t.isEmpty() ||
        (canvas.format() != QImage::Format_RGB888 && canvas.format() != QImage::Format_RGB32))
        return;
    // A visible clipping of the target keeps the map where it was: the source shrinks with it.
    QRectF clipped = s;
    if (t != target) {
        const double sx = s.width() / target.width(), sy = s.height() / target.height();
        clipped = QRectF(s.left() + (t.left() - target.left()) * sx,
                         s.top() + (t.top() - target.top()) * sy, t.width() * sx, t.height() * sy);
    }
    if (!ReadInPlace(image.format())) {
        const QRect part = clipped.toAlignedRect().intersected(image.rect());
        const QImage converted = image.copy(part).convertToFormat(QImage::Format_RGB32);
        StretchImage(converted, clipped.translated(-part.topLeft()), canvas, t, mode);
        return;
    }
    const bool in888 = image.format() == QImage::Format_RGB888;
    const bool out888 = canvas.format() == QImage::Format_RGB888;
    if (in888 && out888)
        Stretch<TRgb888, TRgb888>(image, clipped, canvas, t, mode);
    else if (in888)
        Stretch<TRgb888, TRgb32>(image, clipped, canvas, t, mode);
    else if (out888)
        Stretch<TRgb32, TRgb888>(image, clipped, canvas, t, mode);
    else
        Stretch<TRgb32, TRgb32>(image, clipped, canvas, t, mode);
}

void ResizeBitmap(const QImage& source, QImage& target, bool smooth, double factor) {
    const int w = Trunc(source.width() * factor), h = Trunc(source.height() * factor);
    if (w <= 0 || h <= 0) {
        target = QImage();
        return;
    }
    target = QImage(w, h, QImage::Format_RGB32);
    StretchImage(source, QRectF(source.rect()), target, target.rect(),
                 smooth ? TStretch::Smooth : TStretch::Plain);
}

} // namespace varrow
