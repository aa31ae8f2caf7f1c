#include "PageResample.h"

#include "PrinterMetrics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varrow {

namespace {

void Add(TStretchAxis& axis, int first, int count) {
    axis.First.push_back(first);
    axis.Count.push_back(count);
    axis.Offset.push_back(static_cast<int>(axis.Weights.size()) - count);
}

TStretchAxis AreaAxis(double start, double length, int n, int limit) {
    TStretchAxis axis;
    const double step = length / n;
    for (int k = 0; k < n; ++k) {
        const double a = std::clamp(start + k * step, 0.0, double(limit));
        const double b = std::clamp(start + (k + 1) * step, 0.0, double(limit));
        int i0 = static_cast<int>(std::floor(a));
        const int i1 = static_cast<int>(std::ceil(b));
        if (b - a <= 0.0 || i1 <= i0) {
            i0 = std::clamp(i0, 0, limit - 1);
            axis.Weights.push_back(1.0f);
            Add(axis, i0, 1);
            continue;
        }
        for (int i = i0; i < i1; ++i)
            axis.Weights.push_back(
                static_cast<float>((std::min(b, i + 1.0) - std::max(a, double(i))) / (b - a)));
        Add(axis, i0, i1 - i0);
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

// The map as read: an image whose top-left pixel is map pixel Origin, the map itself or the
// converted part of it that a drawing needs.
struct TSourceView {
    const QImage& Image;
    QPoint Origin;
    const uchar* Pixel(int x, int y, int size) const {
        return Image.constScanLine(y - Origin.y()) + size * (x - Origin.x());
    }
};

// What one drawing does: target pixels p of the stretch onto canvas from at.
struct TDrawing {
    const TSourceView& In;
    const TStretchAxis& Xs;
    const TStretchAxis& Ys;
    QRect Part;
    QImage& Canvas;
    QPoint At;

    uchar* Out(int ty, int size) const {
        return Canvas.scanLine(At.y() + ty - Part.top()) + size * At.x();
    }
};

template <class In, class Out>
void Plain(const TDrawing& d) {
    int r = 0, g = 0, b = 0;
    for (int ty = d.Part.top(); ty <= d.Part.bottom(); ++ty) {
        uchar* out = d.Out(ty, Out::Size);
        for (int tx = d.Part.left(); tx <= d.Part.right(); ++tx, out += Out::Size) {
            In::Read(d.In.Pixel(d.Xs.First[tx], d.Ys.First[ty], In::Size), r, g, b);
            Out::Write(out, r, g, b);
        }
    }
}

// Rows first: the source rows under one target row are summed with their weights over the
// columns used, then each target pixel sums its columns of that row. A column's sum does not
// depend on which others are summed with it, so a part has the pixels it has in the whole.
template <class In, class Out>
void Smooth(const TDrawing& d) {
    const int low = d.Xs.Low(d.Part.left(), d.Part.right() + 1);
    const int span = d.Xs.High(d.Part.left(), d.Part.right() + 1) - low;
    std::vector<float> sums(3 * size_t(span));
    int r = 0, g = 0, b = 0;
    for (int ty = d.Part.top(); ty <= d.Part.bottom(); ++ty) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        for (int k = 0; k < d.Ys.Count[ty]; ++k) {
            const float w = d.Ys.Weights[size_t(d.Ys.Offset[ty] + k)];
            const uchar* in = d.In.Pixel(low, d.Ys.First[ty] + k, In::Size);
            float* sum = sums.data();
            for (int x = 0; x < span; ++x, in += In::Size, sum += 3) {
                In::Read(in, r, g, b);
                sum[0] += w * float(r), sum[1] += w * float(g), sum[2] += w * float(b);
            }
        }
        uchar* out = d.Out(ty, Out::Size);
        for (int tx = d.Part.left(); tx <= d.Part.right(); ++tx, out += Out::Size) {
            const float* sum = sums.data() + 3 * (d.Xs.First[tx] - low);
            const float* w = d.Xs.Weights.data() + d.Xs.Offset[tx];
            float fr = 0, fg = 0, fb = 0;
            for (int k = 0; k < d.Xs.Count[tx]; ++k, sum += 3) {
                fr += w[k] * sum[0], fg += w[k] * sum[1], fb += w[k] * sum[2];
            }
            Out::Write(out, Level(fr), Level(fg), Level(fb));
        }
    }
}

template <class In, class Out>
void Stretch(const TDrawing& d, TStretch mode) {
    if (mode == TStretch::Plain)
        Plain<In, Out>(d);
    else
        Smooth<In, Out>(d);
}

bool ReadInPlace(QImage::Format f) {
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
           f == QImage::Format_ARGB32_Premultiplied || f == QImage::Format_RGB888;
}

} // namespace

int TStretchAxis::Low(int first, int last) const {
    int low = std::numeric_limits<int>::max();
    for (int k = first; k < last; ++k)
        low = std::min(low, First[size_t(k)]);
    return low;
}

int TStretchAxis::High(int first, int last) const {
    int high = 0;
    for (int k = first; k < last; ++k)
        high = std::max(high, First[size_t(k)] + Count[size_t(k)]);
    return high;
}

TStretchAxis PlainAxis(double start, double length, int n, int limit) {
    TStretchAxis axis;
    const double step = length / n;
    for (int k = 0; k < n; ++k) {
        const int i =
            std::clamp(static_cast<int>(std::floor(start + (k + 0.5) * step)), 0, limit - 1);
        axis.Weights.push_back(1.0f);
        Add(axis, i, 1);
    }
    return axis;
}

TStretcher::TStretcher(const QImage& image, const QRectF& source, const QSize& target,
                       TStretch mode)
    : m_image(image), m_target(target), m_mode(mode) {
    if (target.isEmpty() || image.isNull()) {
        m_target = QSize();
        return;
    }
    const auto axis = mode == TStretch::Plain ? PlainAxis : AreaAxis;
    m_x = axis(source.left(), source.width(), target.width(), image.width());
    m_y = axis(source.top(), source.height(), target.height(), image.height());
}

void TStretcher::Draw(const QRect& part, QImage& canvas, const QPoint& at) const {
    if (canvas.format() != QImage::Format_RGB888 && canvas.format() != QImage::Format_RGB32)
        return;
    // Clipped to the target, then to the canvas where it lands.
    QRect p = part.intersected(QRect(QPoint(0, 0), m_target));
    const QRect landed = p.translated(at - part.topLeft()).intersected(canvas.rect());
    if (landed.isEmpty()) return;
    p = QRect(part.topLeft() + landed.topLeft() - at, landed.size());
    QImage converted;
    QPoint origin(0, 0);
    if (!ReadInPlace(m_image.format())) {
        const int x0 = m_x.Low(p.left(), p.right() + 1), y0 = m_y.Low(p.top(), p.bottom() + 1);
        const QRect need = Ltrb(x0, y0, m_x.High(p.left(), p.right() + 1),
                                m_y.High(p.top(), p.bottom() + 1));
        converted = m_image.copy(need).convertToFormat(QImage::Format_RGB32);
        origin = need.topLeft();
    }
    const TSourceView in{converted.isNull() ? m_image : converted, origin};
    const TDrawing d{in, m_x, m_y, p, canvas, landed.topLeft()};
    const bool in888 = in.Image.format() == QImage::Format_RGB888;
    const bool out888 = canvas.format() == QImage::Format_RGB888;
    if (in888 && out888)
        Stretch<TRgb888, TRgb888>(d, m_mode);
    else if (in888)
        Stretch<TRgb888, TRgb32>(d, m_mode);
    else if (out888)
        Stretch<TRgb32, TRgb888>(d, m_mode);
    else
        Stretch<TRgb32, TRgb32>(d, m_mode);
}

void StretchImage(const QImage& image, const QRectF& source, QImage& canvas, const QRect& target,
                  TStretch mode) {
    const QRectF s = source.intersected(QRectF(image.rect()));
    const QRect t = target.intersected(canvas.rect());
    if (s.isEmpty() || t.isEmpty()) return;
    // A visible clipping of the target keeps the map where it was: the source shrinks with it.
    QRectF clipped = s;
    if (t != target) {
        const double sx = s.width() / target.width(), sy = s.height() / target.height();
        clipped = QRectF(s.left() + (t.left() - target.left()) * sx,
                         s.top() + (t.top() - target.top()) * sy, t.width() * sx, t.height() * sy);
    }
    TStretcher(image, clipped, t.size(), mode).Draw(QRect(QPoint(0, 0), t.size()), canvas,
                                                    t.topLeft());
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
