#include "MapArea.h"

#include "controls/gui/ReadoutLabel.h"
#include "measure/gui/ImageEx.h"
#include "workspace/MapViewState.h"
#include "workspace/ViewScroll.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace varrow {

TMapArea::TMapArea(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto* top = new QHBoxLayout;
    MagBar = new QSlider(Qt::Horizontal, this);
    MagBar->setObjectName(QStringLiteral("MagBar"));
    MagBar->setRange(TMapViewState::MagMin, TMapViewState::MagMax);
    MagBar->setToolTip(tr("Magnification"));
    ZoomDis = ReadoutLabel(this, "ZoomDis", 44);
    ZoomDis->setText(QStringLiteral("1.0"));
    ResetBtn = new QToolButton(this);
    ResetBtn->setObjectName(QStringLiteral("ResetBtn"));
    ResetBtn->setText(tr("Reset Magnification"));
    ResetBtn->setToolTip(tr("Reset Magnification"));
    GridChk = new QCheckBox(tr("Show Grid"), this);
    GridChk->setObjectName(QStringLiteral("GridChk"));
    auto* magLabel = new QLabel(tr("Magnification"), this);
    magLabel->setBuddy(MagBar);
    top->addWidget(magLabel);
    top->addWidget(MagBar, 1);
    top->addWidget(ZoomDis);
    top->addWidget(ResetBtn);
    top->addSpacing(12);
    top->addWidget(GridChk);
    layout->addLayout(top);

    ScrollWindow1 = new QScrollArea(this);
    ScrollWindow1->setObjectName(QStringLiteral("ScrollWindow1"));
    ScrollWindow1->setWidgetResizable(false);
    ScrollWindow1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollWindow1->setBackgroundRole(QPalette::Dark);
    TerrainImage = new TImageEx(ScrollWindow1);
    TerrainImage->setObjectName(QStringLiteral("TerrainImage"));
    ScrollWindow1->setWidget(TerrainImage);
    layout->addWidget(ScrollWindow1, 1);
    layout->addLayout(BuildReadouts());
}

QLayout* TMapArea::BuildReadouts() {
    auto* readouts = new QHBoxLayout;
    readouts->setSpacing(3);
    auto caption = [this, readouts](const QString& text) {
        readouts->addWidget(new QLabel(text, this));
    };
    const QString degrees = QStringLiteral("-000.0000");
    const QString dms = QStringLiteral("-000\u00B000'00\"");
    const QString metres = QStringLiteral("10,000,000");
    caption(tr(" Long/Lat:"));
    ImageLongDis = ReadoutLabel(this, "ImageLongDis", degrees);
    ImageLatDis = ReadoutLabel(this, "ImageLatDis", degrees);
    ImageLong2Dis = ReadoutLabel(this, "ImageLong2Dis", dms);
    ImageLat2Dis = ReadoutLabel(this, "ImageLat2Dis", dms);
    for (QLabel* l : {ImageLongDis, ImageLatDis, ImageLong2Dis, ImageLat2Dis})
        readouts->addWidget(l);
    readouts->addSpacing(8);
    caption(tr(" UTM:"));
    ImageEastDis = ReadoutLabel(this, "ImageEastDis", metres);
    ImageNorthDis = ReadoutLabel(this, "ImageNorthDis", metres);
    ImageZoneDis = ReadoutLabel(this, "ImageZoneDis", QStringLiteral("-00"));
    for (QLabel* l : {ImageEastDis, ImageNorthDis, ImageZoneDis})
        readouts->addWidget(l);
    readouts->addStretch(1);
    return readouts;
}

void TMapArea::ShowReadouts(const TMouseReadouts& r) {
    ImageLongDis->setText(r.Longitude);
    ImageLatDis->setText(r.Latitude);
    ImageLong2Dis->setText(r.Longitude2);
    ImageLat2Dis->setText(r.Latitude2);
    ImageEastDis->setText(r.Easting);
    ImageNorthDis->setText(r.Northing);
    ImageZoneDis->setText(r.Zone);
}

void TMapArea::ShowZoom(double factor) { ZoomDis->setText(QString::number(factor, 'f', 2)); }

void TMapArea::SetMagPosition(int position) {
    const QSignalBlocker block(MagBar);
    MagBar->setValue(position);
}

void TMapArea::KeepViewCentre(const std::function<void()>& resize) {
    QScrollBar* h = ScrollWindow1->horizontalScrollBar();
    QScrollBar* v = ScrollWindow1->verticalScrollBar();
    const QSize client = ScrollWindow1->viewport()->size();
    const QSize before = TerrainImage->size();
    const int x = h->value();
    const int y = v->value();
    resize();
    const QSize after = TerrainImage->size();
    h->setValue(ScrollKeepingCentre(x, client.width(), before.width(), after.width()));
    v->setValue(ScrollKeepingCentre(y, client.height(), before.height(), after.height()));
}

void TMapArea::ShowSouthWestCorner() {
    ScrollWindow1->horizontalScrollBar()->setValue(0);
    QScrollBar* v = ScrollWindow1->verticalScrollBar();
    v->setValue(v->maximum());
}

void TMapArea::ShowMiddle() {
    QScrollBar* h = ScrollWindow1->horizontalScrollBar();
    QScrollBar* v = ScrollWindow1->verticalScrollBar();
    h->setValue(h->maximum() / 2);
    v->setValue(v->maximum() / 2);
}

QPoint TMapArea::ImageCentre() const {
    return QPoint(TerrainImage->width() / 2, TerrainImage->height() / 2);
}

} // namespace varrow
