#include "io/ColourQuantiser.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varrow {

namespace {

constexpr QRgb Opaque = 0xff000000u;

// A histogram cell as seen by the median cut: its mean colour and how many pixels fell in it.
struct TItem {
    int Cell;
    double Weight;
    double Colour[3];
};

struct TBox {
    int Begin;
    int End;
    double Error; // sum of squared distances from the box's mean, weighted by pixel count
};

struct TMoments {
    double W = 0;
    double S[3] = {0, 0, 0};
    double Q[3] = {0, 0, 0};

    void Add(const TItem& item) {
        W += item.Weight;
        for (int c = 0; c < 3; ++c) {
            S[c] += item.Weight * item.Colour[c];
            Q[c] += item.Weight * item.Colour[c] * item.Colour[c];
        }
    }
    TMoments Minus(const TMoments& other) const {
        TMoments m;
        m.W = W - other.W;
        for (int c = 0; c < 3; ++c) {
            m.S[c] = S[c] - other.S[c];
            m.Q[c] = Q[c] - other.Q[c];
        }
        return m;
    }
    double Error() const {
        if (W <= 0) return 0;
        double e = 0;
        for (int c = 0; c < 3; ++c)
            e += Q[c] - S[c] * S[c] / W;
        return e;
    }
};

TMoments MomentsOf(const std::vector<TItem>& items, int begin, int end) {
    TMoments m;
    for (int i = begin; i < end; ++i)
        m.Add(items[i]);
    return m;
}

QRgb MeanColour(const TMoments& m) {
    int c[3];
    for (int k = 0; k < 3; ++k)
        c[k] = std::clamp(static_cast<int>(std::lround(m.S[k] / m.W)), 0, 255);
    return qRgb(c[0], c[1], c[2]);
}

// Splits items[box] in two where the summed error of the halves is least, along the channel
// with the largest spread. Returns the first index of the upper half.
int SplitPoint(std::vector<TItem>& items, const TBox& box) {
    const TMoments all = MomentsOf(items, box.Begin, box.End);
    int axis = 0;
    double widest = -1;
    for (int c = 0; c < 3; ++c) {
        const double spread = all.Q[c] - all.S[c] * all.S[c] / all.W;
        if (spread > widest) {
            widest = spread;
            axis = c;
        }
    }
    std::sort(items.begin() + box.Begin, items.begin() + box.End,
              [axis](const TItem& a, const TItem& b) {
                  if (a.Colour[axis] != b.Colour[axis]) return a.Colour[axis] < b.Colour[axis];
                  return a.Cell < b.Cell;
              });
    TMoments lower;
    double best = std::numeric_limits<double>::max();
    int split = box.Begin + 1;
    for (int k = box.Begin + 1; k < box.End; ++k) {
        lower.Add(items[k - 1]);
        const double e = lower.Error() + all.Minus(lower).Error();
        if (e < best) {
            best = e;
            split = k;
        }
    }
    return split;
}

} // namespace

TColourQuantiser::TColourQuantiser() : Cells(CellCount) {}

int TColourQuantiser::CellOf(QRgb colour) {
    return static_cast<int>(((colour >> 9) & 0x7c00u) | ((colour >> 6) & 0x03e0u) |
                            ((colour >> 3) & 0x001fu));
}

int TColourQuantiser::ExactSlotOf(QRgb colour) {
    return static_cast<int>(((colour & 0xffffffu) * 2654435761u) >> 23) & (ExactSlots - 1);
}

int TColourQuantiser::ExactIndexOf(QRgb colour) const {
    int slot = ExactSlotOf(colour);
    while (ExactColours[slot] != 0) {
        if (ExactColours[slot] == colour) return ExactIndex[slot];
        slot = (slot + 1) & (ExactSlots - 1);
    }
    return -1;
}

void TColourQuantiser::AddPixels(const QRgb* pixels, int count) {
    QRgb last = 0; // never a stored colour: those are opaque
    for (int i = 0; i < count; ++i) {
        const QRgb colour = pixels[i] | Opaque;
        TCell& cell = Cells[CellOf(colour)];
        ++cell.Count;
        cell.Sum[0] += qRed(colour);
        cell.Sum[1] += qGreen(colour);
        cell.Sum[2] += qBlue(colour);
        if (!Exact || colour == last) continue;
        last = colour;
        int slot = ExactSlotOf(colour);
        while (ExactColours[slot] != 0 && ExactColours[slot] != colour)
            slot = (slot + 1) & (ExactSlots - 1);
        if (ExactColours[slot] == colour) continue;
        if (ExactCount == 256) {
            Exact = false;
            continue;
        }
        ExactColours[slot] = colour;
        ++ExactCount;
    }
}

void TColourQuantiser::Build(int maxColours) {
    maxColours = std::clamp(maxColours, 1, 256);
    Colours.clear();
    if (Exact && ExactCount <= maxColours)
        BuildExact();
    else
        BuildFromHistogram(maxColours);
    if (Colours.empty()) Colours.push_back(qRgb(0, 0, 0)); // a picture with no pixels
}

void TColourQuantiser::BuildExact() {
    Exact = true;
    for (const QRgb colour : ExactColours)
        if (colour != 0) Colours.push_back(colour);
    std::sort(Colours.begin(), Colours.end()); // same picture, same palette
    for (std::size_t i = 0; i < Colours.size(); ++i) {
        int slot = ExactSlotOf(Colours[i]);
        while (ExactColours[slot] != Colours[i])
            slot = (slot + 1) & (ExactSlots - 1);
        ExactIndex[slot] = static_cast<std::uint8_t>(i);
    }
}

void TColourQuantiser::BuildFromHistogram(int maxColours) {
    Exact = false;
    std::vector<TItem> items;
    for (int cell = 0; cell < CellCount; ++cell) {
        const TCell& c = Cells[cell];
        if (c.Count == 0) continue;
        const double w = static_cast<double>(c.Count);
        items.push_back({cell,
                         w,
                         {static_cast<double>(c.Sum[0]) / w, static_cast<double>(c.Sum[1]) / w,
                          static_cast<double>(c.Sum[2]) / w}});
    }
    const int n = static_cast<int>(items.size());

    // Median cut: keep splitting the box that holds the most error.
    std::vector<TBox> boxes;
    if (n > 0) boxes.push_back({0, n, MomentsOf(items, 0, n).Error()});
    while (static_cast<int>(boxes.size()) < maxColours) {
        int worst = -1;
        for (int b = 0; b < static_cast<int>(boxes.size()); ++b)
            if (boxes[b].End - boxes[b].Begin > 1 &&
                (worst < 0 || boxes[b].Error > boxes[worst].Error))
                worst = b;
        if (worst < 0) break;
        const TBox box = boxes[worst];
        const int split = SplitPoint(items, box);
        boxes[worst] = {box.Begin, split, MomentsOf(items, box.Begin, split).Error()};
        boxes.push_back({split, box.End, MomentsOf(items, split, box.End).Error()});
    }
    for (const TBox& box : boxes)
        Colours.push_back(MeanColour(MomentsOf(items, box.Begin, box.End)));

    // A few k-means passes move each colour to the mean of the cells nearest to it.
    std::vector<int> nearest(items.size());
    for (int pass = 0; pass < 3; ++pass) {
        std::vector<TMoments> sums(Colours.size());
        for (int i = 0; i < n; ++i) {
            const TItem& item = items[i];
            nearest[i] = NearestColour(static_cast<int>(std::lround(item.Colour[0])),
                                       static_cast<int>(std::lround(item.Colour[1])),
                                       static_cast<int>(std::lround(item.Colour[2])));
            sums[nearest[i]].Add(item);
        }
        if (pass == 2) break; // the assignment of the last pass is the final mapping
        for (std::size_t k = 0; k < Colours.size(); ++k)
            if (sums[k].W > 0) Colours[k] = MeanColour(sums[k]);
    }
    CellIndex.assign(CellCount, NoIndex);
    for (int i = 0; i < n; ++i)
        CellIndex[items[i].Cell] = static_cast<std::uint16_t>(nearest[i]);
}

int TColourQuantiser::NearestColour(int r, int g, int b) const {
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (int k = 0; k < static_cast<int>(Colours.size()); ++k) {
        const int dr = qRed(Colours[k]) - r;
        const int dg = qGreen(Colours[k]) - g;
        const int db = qBlue(Colours[k]) - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = k;
        }
    }
    return best;
}

void TColourQuantiser::Map(const QRgb* pixels, int count, std::uint8_t* indices) const {
    for (int i = 0; i < count; ++i) {
        const QRgb colour = pixels[i] | Opaque;
        int index;
        if (Exact)
            index = ExactIndexOf(colour);
        else
            index = CellIndex[CellOf(colour)] == NoIndex ? -1 : CellIndex[CellOf(colour)];
        // Only pixels that were not in the first pass are unknown.
        if (index < 0) index = NearestColour(qRed(colour), qGreen(colour), qBlue(colour));
        indices[i] = static_cast<std::uint8_t>(index);
    }
}

} // namespace varrow
