#include "MapToolBar.h"

#include "controls/gui/ArrowIcon.h"
#include "controls/gui/AutoRepeat.h"
#include "controls/gui/FloatSpinEdit.h"

#include <QLabel>
#include <QSpinBox>
#include <QToolButton>

#include <limits>

namespace varrow {

TMapToolBar::TMapToolBar(QWidget* parent) : QToolBar(parent) {
    setObjectName(QStringLiteral("ToolBar"));
    setIconSize(QSize(18, 18));
    setToolButtonStyle(Qt::ToolButtonTextOnly);

    struct PanButton {
        const char* name;
        const char* hint;
        double bearing;
        int dx, dy;
    };
    const PanButton pans[] = {
        {"PanLeftBtn", "Pan Left", 270, -1, 0},        {"PanUpBtn", "Pan Up", 0, 0, 1},
        {"PanDownBtn", "Pan Down", 180, 0, -1},        {"PanRightBtn", "Pan Right", 90, 1, 0},
        {"PanNWBtn", "Pan North West", 315, -1, 1},    {"PanNEBtn", "Pan North East", 45, 1, 1},
        {"PanSWBtn", "Pan South West", 225, -1, -1},   {"PanSEBtn", "Pan South East", 135, 1, -1},
    };
    for (const PanButton& p : pans) {
        QToolButton* b = AddButton(p.name, QString(), tr(p.hint));
        b->setIcon(ArrowIcon(p.bearing));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        MakeAutoRepeat(b);
        const int dx = p.dx, dy = p.dy;
        connect(b, &QToolButton::clicked, this, [this, dx, dy] { emit panClicked(dx, dy); });
    }
    addSeparator();
    AddButton("ZeroOffsetBtn", tr("Zero"), tr("Zero Offset"));
    AddButton("WestZoneBtn", tr("\u00AB Zone"), tr("One Zone West"));
    AddButton("EastZoneBtn", tr("Zone \u00BB"), tr("East One Zone"));
    addSeparator();

    EastSpin = PositionSpin("EastSpin");
    AddField(tr("East"), EastSpin);
    NorthSpin = PositionSpin("NorthSpin");
    AddField(tr("North"), NorthSpin);
    ZoneSpin = new QSpinBox(this);
    ZoneSpin->setObjectName(QStringLiteral("ZoneSpin"));
    ZoneSpin->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    ZoneSpin->setFixedWidth(ZoneSpin->fontMetrics().horizontalAdvance(QStringLiteral("-00")) + 32);
    connect(ZoneSpin, &QSpinBox::valueChanged, this, &TMapToolBar::zoneEdited);
    AddField(tr("Zone"), ZoneSpin);
    addSeparator();

    GEBtn = AddButton("GEBtn", tr("GE"), tr("Locate In Google Earth"));
    AddButton("ComAbortBtn", tr("Abort"), tr("Abort Loading"));
    QToolButton* load = AddButton("LoadBtn", tr("Load"), tr("Load Image"));
    QFont bold = load->font();
    bold.setBold(true);
    load->setFont(bold);
}

QToolButton* TMapToolBar::Button(const char* name) const {
    return findChild<QToolButton*>(QString::fromLatin1(name));
}

QToolButton* TMapToolBar::AddButton(const char* name, const QString& text, const QString& hint) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setToolTip(hint);
    addWidget(button);
    return button;
}

void TMapToolBar::AddField(const QString& caption, QWidget* editor) {
    auto* label = new QLabel(caption, this);
    label->setContentsMargins(6, 0, 3, 0);
    label->setBuddy(editor);
    addWidget(label);
    addWidget(editor);
}

TFloatSpinEdit* TMapToolBar::PositionSpin(const char* name) {
    auto* spin = new TFloatSpinEdit(this);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(-1e9, 1e9);
    spin->setSingleStep(1000);
    spin->setAlignment(Qt::AlignRight);
    spin->setFixedWidth(spin->fontMetrics().horizontalAdvance(QStringLiteral("-9,999,999")) + 32);
    connect(spin, &QDoubleSpinBox::valueChanged, this, &TMapToolBar::positionEdited);
    return spin;
}

} // namespace varrow
