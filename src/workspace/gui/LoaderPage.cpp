#include "LoaderPage.h"

#include "controls/gui/RadioGroup.h"
#include "controls/gui/ReadoutLabel.h"
#include "workspace/Readouts.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace varrow {

namespace {

void SetSilently(QSpinBox* spin, int value) {
    if (spin->value() == value) return;
    const QSignalBlocker block(spin);
    spin->setValue(value);
}

} // namespace

TLoaderPage::TLoaderPage(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(6);

    QStringList themes;
    for (int i = 0; i < ThemeCount; ++i)
        themes << ThemeLabel(ThemeFromSelectorIndex(i));
    ThemeRadio = RadioGroup(this, "ThemeRadio", tr("Theme"), themes, 1, ThemeButtons);
    connect(ThemeButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) emit themeClicked();
    });
    layout->addWidget(ThemeRadio);
    layout->addWidget(BuildSizeGroup());

    SpeedRadio = RadioGroup(this, "SpeedRadio", tr("Connection Speed"),
                            {tr("Broadband"), tr("Dialup")}, 2, SpeedButtons);
    connect(SpeedButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) emit speedClicked();
    });
    layout->addWidget(SpeedRadio);

    QStringList scales;
    for (int i = 0; i < ScaleCount; ++i)
        scales << ScaleLabel(i);
    ScaleRadio = RadioGroup(this, "ScaleRadio", tr("Scale Meters/Pixel"), scales, 2, ScaleButtons);
    connect(ScaleButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) emit scaleClicked();
    });
    layout->addWidget(ScaleRadio);
    layout->addWidget(BuildZoomGroup());
    layout->addStretch(1);
    UpdateSizeReadouts();
}

QWidget* TLoaderPage::BuildSizeGroup() {
    auto* size = new QGroupBox(tr("Image Size"), this);
    size->setObjectName(QStringLiteral("ImageSizeGroup"));
    auto* form = new QGridLayout(size);
    form->setContentsMargins(6, 4, 6, 4);
    form->setVerticalSpacing(3);
    auto tileSpin = [this, size](const char* name) {
        auto* spin = new QSpinBox(size);
        spin->setObjectName(QString::fromLatin1(name));
        spin->setRange(TMapViewState::MinTileCount, TMapViewState::MaxTileCount);
        spin->setValue(3);
        // Typing "75" must not load a 7-tile map on the way.
        spin->setKeyboardTracking(false);
        connect(spin, &QSpinBox::valueChanged, this, &TLoaderPage::tileCountsChanged);
        return spin;
    };
    TileCountXSpin = tileSpin("TileCountXSpin");
    TileCountYSpin = tileSpin("TileCountYSpin");
    PixelSizeDis = ReadoutLabel(size, "PixelSizeDis", 80);
    MemDis = ReadoutLabel(size, "MemDis", 80);
    TileCntDis = ReadoutLabel(size, "TileCntDis", 80);
    const std::pair<QString, QWidget*> rows[] = {{tr("X-Tiles"), TileCountXSpin},
                                                 {tr("Y-Tiles"), TileCountYSpin},
                                                 {tr(" Pixel Size:"), PixelSizeDis},
                                                 {tr(" Memory:"), MemDis},
                                                 {tr(" Tiles"), TileCntDis}};
    int row = 0;
    for (const auto& [caption, widget] : rows) {
        auto* label = new QLabel(caption, size);
        label->setBuddy(widget);
        form->addWidget(label, row, 0);
        form->addWidget(widget, row, 1);
        ++row;
    }
    return size;
}

QWidget* TLoaderPage::BuildZoomGroup() {
    auto* zoom = new QGroupBox(tr("Double Click Zoom"), this);
    zoom->setObjectName(QStringLiteral("DoubleClickZoomGroup"));
    auto* zoomLayout = new QHBoxLayout(zoom);
    zoomLayout->setContentsMargins(6, 4, 6, 4);
    auto button = [zoom](const char* name, const QString& text, const QString& hint) {
        auto* b = new QToolButton(zoom);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(hint);
        b->setCheckable(true);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        return b;
    };
    ZoomInBtn = button("ZoomInBtn", tr("In"), tr("Zoom in one scale step"));
    ZoomOutBtn = button("ZoomOutBtn", tr("Out"), tr("Zoom out one scale step"));
    zoomLayout->addWidget(ZoomInBtn);
    zoomLayout->addWidget(ZoomOutBtn);
    ZoomInBtn->setChecked(true);
    // At most one is down; both may be up.
    connect(ZoomInBtn, &QToolButton::toggled, this, [this](bool down) {
        if (down) ZoomOutBtn->setChecked(false);
    });
    connect(ZoomOutBtn, &QToolButton::toggled, this, [this](bool down) {
        if (down) ZoomInBtn->setChecked(false);
    });
    return zoom;
}

void TLoaderPage::ShowView(const TMapViewState& view) {
    SetSilently(TileCountXSpin, view.TileCountX);
    SetSilently(TileCountYSpin, view.TileCountY);
    CheckSilently(ThemeButtons, SelectorIndexOfTheme(view.Theme));
    const int scale = ScaleIndexOf(view.Scale);
    if (scale >= 0) // any other scale leaves the selector as it is
        CheckSilently(ScaleButtons, scale);
    // No item selected loads one tile at a time as "Dialup" does, but it is
    // not "Dialup": showing it so would also store it so.
    if (SpeedButtons->checkedId() != -1 || view.Speed != TConnectionSpeed::Dialup)
        CheckSilently(SpeedButtons, static_cast<int>(view.Speed));
    UpdateSizeReadouts();
}

void TLoaderPage::UpdateSizeReadouts() {
    const TSizeReadouts r = SizeReadouts(TileCountXSpin->value(), TileCountYSpin->value());
    PixelSizeDis->setText(r.PixelSize);
    TileCntDis->setText(r.TileCount);
    MemDis->setText(r.Memory);
}

int TLoaderPage::ThemeItem() const { return ThemeButtons->checkedId(); }
int TLoaderPage::ScaleItem() const { return ScaleButtons->checkedId(); }
int TLoaderPage::SpeedItem() const { return SpeedButtons->checkedId(); }
bool TLoaderPage::ZoomIn() const { return ZoomInBtn->isChecked(); }
bool TLoaderPage::ZoomOut() const { return ZoomOutBtn->isChecked(); }

} // namespace varrow
