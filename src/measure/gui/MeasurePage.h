#pragma once

// The "Measure" page of the main window: the three readouts of the measuring
// figure, the unit choices and the reset button. The page shows readouts and
// reports the user's choices; the measurement itself lives in TMeasurement.

#include <QWidget>

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace varrow {

class TMapCanvas;
class TMeasurement;
struct TMeasureReadouts;

class TMeasurePage : public QWidget {
    Q_OBJECT
public:
    explicit TMeasurePage(QWidget* parent = nullptr);

    QLineEdit* LengthDis = nullptr;
    QLineEdit* AreaDis = nullptr;
    QLineEdit* AzmEdit = nullptr;
    QGroupBox* LengthRadio = nullptr;
    QButtonGroup* LengthButtons = nullptr;
    QGroupBox* AreaRadio = nullptr;
    QButtonGroup* AreaButtons = nullptr;
    QPushButton* ResetMeasureBtn = nullptr;

    int LengthChoice() const;
    int AreaChoice() const;
    // Sets both choices without announcing them.
    void SetChoices(int lengthChoice, int areaChoice);

    void ShowReadouts(const TMeasureReadouts& readouts);

    // Connects the page to the measurement of the map on canvas: the page
    // takes the measurement's unit choices, a unit click rewrites all three
    // readouts in the new units, Reset Measurements resets. Both must
    // outlive the page.
    void Attach(TMeasurement& measurement, TMapCanvas& canvas);

signals:
    // Either unit choice changed (by the user or by program, but not by
    // SetChoices).
    void LengthRadioClick();
    void ResetMeasureBtnClick();
};

} // namespace varrow
