#include "Readouts.h"

#include "tiles/TileLibrary.h"

#include <cmath>
#include <cstdint>

namespace varrow {

QString FormatDms(double degrees) {
    constexpr std::int64_t MsPerDegree = 3600000;
    constexpr std::int64_t MsPerMinute = 60000;
    // Ties to even, as all rounding in the program.
    const auto ms = static_cast<std::int64_t>(std::nearbyint(std::fabs(degrees) * MsPerDegree));
    const std::int64_t whole = ms / MsPerDegree;
    const std::int64_t rest = ms % MsPerDegree;
    const std::int64_t minutes = rest / MsPerMinute;
    const std::int64_t seconds = (rest % MsPerMinute) / 1000;
    return QStringLiteral("%1%2\u00B0%3'%4\"")
        .arg(degrees < 0 ? QStringLiteral("-") : QString())
        .arg(whole)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

QString FormatGrouped(double value, int decimals, const QLocale& locale) {
    QLocale grouped = locale;
    grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(value, 'f', decimals);
}

TMouseReadouts MouseReadouts(const TMapPosition& position, const QLocale& locale) {
    TMouseReadouts r;
    if (!IsValidZone(position.Zone) || !(std::fabs(position.Latitude) <= 90.0) ||
        !(std::fabs(position.Longitude) <= 360.0))
        return r;
    // Across the date line a place reads in degrees east or west as usual,
    // not as 183 degrees west.
    double longitude = std::fmod(position.Longitude + 180.0, 360.0);
    if (longitude < 0) longitude += 360.0;
    longitude -= 180.0;
    r.Easting = FormatGrouped(position.Easting, 0, locale);
    r.Northing = FormatGrouped(position.Northing, 0, locale);
    r.Zone = QString::number(position.Zone);
    r.Longitude = FormatGrouped(longitude, 4, locale);
    r.Latitude = FormatGrouped(position.Latitude, 4, locale);
    r.Longitude2 = FormatDms(longitude);
    r.Latitude2 = FormatDms(position.Latitude);
    return r;
}

TSizeReadouts SizeReadouts(int tilesX, int tilesY) {
    const std::int64_t width = std::int64_t{tilesX} * TileSize;
    const std::int64_t height = std::int64_t{tilesY} * TileSize;
    TSizeReadouts r;
    r.PixelSize = QStringLiteral("%1 X %2").arg(width).arg(height);
    r.TileCount = QString::number(std::int64_t{tilesX} * tilesY);
    r.Memory = QStringLiteral("%1 meg").arg(width * height * 4 / 1048576);
    return r;
}

QString LostTilesMessage(const TLoadStats& stats) {
    if (stats.Lost <= 0) return QString();
    QString message = QStringLiteral("%1 of %2 tiles lost from %3")
                          .arg(stats.Lost)
                          .arg(stats.Total)
                          .arg(stats.Source);
    if (!stats.LastError.isEmpty()) message += QStringLiteral(": ") + stats.LastError;
    return message;
}

} // namespace varrow
