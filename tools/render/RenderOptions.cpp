#include "RenderOptions.h"

#include "print/PrintOutput.h"

#include <QRegularExpression>

#include <cmath>
#include <initializer_list>
#include <utility>

namespace varrow {

namespace {

QString AllowedScales() {
    QStringList scales;
    for (int i = 0; i < ScaleCount; ++i)
        scales << QString::number(ScaleOfIndex(i));
    return scales.join(QStringLiteral(", "));
}

bool ParseNumbers(const QString& text, int count, QList<double>& out) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count)
        return false;
    out.clear();
    for (const QString& p : parts) {
        bool ok = false;
        const double v = p.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v))
            return false;
        out << v;
    }
    return true;
}

// Picks the value named by one of the option's words (case-insensitive); on
// anything else says which words are allowed.
template <typename T>
std::optional<T> Choose(const QString& option, const QString& text,
                        std::initializer_list<std::pair<const char*, T>> words, QString& error) {
    QStringList allowed;
    for (const auto& [word, value] : words) {
        if (text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0)
            return value;
        allowed << QLatin1String(word);
    }
    error = QStringLiteral("bad %1 '%2': allowed are %3").arg(option, text, allowed.join(QStringLiteral(", ")));
    return std::nullopt;
}

struct Parser {
    const QStringList& args;
    QString& error;
    qsizetype i = 0;

    // The value of option args[i], taken from "--opt=value" or the next argument.
    std::optional<QString> Value(const QString& option, const QString& inlineValue, bool hasInline) {
        if (hasInline)
            return inlineValue;
        if (i + 1 >= args.size()) {
            error = QStringLiteral("%1 needs a value").arg(option);
            return std::nullopt;
        }
        return args[++i];
    }
};

} // namespace

std::optional<TRenderOptions> ParseRenderOptions(const QStringList& args, QString& error) {
    TRenderOptions o;
    Parser p{args, error};
    bool haveUtm = false, haveCentre = false;
    double centreLat = 0, centreLon = 0;

    for (p.i = 0; p.i < args.size(); ++p.i) {
        QString option = args[p.i];
        QString inlineValue;
        const qsizetype eq = option.indexOf(QLatin1Char('='));
        const bool hasInline = option.startsWith(QLatin1String("--")) && eq > 0;
        if (hasInline) {
            inlineValue = option.mid(eq + 1);
            option = option.left(eq);
        }
        auto value = [&]() { return p.Value(option, inlineValue, hasInline); };

        if (option == QLatin1String("--help") || option == QLatin1String("-h")) {
            o.ShowHelp = true;
        } else if (option == QLatin1String("--version")) {
            o.ShowVersion = true;
        } else if (option == QLatin1String("--quiet") || option == QLatin1String("-q")) {
            o.Quiet = true;
        } else if (option == QLatin1String("--kmz-exact")) {
            o.KmzExact = true;
        } else if (option == QLatin1String("--world-file")) {
            o.WorldFile = true;
        } else if (option == QLatin1String("--allow-lost")) {
            o.AllowLost = true;
        } else if (option == QLatin1String("-o") || option == QLatin1String("--output")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            o.Output = *v;
        } else if (option == QLatin1String("--kmz")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            o.KmzFile = *v;
        } else if (option == QLatin1String("--position")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            o.Position = *v;
        } else if (option == QLatin1String("--positions")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            o.Positions = *v;
        } else if (option == QLatin1String("--print")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            o.PrintFile = *v;
        } else if (IsPrintOption(option)) {
            const auto v = value();
            if (!v || !ParsePrintOption(option, *v, o.Print, error))
                return std::nullopt;
        } else if (option == QLatin1String("--service")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            const QString problem = TileServiceProblem(*v);
            if (!problem.isEmpty()) {
                error = QStringLiteral("bad --service: %1").arg(problem);
                return std::nullopt;
            }
            o.Service = *v;
        } else if (option == QLatin1String("--source")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            if (!ParseSourceArgument(*v, o.Source, error))
                return std::nullopt;
            o.HasSource = true;
        } else if (option == QLatin1String("--offline")) {
            o.Offline = true;
        } else if (option == QLatin1String("--cache")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            o.CacheRoot = *v;
        } else if (option == QLatin1String("--grid")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            // The grid types of the settings dialog, by their figures.
            const auto grid = Choose<std::optional<TGridType>>(
                option, *v,
                {{"none", std::nullopt},
                 {"7.5", TGridType::Minutes7_5},
                 {"15", TGridType::Minutes15},
                 {"30", TGridType::Minutes30},
                 {"1", TGridType::OneDegree},
                 {"tiles", TGridType::Tiles},
                 {"utm", TGridType::Utm}},
                error);
            if (!grid)
                return std::nullopt;
            o.Grid.Show = grid->has_value();
            if (*grid) o.Grid.Type = **grid;
        } else if (option == QLatin1String("--utm")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            QList<double> n;
            if (!ParseNumbers(*v, 3, n) || n[0] != std::trunc(n[0]) || n[0] == 0 || std::abs(n[0]) > 60) {
                error = QStringLiteral("bad --utm '%1': give ZONE,EASTING,NORTHING with a zone of 1..60 "
                                       "(negative for the southern hemisphere), e.g. 13,307200,3584000")
                            .arg(*v);
                return std::nullopt;
            }
            o.View.Zone = static_cast<int>(n[0]);
            o.View.Easting = n[1];
            o.View.Northing = n[2];
            haveUtm = true;
        } else if (option == QLatin1String("--center") || option == QLatin1String("--centre")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            QList<double> n;
            if (!ParseNumbers(*v, 2, n) || std::abs(n[0]) > 84 || std::abs(n[1]) > 180) {
                error = QStringLiteral("bad --center '%1': give LAT,LON in decimal degrees, latitude "
                                       "-84..84 and longitude -180..180, e.g. 32.78,-96.80")
                            .arg(*v);
                return std::nullopt;
            }
            centreLat = n[0];
            centreLon = n[1];
            haveCentre = true;
        } else if (option == QLatin1String("--theme")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            const auto theme = Choose<TTileTheme>(option, *v,
                                                  {{"topo", TTileTheme::Topo},
                                                   {"aerial", TTileTheme::Aerial},
                                                   {"color-aerial", TTileTheme::ColorAerial}},
                                                  error);
            if (!theme)
                return std::nullopt;
            o.View.Theme = *theme;
        } else if (option == QLatin1String("--scale")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            bool ok = false;
            const double s = v->toDouble(&ok);
            if (!ok || ScaleIndexOf(s) < 0) {
                error = QStringLiteral("bad --scale '%1': allowed metres per pixel are %2").arg(*v, AllowedScales());
                return std::nullopt;
            }
            o.View.Scale = s;
        } else if (option == QLatin1String("--tiles")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            static const QRegularExpression size(QStringLiteral("^(\\d{1,3})[xX](\\d{1,3})$"));
            const QRegularExpressionMatch m = size.match(*v);
            const int nx = m.hasMatch() ? m.captured(1).toInt() : 0;
            const int ny = m.hasMatch() ? m.captured(2).toInt() : 0;
            if (nx < TMapViewState::MinTileCount || nx > TMapViewState::MaxTileCount ||
                ny < TMapViewState::MinTileCount || ny > TMapViewState::MaxTileCount) {
                error = QStringLiteral("bad --tiles '%1': give NXxNY with 1..75 each, e.g. 5x5").arg(*v);
                return std::nullopt;
            }
            o.View.TileCountX = nx;
            o.View.TileCountY = ny;
        } else if (option == QLatin1String("--speed")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            const auto speed = Choose<TConnectionSpeed>(
                option, *v,
                {{"broadband", TConnectionSpeed::Broadband}, {"dialup", TConnectionSpeed::Dialup}},
                error);
            if (!speed)
                return std::nullopt;
            o.View.Speed = *speed;
        } else {
            error = QStringLiteral("unknown argument '%1' (see --help)").arg(args[p.i]);
            return std::nullopt;
        }
    }

    if (o.ShowHelp || o.ShowVersion)
        return o;
    if (haveUtm && haveCentre) {
        error = QStringLiteral("give either --utm or --center, not both");
        return std::nullopt;
    }
    if ((haveUtm || haveCentre) && !o.Position.isEmpty()) {
        error = QStringLiteral("give either --position or --utm/--center, not both");
        return std::nullopt;
    }
    if (o.HasSource && !o.Service.isEmpty()) {
        error = QStringLiteral("give either --source or --service, not both");
        return std::nullopt;
    }
    if (o.Output.isEmpty() && o.PrintFile.isEmpty() && o.KmzFile.isEmpty()) {
        error = QStringLiteral("no output file: give -o FILE (the extension chooses the format: "
                               ".png, .jpg, .gif, .tif, .pcx, .lbm, otherwise BMP) or --print "
                               "FILE.pdf or --kmz FILE.kmz");
        return std::nullopt;
    }
    // Centring needs the final scale and size, so it comes after all options.
    if (haveCentre)
        o.View.CentreOn(centreLat, centreLon);
    return o;
}

QString RenderUsage() {
    return QStringLiteral(
        "Usage: varrow-render [--utm ZONE,EASTING,NORTHING | --center LAT,LON] [options]\n"
        "                     (-o FILE | --print FILE.pdf)...\n"
        "\n"
        "Builds a map from the tile service and writes it as an image.\n"
        "\n"
        "Where:\n"
        "  --utm ZONE,E,N       lower-left corner of the map (default 13,307200,3584000)\n"
        "  --center LAT,LON     centre of the map, decimal degrees\n"
        "  --position NAME      a saved position: its place, theme and scale\n"
        "  --positions FILE     the position list to look it up in (default: the user's\n"
        "                       VarrowPosList.xml)\n"
        "What:\n"
        "  --theme T            topo (default), aerial, color-aerial\n"
        "  --scale M            metres per pixel: %1 (default 512)\n"
        "  --tiles NXxNY        size in 200-pixel tiles, 1..75 each (default 3x3)\n"
        "  --speed S            broadband (14 downloads at once, default) or dialup (1)\n"
        "  --grid G             none (default); 7.5, 15, 30 (minutes) or 1 (degree) for lines\n"
        "                       of latitude and longitude; tiles for tile outlines; utm for\n"
        "                       the labelled UTM grid\n"
        "  --source S           map source: demo (the built-in landscape), usgs-topo,\n"
        "                       usgs-imagery, usgs-imagery-topo, xyz:TEMPLATE with {z} {x} {y},\n"
        "                       or a tile.ashx address (default: $VARROW_TILE_SERVICE, then\n"
        "                       the source chosen in the settings, then demo)\n"
        "  --service URL        a tile.ashx service, as --source URL\n"
        "  --offline            no network: only the tiles the disk cache holds\n"
        "  --cache DIR          the disk cache of source tiles (default: $VARROW_CACHE, then\n"
        "                       the per-user cache folder)\n"
        "Output:\n"
        "  -o, --output FILE    format by extension: .png .jpg/.jpeg .gif .tif/.tiff .pcx .lbm,\n"
        "                       anything else BMP\n"
        "  --kmz FILE           a KMZ ground overlay of the map for Google Earth\n"
        "  --kmz-exact          the overlay warped into latitude and longitude, so that it\n"
        "                       lies within a pixel of its place (a PNG with clear corners)\n"
        "  --world-file         beside the image its world file and .prj; TIFF files\n"
        "                       also carry GeoTIFF tags\n"
        "%2\n"
        "  --allow-lost         exit 0 even when tiles were lost\n"
        "  -q, --quiet          no progress bar and no summary\n"
        "  -h, --help           this text\n"
        "  --version            the version\n"
        "\n"
        "Exit status: 0 complete map; 2 bad arguments; 3 tiles lost (the file is still\n"
        "written); 4 the output could not be written.\n")
        .arg(AllowedScales(), PrintOptionsUsage());
}

} // namespace varrow
