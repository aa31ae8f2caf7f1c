#include "MeasureUnits.h"

#include <charconv>
#include <cmath>
#include <string>

namespace varrow {

namespace {

template <std::size_t N> QStringList Captions(const std::array<TMeasureUnit, N>& units) {
    QStringList captions;
    for (const TMeasureUnit& u : units)
        captions << QString::fromLatin1(u.Caption);
    return captions;
}

template <std::size_t N>
QString FormatIn(const std::array<TMeasureUnit, N>& units, double value, int choice,
                 const QLocale& locale) {
    if (choice < 0 || choice >= static_cast<int>(N)) return {};
    const TMeasureUnit& u = units[static_cast<std::size_t>(choice)];
    return FormatFixed(value * u.Multiplier / u.Divisor, u.Decimals, locale) +
           QString::fromLatin1(u.Suffix);
}

// Adds one unit in the last place of a string of decimal digits; returns
// true when the carry runs out of the front (999 -> 000).
bool IncrementDigits(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return false;
        }
        *it = '0';
    }
    return true;
}

} // namespace

QStringList LengthUnitCaptions() {
    return Captions(LengthUnits);
}

QStringList AreaUnitCaptions() {
    return Captions(AreaUnits);
}

QString FormatFixed(double value, int decimals, const QLocale& locale) {
    if (decimals < 0) decimals = 0;
    if (!std::isfinite(value)) return locale.toString(value, 'f', decimals);

    // The value's 18 significant digits d.ddd…e±x, independent of any locale.
    char text[48];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, std::fabs(value),
                                                       std::chars_format::scientific, 17);
    std::string digits;
    const char* p = text;
    for (; p != written.ptr && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    int exponent = 0;
    if (p != written.ptr) std::from_chars(p + (p[1] == '+' ? 2 : 1), written.ptr, exponent);

    // digits now read integer digits, then decimals, with the point after
    // `point` of them; pad so that both sides and the rounding digit exist.
    int point = exponent + 1;
    if (point < 1) {
        digits.insert(0, static_cast<std::size_t>(1 - point), '0');
        point = 1;
    }
    const std::size_t keep = static_cast<std::size_t>(point) + static_cast<std::size_t>(decimals);
    if (digits.size() < keep + 1) digits.append(keep + 1 - digits.size(), '0');
    const bool roundUp = digits[keep] >= '5'; // halves away from zero
    digits.resize(keep);
    if (roundUp && IncrementDigits(digits)) {
        digits.insert(digits.begin(), '1');
        ++point;
    }

    std::size_t lead = 0;
    while (lead + 1 < static_cast<std::size_t>(point) && digits[lead] == '0')
        ++lead;
    QString out;
    // A value that rounds to zero shows no sign.
    if (value < 0 && digits.find_first_not_of('0') != std::string::npos)
        out += locale.negativeSign();
    out += QString::fromLatin1(digits.data() + lead,
                               static_cast<qsizetype>(point) - static_cast<qsizetype>(lead));
    if (decimals > 0) {
        out += locale.decimalPoint();
        out += QString::fromLatin1(digits.data() + point, decimals);
    }
    return out;
}

QString FormatLength(double value, int choice, const QLocale& locale) {
    return FormatIn(LengthUnits, value, choice, locale);
}

QString FormatArea(double value, int choice, const QLocale& locale) {
    return FormatIn(AreaUnits, value, choice, locale);
}

QString FormatAzimuth(double degrees, const QLocale& locale) {
    return FormatFixed(degrees, 1, locale) + QChar(0x00B0);
}

} // namespace varrow
