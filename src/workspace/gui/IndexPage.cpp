#include "IndexPage.h"

#include "controls/gui/ReadoutLabel.h"
#include "workspace/MapSession.h"
#include "workspace/Navigation.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <cstdint>
#include <exception>

// The pictures are compiled into a static library, whose resources are
// registered only when asked for by name.
static void InitIndexMapResources() {
    Q_INIT_RESOURCE(indexmaps);
}

namespace varrow {

namespace {

// The picture; a missing resource must not leave a hole in the page.
QImage LoadPicture(TIndexMap map) {
    static const bool registered = (InitIndexMapResources(), true);
    Q_UNUSED(registered);
    QImage picture(IndexMapPicture(map));
    if (picture.isNull()) {
        picture = QImage(IndexMapWidth, IndexMapHeight, QImage::Format_RGB32);
        picture.fill(QColor(168, 204, 230));
    }
    return picture.convertToFormat(QImage::Format_RGB32);
}

// Control pixel to picture pixel, rounding the division.
int Rescale(int value, int pictureExtent, int controlExtent) {
    if (controlExtent <= 0) return value;
    const std::int64_t n = std::int64_t{value} * pictureExtent;
    const std::int64_t half = controlExtent / 2;
    return static_cast<int>(n >= 0 ? (n + half) / controlExtent : (n - half) / controlExtent);
}

const char* MapObjectName(TIndexMap map) {
    switch (map) {
    case TIndexMap::Alaska:
        return "AlaskaImage";
    case TIndexMap::Hawaii:
        return "HawaiiImage";
    case TIndexMap::UnitedStates:
        break;
    }
    return "USImage";
}

} // namespace

TIndexMapImage::TIndexMapImage(TIndexMap map, QWidget* parent)
    : QWidget(parent), m_map(map), m_picture(LoadPicture(map)) {
    setObjectName(QString::fromLatin1(MapObjectName(map)));
    setFixedSize(IndexMapWidth, IndexMapHeight);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize TIndexMapImage::sizeHint() const {
    return {IndexMapWidth, IndexMapHeight};
}

QPoint TIndexMapImage::ControlToPicture(int x, int y) const {
    return {Rescale(x, m_picture.width(), width()), Rescale(y, m_picture.height(), height())};
}

void TIndexMapImage::ShowMarker(int x, int y) {
    const QPoint p = ControlToPicture(x, y);
    m_marker.ShowMarker(m_picture, p.x(), p.y());
    update();
}

void TIndexMapImage::HideMarker() {
    if (!m_marker.Shown()) return;
    m_marker.HideMarker(m_picture);
    update();
}

void TIndexMapImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(rect(), m_picture);
}

void TIndexMapImage::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    // With a button held the mouse is still reported outside the control,
    // where the map has no places.
    if (rect().contains(p)) emit mouseMoved(p);
}

void TIndexMapImage::mousePressEvent(QMouseEvent* event) {
    emit mousePressed(event->button(), event->position().toPoint());
}

void TIndexMapImage::mouseDoubleClickEvent(QMouseEvent* event) {
    // Qt reports the second press of a double click only here.
    const QPoint p = event->position().toPoint();
    emit mousePressed(event->button(), p);
    if (event->button() == Qt::LeftButton) emit doubleClicked(p);
}

TIndexPage::TIndexPage(TMapSession& session, TNavigator& navigator, QWidget* parent)
    : QWidget(parent), m_session(session), m_navigator(navigator) {
    setObjectName(QStringLiteral("IndexPage"));
    SelectScale = [this](int scaleIndex) {
        if (ScaleIndexOf(m_session.View().Scale) != scaleIndex) m_navigator.ChangeScale(scaleIndex);
    };

    USImage = new TIndexMapImage(TIndexMap::UnitedStates, this);
    AlaskaImage = new TIndexMapImage(TIndexMap::Alaska, this);
    HawaiiImage = new TIndexMapImage(TIndexMap::Hawaii, this);
    for (TIndexMapImage* image : {USImage, AlaskaImage, HawaiiImage}) {
        const TIndexMap map = image->Map();
        connect(image, &TIndexMapImage::mouseMoved, this,
                [this, map](QPoint p) { MapMouseMove(map, p); });
        connect(image, &TIndexMapImage::mousePressed, this,
                [this, map](Qt::MouseButton, QPoint p) { MapMouseDown(map, p); });
        connect(image, &TIndexMapImage::doubleClicked, this, &TIndexPage::USImageDblClick);
    }

    USIndexLongDis = ReadoutLabel(this, "USIndexLongDis", QStringLiteral("-000.000 "));
    USIndexLatDis = ReadoutLabel(this, "USIndexLatDis", QStringLiteral("-00.000 "));
    USUTMEastDis = ReadoutLabel(this, "USUTMEastDis", QStringLiteral("0,000,000.000"));
    USUTMNorthDis = ReadoutLabel(this, "USUTMNorthDis", QStringLiteral("00,000,000.000"));
    USUTMZoneDis = ReadoutLabel(this, "USUTMZoneDis", QStringLiteral("-00"));

    auto titled = [this](const QString& title, QWidget* map) {
        auto* box = new QVBoxLayout;
        box->setSpacing(2);
        auto* caption = new QLabel(title, this);
        QFont bold = caption->font();
        bold.setBold(true);
        caption->setFont(bold);
        box->addWidget(caption);
        box->addWidget(map);
        return box;
    };

    auto* readouts = new QGridLayout;
    readouts->setHorizontalSpacing(4);
    readouts->setVerticalSpacing(4);
    readouts->addWidget(new QLabel(tr(" Long/Lat:"), this), 0, 0);
    readouts->addWidget(USIndexLongDis, 0, 1);
    readouts->addWidget(USIndexLatDis, 0, 2);
    readouts->addWidget(new QLabel(tr(" UTM:"), this), 1, 0);
    readouts->addWidget(USUTMEastDis, 1, 1);
    readouts->addWidget(USUTMNorthDis, 1, 2);
    readouts->addWidget(USUTMZoneDis, 1, 3);
    readouts->setColumnStretch(4, 1);

    auto* hint = new QLabel(tr("Click a map to centre the next map there (512 m per pixel).\n"
                               "Double-click to load it."),
                            this);

    auto* side = new QVBoxLayout;
    side->addSpacing(hint->fontMetrics().height() + 2);
    side->addLayout(readouts);
    side->addSpacing(8);
    side->addWidget(hint);
    side->addStretch(1);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(10);
    grid->addLayout(titled(tr("Conterminous United States"), USImage), 0, 0);
    grid->addLayout(titled(tr("Alaska"), AlaskaImage), 0, 1);
    grid->addLayout(titled(tr("Hawaii"), HawaiiImage), 1, 0);
    grid->addLayout(side, 1, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(2, 1);

    connect(&m_session, &TMapSession::loadStarting, this, &TIndexPage::MarkMosaicCentre);
}

TIndexMapImage* TIndexPage::MapImage(TIndexMap map) const {
    switch (map) {
    case TIndexMap::Alaska:
        return AlaskaImage;
    case TIndexMap::Hawaii:
        return HawaiiImage;
    case TIndexMap::UnitedStates:
        break;
    }
    return USImage;
}

void TIndexPage::MapMouseMove(TIndexMap map, QPoint point) {
    const TIndexMapImage* image = MapImage(map);
    const TIndexReadouts r =
        IndexReadouts(map, point.x(), point.y(), image->width(), image->height());
    USIndexLongDis->setText(r.Longitude);
    USIndexLatDis->setText(r.Latitude);
    USUTMEastDis->setText(r.Easting);
    USUTMNorthDis->setText(r.Northing);
    USUTMZoneDis->setText(r.Zone);
}

void TIndexPage::MapMouseDown(TIndexMap map, QPoint point) {
    MapMouseMove(map, point);
    const TIndexMapImage* image = MapImage(map);
    const TGeoPosition g =
        IndexPixelToGeographic(map, point.x(), point.y(), image->width(), image->height());
    try {
        // The scale comes first: changing it loads the old view at the new
        // scale, and that load's marker must not outlive the press.
        if (SelectScale) SelectScale(0);
        m_session.View().CentreOn(g.Latitude, g.Longitude);
        m_session.ViewEdited();
    } catch (const std::exception& e) {
        QMessageBox::critical(this, window()->windowTitle(), QString::fromUtf8(e.what()));
    }
    ShowMarker(map, point);
}

void TIndexPage::USImageDblClick() {
    emit loadRequested();
}

void TIndexPage::ShowMarker(TIndexMap map, QPoint point) {
    for (TIndexMapImage* image : {USImage, AlaskaImage, HawaiiImage}) {
        if (image->Map() == map)
            image->ShowMarker(point.x(), point.y());
        else
            image->HideMarker();
    }
}

void TIndexPage::MarkMosaicCentre() {
    const TGeoPosition centre = m_session.LoadedView().MosaicCentre();
    const auto hit = FindIndexMap(centre.Longitude, centre.Latitude);
    if (!hit) return;
    // FindIndexMap answers in picture pixels; the marker takes control pixels.
    const TIndexMapImage* image = MapImage(hit->Map);
    const auto p = IndexGeographicToPixel(hit->Map, centre.Longitude, centre.Latitude,
                                          image->width(), image->height());
    if (p) ShowMarker(hit->Map, *p);
}

} // namespace varrow
