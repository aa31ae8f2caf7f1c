#include "TilePosDlg.h"

#include "controls/gui/CentreOnScreen.h"
#include "workspace/MapSession.h"
#include "workspace/Navigation.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>
#include <exception>
#include <limits>

namespace varrow {

namespace {

// Whether a position lies on the tile grid the loader can address at the
// scale: tile numbers are 32-bit, and the loader counts on past the view for
// the ring of tiles around it.
bool OnTileGrid(double metres, double scale) {
    constexpr double Margin = MaxTilesPerSide + 2;
    const double tiles = std::trunc(metres / scale / TileSize);
    return std::isfinite(tiles) && tiles >= std::numeric_limits<std::int32_t>::min() + Margin &&
           tiles <= std::numeric_limits<std::int32_t>::max() - Margin;
}

} // namespace

TTilePosDlg::TTilePosDlg(TMapSession& session, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      m_session(session) {
    setObjectName(QStringLiteral("TilePosDlg"));
    setWindowTitle(tr("Tile Position"));
    setModal(false);

    auto* position = new QGroupBox(tr("Position"), this);
    position->setObjectName(QStringLiteral("PositionGroup"));
    auto* form = new QFormLayout(position);
    TileXSpin = Spin("TileXSpin");
    TileYSpin = Spin("TileYSpin");
    XOffSpin = Spin("XOffSpin");
    YOffSpin = Spin("YOffSpin");
    form->addRow(tr("Tile X"), TileXSpin);
    form->addRow(tr("Tile Y"), TileYSpin);
    form->addRow(tr("X Off"), XOffSpin);
    form->addRow(tr("Y Off"), YOffSpin);

    CloseBtn = new QPushButton(tr("Close"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    HelpBtn = new QPushButton(tr("Help"), this);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    ClearChacheBtn = new QPushButton(tr("Clear Tile Cache"), this);
    ClearChacheBtn->setObjectName(QStringLiteral("ClearChacheBtn"));
    for (QPushButton* b : {CloseBtn, HelpBtn, ClearChacheBtn})
        b->setAutoDefault(false);
    // Escape rejects the dialog, which hides it, as "Close" does.
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpBtn, &QPushButton::clicked, this, [this] {
        if (OnHelp) OnHelp(3);
    });
    connect(ClearChacheBtn, &QPushButton::clicked, this, &TTilePosDlg::ClearChacheBtnClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ClearChacheBtn);
    buttons->addStretch(1);
    buttons->addWidget(HelpBtn);
    buttons->addWidget(CloseBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(position);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    SetSpins(m_session.CaptureView());
    connect(&m_session, &TMapSession::viewChanged, this, &TTilePosDlg::ViewChanged);
}

QSpinBox* TTilePosDlg::Spin(const char* name) {
    auto* spin = new QSpinBox(this);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    spin->setAlignment(Qt::AlignRight);
    spin->setMinimumWidth(spin->fontMetrics().horizontalAdvance(QStringLiteral("-0000000")) + 32);
    connect(spin, &QSpinBox::valueChanged, this, &TTilePosDlg::TileYSpinChange);
    return spin;
}

void TTilePosDlg::SetSpins(const TTileLocation& location) {
    const std::pair<QSpinBox*, int> values[] = {{TileXSpin, location.Tile.X},
                                                {TileYSpin, location.Tile.Y},
                                                {XOffSpin, location.Offset.X},
                                                {YOffSpin, location.Offset.Y}};
    for (const auto& [spin, value] : values) {
        if (spin->value() == value) continue;
        const QSignalBlocker block(spin);
        spin->setValue(value);
    }
}

void TTilePosDlg::ViewChanged() {
    if (!m_applying) SetSpins(m_session.CaptureView());
}

void TTilePosDlg::TileYSpinChange() {
    const double s = m_session.View().Scale;
    const double easting = (double{TileSize} * TileXSpin->value() + XOffSpin->value()) * s;
    const double northing = (double{TileSize} * TileYSpin->value() + YOffSpin->value()) * s;
    // Far enough out, the corner has no tile number; such a position is not taken.
    if (!OnTileGrid(easting, s) || !OnTileGrid(northing, s)) return;
    try {
        // What was typed stays in the fields, even an offset past the tile's
        // edge; the view normalises it when captured.
        m_applying = true;
        TNavigator(m_session).SetPosition(easting, northing);
        m_applying = false;
        m_session.LoadCurrentView(false);
    } catch (const std::exception& e) {
        m_applying = false;
        QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
}

void TTilePosDlg::ClearChacheBtnClick() {
    m_session.ClearTileCache();
}

void TTilePosDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred the first time; after that it opens where the user left it.
    if (m_centred) return;
    m_centred = true;
    CentreOnScreen(this);
}

} // namespace varrow
