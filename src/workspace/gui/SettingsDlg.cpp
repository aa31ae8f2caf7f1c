#include "SettingsDlg.h"

#include "controls/gui/CentreOnScreen.h"
#include "workspace/GridOverlay.h"
#include "workspace/MapSession.h"
#include "workspace/UserDefaults.h"

#include "geo/WebMercator.h"
#include "tiles/SourceTiles.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <exception>

namespace varrow {

TSettingsDlg::TSettingsDlg(TMapSession& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("SettingsDlg"));
    setWindowTitle(tr("Settings"));
    setModal(true);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(BuildGridPage(), tr("Grid"));
    PageControl1->addTab(BuildMapSourcePage(), tr("Map Source"));

    CloseBtn = new QPushButton(tr("Close"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    CloseBtn->setAutoDefault(false);
    // Escape ends the dialog the same way (QDialog rejects on it).
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CloseBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* TSettingsDlg::BuildGridPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("GridPage"));
    GridRadio = new QGroupBox(tr("Grid Type"), page);
    GridRadio->setObjectName(QStringLiteral("GridRadio"));
    GridButtons = new QButtonGroup(GridRadio);
    auto* grid = new QGridLayout(GridRadio);
    const QStringList captions = GridTypeCaptions();
    const int rows = (GridTypeCount + 1) / 2;
    for (int i = 0; i < GridTypeCount; ++i) {
        auto* radio = new QRadioButton(captions[i], GridRadio);
        radio->setObjectName(QStringLiteral("GridRadioItem%1").arg(i));
        GridButtons->addButton(radio, i);
        grid->addWidget(radio, i % rows, i / rows);
    }
    GridButtons->button(static_cast<int>(TGridType::Minutes7_5))->setChecked(true);
    // The grid type in force is the one the dialog shows; the next load draws it.
    connect(GridButtons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (!checked) return;
        TGridOptions options = m_session.GridOptions();
        options.Type = static_cast<TGridType>(id);
        m_session.SetGridOptions(options);
    });

    Button1 = new QPushButton(tr("Apply"), page);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TSettingsDlg::Button1Click);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(GridRadio);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(Button1);
    layout->addLayout(row);
    layout->addStretch(1);
    return page;
}

QWidget* TSettingsDlg::BuildCustomXyzBox() {
    CustomXyzBox = new QGroupBox(tr("Custom XYZ service"));
    CustomXyzBox->setObjectName(QStringLiteral("CustomXyzBox"));
    auto* form = new QFormLayout(CustomXyzBox);
    const auto edit = [&](const char* name, const QString& placeholder) {
        auto* e = new QLineEdit(CustomXyzBox);
        e->setObjectName(QString::fromLatin1(name));
        e->setPlaceholderText(placeholder);
        return e;
    };
    const QString example = QStringLiteral("https://tiles.example.org/{z}/{x}/{y}.png");
    XyzTemplateEdits[static_cast<int>(TTileTheme::Topo)] = edit("XyzTopoEdit", example);
    XyzTemplateEdits[static_cast<int>(TTileTheme::ColorAerial)] =
        edit("XyzColorAerialEdit", tr("the Topo template"));
    XyzTemplateEdits[static_cast<int>(TTileTheme::Aerial)] =
        edit("XyzAerialEdit", tr("the Color Aerial template, in grey"));
    XyzTemplateEdits[static_cast<int>(TTileTheme::Topo)]->setMinimumWidth(
        fontMetrics().horizontalAdvance(example) + 16);
    XyzNameEdit = edit("XyzNameEdit", tr("the service's host"));
    XyzAttributionEdit = edit("XyzAttributionEdit", tr("as the service asks to be credited"));
    XyzSubdomainsEdit = edit("XyzSubdomainsEdit", QStringLiteral("a,b,c"));
    XyzMaxZoomSpin = new QSpinBox(CustomXyzBox);
    XyzMaxZoomSpin->setObjectName(QStringLiteral("XyzMaxZoomSpin"));
    XyzMaxZoomSpin->setRange(0, MaxMercatorZoom);
    form->addRow(tr("Topo:"), XyzTemplateEdits[static_cast<int>(TTileTheme::Topo)]);
    form->addRow(tr("Color Aerial:"), XyzTemplateEdits[static_cast<int>(TTileTheme::ColorAerial)]);
    form->addRow(tr("Aerial:"), XyzTemplateEdits[static_cast<int>(TTileTheme::Aerial)]);
    form->addRow(tr("Name:"), XyzNameEdit);
    form->addRow(tr("Attribution:"), XyzAttributionEdit);
    form->addRow(tr("Subdomains ({s}):"), XyzSubdomainsEdit);
    form->addRow(tr("Maximum zoom:"), XyzMaxZoomSpin);
    return CustomXyzBox;
}

QWidget* TSettingsDlg::BuildMapSourcePage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("MapSourcePage"));
    MapSourceList = new QComboBox(page);
    MapSourceList->setObjectName(QStringLiteral("MapSourceList"));
    for (int k = 0; k < MapSourceKindCount; ++k) {
        const auto kind = static_cast<TMapSourceKind>(k);
        const QString label = MapSourceLabel(kind);
        MapSourceList->addItem(kind == TMapSourceKind::Xyz ? label + QStringLiteral("...") : label,
                               k);
    }
    connect(MapSourceList, &QComboBox::currentIndexChanged, this, [this] { KindChanged(); });

    TileServiceRow = new QWidget(page);
    TileServiceRow->setObjectName(QStringLiteral("TileServiceRow"));
    TileServiceEdit = new QLineEdit(TileServiceRow);
    TileServiceEdit->setObjectName(QStringLiteral("TileServiceEdit"));
    TileServiceEdit->setPlaceholderText(QString::fromLatin1(DefaultTileService));
    connect(TileServiceEdit, &QLineEdit::returnPressed, this, [this] { SaveMapSourceClick(); });
    auto* serviceRow = new QHBoxLayout(TileServiceRow);
    serviceRow->setContentsMargins(0, 0, 0, 0);
    serviceRow->addWidget(new QLabel(tr("tile.ashx address:"), TileServiceRow));
    serviceRow->addWidget(TileServiceEdit, 1);

    OfflineCheck = new QCheckBox(tr("Offline: only the map tiles kept on disk"), page);
    OfflineCheck->setObjectName(QStringLiteral("OfflineCheck"));
    DiskCacheSpin = new QSpinBox(page);
    DiskCacheSpin->setObjectName(QStringLiteral("DiskCacheSpin"));
    DiskCacheSpin->setRange(0, 1 << 20);
    DiskCacheSpin->setSingleStep(256);
    DiskCacheSpin->setSuffix(tr(" MB"));
    DiskCacheDis = new QLabel(page);
    DiskCacheDis->setObjectName(QStringLiteral("DiskCacheDis"));
    DiskCacheDis->setWordWrap(true);
    DiskCacheDis->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ClearDiskCacheBtn = new QPushButton(tr("Clear disk cache"), page);
    ClearDiskCacheBtn->setObjectName(QStringLiteral("ClearDiskCacheBtn"));
    ClearDiskCacheBtn->setAutoDefault(false);
    connect(ClearDiskCacheBtn, &QPushButton::clicked, this, &TSettingsDlg::ClearDiskCacheClick);

    SaveMapSourceBtn = new QPushButton(tr("Save"), page);
    SaveMapSourceBtn->setObjectName(QStringLiteral("SaveMapSourceBtn"));
    SaveMapSourceBtn->setAutoDefault(false);
    connect(SaveMapSourceBtn, &QPushButton::clicked, this, [this] { SaveMapSourceClick(); });
    TileServiceInUseDis = new QLabel(page);
    TileServiceInUseDis->setObjectName(QStringLiteral("TileServiceInUseDis"));
    TileServiceInUseDis->setWordWrap(true);
    TileServiceInUseDis->setTextInteractionFlags(Qt::TextSelectableByMouse);
    TileServiceNoteDis = new QLabel(page);
    TileServiceNoteDis->setObjectName(QStringLiteral("TileServiceNoteDis"));
    TileServiceNoteDis->setWordWrap(true);

    auto* source = new QHBoxLayout;
    source->addWidget(new QLabel(tr("Map source:"), page));
    source->addWidget(MapSourceList, 1);
    auto* cache = new QHBoxLayout;
    cache->addWidget(new QLabel(tr("Disk cache:"), page));
    cache->addWidget(DiskCacheSpin);
    cache->addStretch(1);
    cache->addWidget(ClearDiskCacheBtn);
    auto* save = new QHBoxLayout;
    save->addWidget(TileServiceInUseDis, 1);
    save->addWidget(SaveMapSourceBtn, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(source);
    layout->addWidget(TileServiceRow);
    layout->addWidget(BuildCustomXyzBox());
    layout->addWidget(OfflineCheck);
    layout->addLayout(cache);
    layout->addWidget(DiskCacheDis);
    layout->addLayout(save);
    layout->addWidget(TileServiceNoteDis);
    layout->addStretch(1);
    ShowMapSource();
    return page;
}

void TSettingsDlg::KindChanged() {
    const auto kind = static_cast<TMapSourceKind>(MapSourceList->currentData().toInt());
    TileServiceRow->setVisible(kind == TMapSourceKind::Service);
    CustomXyzBox->setVisible(kind == TMapSourceKind::Xyz);
}

TMapSourceChoice TSettingsDlg::ShownChoice() const {
    TMapSourceChoice choice;
    choice.Kind = static_cast<TMapSourceKind>(MapSourceList->currentData().toInt());
    QString service = TileServiceEdit->text().trimmed();
    while (service.endsWith(QLatin1Char('/')))
        service.chop(1);
    choice.Service = service;
    for (int t = 0; t < ThemeCount; ++t)
        choice.Custom.Templates[static_cast<std::size_t>(t)] =
            XyzTemplateEdits[t]->text().trimmed();
    choice.Custom.Name = XyzNameEdit->text().trimmed();
    choice.Custom.Attribution = XyzAttributionEdit->text().trimmed();
    QStringList subdomains;
    for (const QString& part : XyzSubdomainsEdit->text().split(QLatin1Char(',')))
        if (!part.trimmed().isEmpty()) subdomains << part.trimmed();
    if (!subdomains.isEmpty()) choice.Custom.Subdomains = subdomains;
    choice.Custom.MaxZoom = XyzMaxZoomSpin->value();
    choice.Offline = OfflineCheck->isChecked();
    choice.CacheLimitBytes = qint64(DiskCacheSpin->value()) * 1024 * 1024;
    return choice;
}

void TSettingsDlg::ShowChoice(const TMapSourceChoice& choice) {
    MapSourceList->setCurrentIndex(MapSourceList->findData(static_cast<int>(choice.Kind)));
    TileServiceEdit->setText(choice.Service);
    for (int t = 0; t < ThemeCount; ++t)
        XyzTemplateEdits[t]->setText(choice.Custom.Templates[static_cast<std::size_t>(t)]);
    XyzNameEdit->setText(choice.Custom.Name);
    XyzAttributionEdit->setText(choice.Custom.Attribution);
    XyzSubdomainsEdit->setText(choice.Custom.Subdomains.join(QLatin1Char(',')));
    XyzMaxZoomSpin->setValue(choice.Custom.MaxZoom);
    OfflineCheck->setChecked(choice.Offline);
    DiskCacheSpin->setValue(static_cast<int>(choice.CacheLimitBytes / (1024 * 1024)));
    KindChanged();
}

void TSettingsDlg::ShowMapSource() {
    ShowChoice(ReadMapSourceSetting());
    const TTileSourcePtr source = m_session.TileSource();
    const QString attribution = source->Attribution();
    TileServiceInUseDis->setText(attribution.isEmpty()
                                     ? tr("In use: %1").arg(source->Name())
                                     : tr("In use: %1 (%2)").arg(source->Name(), attribution));
    const QString forced = qEnvironmentVariable(TileServiceVariable).trimmed();
    TileServiceNoteDis->setText(
        forced.isEmpty()
            ? QString()
            : tr("The environment variable %1 is set to %2 and takes the place of the source "
                 "saved here for as long as it is set.")
                  .arg(QString::fromLatin1(TileServiceVariable), forced));
    TileServiceNoteDis->setVisible(!forced.isEmpty());
    ShowDiskCache();
}

void TSettingsDlg::ShowDiskCache() {
    const TMapSourceChoice choice = ShownChoice();
    const QString folder = DiskCacheFolder(choice);
    const double megabytes = double(TTileDiskCache(folder, 0).SizeBytes()) / (1024.0 * 1024.0);
    DiskCacheDis->setText(
        tr("%1 MB of map tiles in %2")
            .arg(QLocale().toString(megabytes, 'f', 1), QDir::toNativeSeparators(folder)));
}

void TSettingsDlg::showEvent(QShowEvent* event) {
    // The file or the environment may have changed since the last time.
    ShowMapSource();
    QDialog::showEvent(event);
    CentreOnScreen(this);
}

int TSettingsDlg::GridType() const {
    return GridButtons->checkedId();
}

void TSettingsDlg::SetGridType(int item) {
    if (QAbstractButton* b = GridButtons->button(item)) b->setChecked(true);
}

int TSettingsDlg::Execute() {
    const int result = exec();
    Reload();
    return result;
}

void TSettingsDlg::Button1Click() {
    Reload();
}

void TSettingsDlg::Reload() {
    try {
        m_session.LoadCurrentView(false);
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

bool TSettingsDlg::SaveMapSourceClick() {
    TMapSourceChoice choice = ShownChoice();
    // Made once before it is stored, so that what cannot be a source is never kept.
    try {
        MakeTileSource(choice);
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
        return false;
    }
    try {
        WriteMapSourceSetting(choice);
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
        return false;
    }
    try {
        m_session.SetTileSource(MakeTileSource(EffectiveMapSource()));
    } catch (const std::exception& e) {
        // The environment's address, which takes the place of the chosen source.
        ShowError(QString::fromUtf8(e.what()));
        return false;
    }
    ShowMapSource();
    return true;
}

void TSettingsDlg::ClearDiskCacheClick() {
    const QString folder = DiskCacheFolder(ShownChoice());
    // The decoded copies in memory go too, so the next map really asks again.
    TSourceTiles::Shared().ClearMemory();
    if (!TTileDiskCache::Clear(folder))
        ShowError(
            tr("Some map tiles in %1 could not be deleted.").arg(QDir::toNativeSeparators(folder)));
    ShowDiskCache();
}

void TSettingsDlg::ShowError(const QString& message) {
    QMessageBox::critical(this, windowTitle(), message);
}

} // namespace varrow
