#include "MapSources.h"

#include "DemoSource.h"
#include "XyzSource.h"

namespace varrow {

const char* const UsgsTopoTemplate =
    "https://basemap.nationalmap.gov/arcgis/rest/services/USGSTopo/MapServer/tile/{z}/{y}/{x}";
const char* const UsgsImageryTemplate = "https://basemap.nationalmap.gov/arcgis/rest/services/"
                                        "USGSImageryOnly/MapServer/tile/{z}/{y}/{x}";
const char* const UsgsImageryTopoTemplate = "https://basemap.nationalmap.gov/arcgis/rest/services/"
                                            "USGSImageryTopo/MapServer/tile/{z}/{y}/{x}";
const char* const UsgsAttribution = "USGS The National Map";

namespace {

struct TKindText {
    TMapSourceKind Kind;
    const char* Id;
    const char* Label;
};

constexpr TKindText Kinds[MapSourceKindCount] = {
    {TMapSourceKind::Demo, "demo", "Demo landscape"},
    {TMapSourceKind::UsgsTopo, "usgs-topo", "USGS Topo"},
    {TMapSourceKind::UsgsImagery, "usgs-imagery", "USGS Imagery"},
    {TMapSourceKind::UsgsImageryTopo, "usgs-imagery-topo", "USGS Imagery Topo"},
    {TMapSourceKind::Xyz, "xyz", "Custom XYZ"},
    {TMapSourceKind::Service, "service", "Tile service (tile.ashx)"},
};

const TKindText& TextOf(TMapSourceKind kind) {
    for (const TKindText& k : Kinds)
        if (k.Kind == kind) return k;
    return Kinds[0];
}

std::size_t Slot(TTileTheme theme) {
    return static_cast<std::size_t>(theme);
}

// The USGS presets differ in their Topo picture; the aerial themes are the
// photographs, in colour and in grey.
TXyzService UsgsService(TMapSourceKind kind) {
    TXyzService s;
    s.Name = MapSourceLabel(kind);
    s.Attribution = QString::fromLatin1(UsgsAttribution);
    s.MaxZoom = UsgsMaxZoom;
    const char* topo = kind == TMapSourceKind::UsgsTopo      ? UsgsTopoTemplate
                       : kind == TMapSourceKind::UsgsImagery ? UsgsImageryTemplate
                                                             : UsgsImageryTopoTemplate;
    s.Layers[Slot(TTileTheme::Topo)] = {QString::fromLatin1(topo), false};
    s.Layers[Slot(TTileTheme::ColorAerial)] = {QString::fromLatin1(UsgsImageryTemplate), false};
    s.Layers[Slot(TTileTheme::Aerial)] = {QString::fromLatin1(UsgsImageryTemplate), true};
    return s;
}

TXyzService CustomService(const TCustomXyzSource& c) {
    TXyzService s;
    s.Name = c.Name.trimmed();
    s.Attribution = c.Attribution.trimmed();
    s.Subdomains = c.Subdomains;
    s.MaxZoom = c.MaxZoom;
    const QString topo = c.Templates[Slot(TTileTheme::Topo)].trimmed();
    const QString colour = c.Templates[Slot(TTileTheme::ColorAerial)].trimmed();
    const QString grey = c.Templates[Slot(TTileTheme::Aerial)].trimmed();
    s.Layers[Slot(TTileTheme::Topo)] = {topo.isEmpty() ? colour : topo, false};
    s.Layers[Slot(TTileTheme::ColorAerial)] = {colour.isEmpty() ? topo : colour, false};
    s.Layers[Slot(TTileTheme::Aerial)] =
        grey.isEmpty() ? TXyzLayer{colour.isEmpty() ? topo : colour, true} : TXyzLayer{grey, false};
    return s;
}

// A tile service while offline: nothing may be asked of it.
class TOfflineServiceSource : public TTileSource {
public:
    explicit TOfflineServiceSource(QString base) : m_base(std::move(base)) {}
    QString Key() const override { return m_base + QStringLiteral("|offline"); }
    QString Name() const override { return m_base + QStringLiteral(" (offline)"); }
    void FetchTile(TIdHTTPEx&, const TTileLocation&, QImage&) const override {
        throw TTileError("Offline: a tile service keeps no tiles on disk.");
    }

private:
    QString m_base;
};

} // namespace

QString MapSourceId(TMapSourceKind kind) {
    return QString::fromLatin1(TextOf(kind).Id);
}

QString MapSourceLabel(TMapSourceKind kind) {
    return QString::fromLatin1(TextOf(kind).Label);
}

bool MapSourceKindOfId(const QString& id, TMapSourceKind& kind) {
    for (const TKindText& k : Kinds) {
        if (id.trimmed().compare(QLatin1String(k.Id), Qt::CaseInsensitive) == 0) {
            kind = k.Kind;
            return true;
        }
    }
    return false;
}

QString DiskCacheFolder(const TMapSourceChoice& choice) {
    return choice.CacheRoot.isEmpty() ? TTileDiskCache::DefaultFolder()
                                      : TTileDiskCache::TilesFolderOf(choice.CacheRoot);
}

TTileSourcePtr MakeTileSource(const TMapSourceChoice& choice) {
    switch (choice.Kind) {
    case TMapSourceKind::Demo:
        return std::make_shared<TDemoSource>();
    case TMapSourceKind::Service: {
        const QString base = choice.Service.trimmed().isEmpty()
                                 ? QString::fromLatin1(DefaultTileService)
                                 : choice.Service.trimmed();
        if (!choice.Offline) return std::make_shared<TTileServiceSource>(base);
        const TTileServiceSource checked(base); // refuses what is no address
        return std::make_shared<TOfflineServiceSource>(checked.Base());
    }
    case TMapSourceKind::UsgsTopo:
    case TMapSourceKind::UsgsImagery:
    case TMapSourceKind::UsgsImageryTopo:
    case TMapSourceKind::Xyz:
        break;
    }
    const TXyzService service = choice.Kind == TMapSourceKind::Xyz ? CustomService(choice.Custom)
                                                                   : UsgsService(choice.Kind);
    return std::make_shared<TXyzSource>(
        service, TTileDiskCache::Shared(DiskCacheFolder(choice), choice.CacheLimitBytes),
        choice.Offline);
}

bool ParseSourceArgument(const QString& text, TMapSourceChoice& choice, QString& error) {
    const QString t = text.trimmed();
    TMapSourceKind kind = TMapSourceKind::Demo;
    if (t.startsWith(QLatin1String("xyz:"), Qt::CaseInsensitive)) {
        const QString urlTemplate = t.mid(4);
        const QString problem = XyzTemplateProblem(urlTemplate);
        if (!problem.isEmpty()) {
            error = problem;
            return false;
        }
        choice.Kind = TMapSourceKind::Xyz;
        choice.Custom.Templates = {};
        choice.Custom.Templates[Slot(TTileTheme::Topo)] = urlTemplate;
        return true;
    }
    if (t.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
        t.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        const QString problem = TileServiceProblem(t);
        if (!problem.isEmpty()) {
            error = problem;
            return false;
        }
        choice.Kind = TMapSourceKind::Service;
        choice.Service = t;
        return true;
    }
    if (MapSourceKindOfId(t, kind) && kind != TMapSourceKind::Xyz &&
        kind != TMapSourceKind::Service) {
        choice.Kind = kind;
        return true;
    }
    error = QStringLiteral("--source %1: expected demo, usgs-topo, usgs-imagery, "
                           "usgs-imagery-topo, xyz:TEMPLATE or the address of a tile.ashx "
                           "service (http://HOST:PORT)")
                .arg(t);
    return false;
}

} // namespace varrow
