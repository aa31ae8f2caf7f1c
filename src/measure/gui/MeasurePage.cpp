#include "MeasurePage.h"

#include "controls/gui/RadioGroup.h"
#include "measure/Measure.h"
#include "measure/MeasureUnits.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace varrow {

namespace {

constexpr int UnitColumns = 2;

// A read-only readout under its caption.
QLineEdit* LabelledReadout(QWidget* parent, QVBoxLayout* layout, const char* name,
                           const QString& caption) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* label = new QLabel(caption, parent);
    label->setBuddy(edit);
    layout->addWidget(label);
    layout->addWidget(edit);
    return edit;
}

} // namespace

TMeasurePage::TMeasurePage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabSheet8"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(6);

    auto* readouts = new QVBoxLayout;
    readouts->setSpacing(2);
    LengthDis = LabelledReadout(this, readouts, "LengthDis", tr("Length"));
    AreaDis = LabelledReadout(this, readouts, "AreaDis", tr("Area"));
    AzmEdit = LabelledReadout(this, readouts, "AzmEdit", tr("Azimuth"));
    layout->addLayout(readouts);

    LengthRadio = RadioGroup(this, "LengthRadio", tr("Length Units"), LengthUnitCaptions(),
                             UnitColumns, LengthButtons);
    AreaRadio = RadioGroup(this, "AreaRadio", tr("Area Units"), AreaUnitCaptions(), UnitColumns,
                           AreaButtons);
    SetChoices(DefaultLengthUnit, DefaultAreaUnit);
    for (QButtonGroup* group : {LengthButtons, AreaButtons}) {
        // Only the button that becomes checked announces the change.
        connect(group, &QButtonGroup::idToggled, this, [this](int, bool checked) {
            if (checked) emit LengthRadioClick();
        });
    }
    layout->addWidget(LengthRadio);
    layout->addWidget(AreaRadio);

    ResetMeasureBtn = new QPushButton(tr("Reset Measurements"), this);
    ResetMeasureBtn->setObjectName(QStringLiteral("ResetMeasureBtn"));
    ResetMeasureBtn->setAutoDefault(false);
    connect(ResetMeasureBtn, &QPushButton::clicked, this, &TMeasurePage::ResetMeasureBtnClick);
    layout->addWidget(ResetMeasureBtn);
    layout->addStretch(1);
}

int TMeasurePage::LengthChoice() const {
    return LengthButtons->checkedId();
}

int TMeasurePage::AreaChoice() const {
    return AreaButtons->checkedId();
}

void TMeasurePage::SetChoices(int lengthChoice, int areaChoice) {
    CheckSilently(LengthButtons, lengthChoice);
    CheckSilently(AreaButtons, areaChoice);
}

void TMeasurePage::ShowReadouts(const TMeasureReadouts& readouts) {
    LengthDis->setText(readouts.Length);
    AreaDis->setText(readouts.Area);
    AzmEdit->setText(readouts.Azimuth);
}

void TMeasurePage::Attach(TMeasurement& measurement, TMapCanvas& canvas) {
    SetChoices(measurement.LengthChoice(), measurement.AreaChoice());
    connect(this, &TMeasurePage::LengthRadioClick, this, [this, &measurement] {
        measurement.SetLengthChoice(LengthChoice());
        measurement.SetAreaChoice(AreaChoice());
        ShowReadouts(measurement.UpdateMeasureReadouts());
    });
    connect(this, &TMeasurePage::ResetMeasureBtnClick, this,
            [this, &measurement, &canvas] { ShowReadouts(measurement.ResetMeasurements(canvas)); });
}

} // namespace varrow
