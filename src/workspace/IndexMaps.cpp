#include "IndexMaps.h"

#include "workspace/Readouts.h"

#include <cmath>

namespace varrow {

namespace {

constexpr std::array<TIndexFrame, IndexMapCount> Frames{{
    {-125.0, 49.6, -67.5, 23.6},  // conterminous United States
    {-178.8, 71.5, -130.0, 51.0}, // Alaska
    {-160.3, 22.1, -154.7, 18.8}, // Hawaii
}};

constexpr std::array<TIndexMap, IndexMapCount> Order{TIndexMap::UnitedStates, TIndexMap::Alaska,
                                                     TIndexMap::Hawaii};

QString Decimals(double value, int decimals, const QLocale& locale) {
    QLocale plain = locale;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    return plain.toString(value, 'f', decimals);
}

} // namespace

const TIndexFrame& IndexFrame(TIndexMap map) {
    return Frames[static_cast<std::size_t>(map)];
}

const std::array<TIndexMap, IndexMapCount>& IndexMapOrder() {
    return Order;
}

QString IndexMapPicture(TIndexMap map) {
    switch (map) {
    case TIndexMap::Alaska:
        return QStringLiteral(":/indexmaps/alaska.png");
    case TIndexMap::Hawaii:
        return QStringLiteral(":/indexmaps/hawaii.png");
    case TIndexMap::UnitedStates:
        break;
    }
    return QStringLiteral(":/indexmaps/us.png");
}

TGeoPosition IndexPixelToGeographic(TIndexMap map, int x, int y, int width, int height) {
    const TIndexFrame& f = IndexFrame(map);
    TGeoPosition p;
    p.Longitude = f.West + x * (f.East - f.West) / width;
    p.Latitude = f.North - y * (f.North - f.South) / height;
    return p;
}

std::optional<QPoint> IndexGeographicToPixel(TIndexMap map, double longitude, double latitude,
                                             int width, int height) {
    const TIndexFrame& f = IndexFrame(map);
    // Written so that NaN fails every test and is on no map.
    if (!(longitude >= f.West && longitude <= f.East && latitude >= f.South && latitude <= f.North))
        return std::nullopt;
    const double x = std::trunc((longitude - f.West) / (f.East - f.West) * width);
    const double y = std::trunc((latitude - f.North) / (f.South - f.North) * height);
    return QPoint(static_cast<int>(x), static_cast<int>(y));
}

std::optional<TIndexHit> FindIndexMap(double longitude, double latitude) {
    for (const TIndexMap map : Order)
        if (const auto pixel = IndexGeographicToPixel(map, longitude, latitude))
            return TIndexHit{map, *pixel};
    return std::nullopt;
}

TIndexReadouts IndexReadouts(TIndexMap map, int x, int y, int width, int height,
                             const QLocale& locale) {
    const TGeoPosition g = IndexPixelToGeographic(map, x, y, width, height);
    const TUtmPosition u = GeographicToUtm(NorthAmerican1983, g.Latitude, g.Longitude);
    const int metreDecimals = map == TIndexMap::UnitedStates ? 0 : 3;
    TIndexReadouts r;
    r.Longitude = Decimals(g.Longitude, 3, locale) + QLatin1Char(' ');
    r.Latitude = Decimals(g.Latitude, 3, locale) + QLatin1Char(' ');
    r.Easting = FormatGrouped(u.Easting, metreDecimals, locale);
    r.Northing = FormatGrouped(u.Northing, metreDecimals, locale);
    r.Zone = QString::number(u.Zone);
    return r;
}

} // namespace varrow
