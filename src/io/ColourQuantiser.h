#pragma once

// Reduces a true-colour picture to a palette of at most 256 colours for the 8-bit formats (GIF,
// IFF). A picture with few enough colours keeps them exactly, which maps with flat colours
// often do; otherwise the palette comes from a median cut of a 5-bit-per-channel histogram,
// refined by a few k-means passes. Two passes over the rows, so the picture is never copied.
// Each instance is self-contained: separate instances may run on separate threads.

#include <QRgb>

#include <array>
#include <cstdint>
#include <vector>

namespace varrow {

class TColourQuantiser {
public:
    TColourQuantiser();

    // First pass: every pixel of the picture, in any order.
    void AddPixels(const QRgb* pixels, int count);
    // Chooses the palette (1 to maxColours entries, maxColours at most 256).
    void Build(int maxColours = 256);
    const std::vector<QRgb>& Palette() const { return Colours; }
    // Second pass: palette indices of pixels.
    void Map(const QRgb* pixels, int count, std::uint8_t* indices) const;

private:
    static constexpr int CellCount = 32 * 32 * 32;
    static constexpr int ExactSlots = 512; // open addressing, at most 256 used
    static constexpr std::uint16_t NoIndex = 0xffff;

    struct TCell {
        std::uint64_t Count = 0;
        std::uint64_t Sum[3] = {0, 0, 0};
    };

    static int CellOf(QRgb colour);
    static int ExactSlotOf(QRgb colour);
    int ExactIndexOf(QRgb colour) const; // -1 for a colour not seen in the first pass
    int NearestColour(int r, int g, int b) const;
    void BuildExact();
    void BuildFromHistogram(int maxColours);

    std::vector<TCell> Cells;
    // Distinct colours seen while there are at most 256 of them; slot value 0 means empty, so
    // colours are stored with their alpha byte forced to 0xff.
    std::array<QRgb, ExactSlots> ExactColours{};
    std::array<std::uint8_t, ExactSlots> ExactIndex{};
    int ExactCount = 0;
    bool Exact = true;

    std::vector<QRgb> Colours;
    std::vector<std::uint16_t> CellIndex; // palette index per histogram cell, NoIndex if unseen
};

} // namespace varrow
