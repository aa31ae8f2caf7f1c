#pragma once

// The tool bar of the "Image Loader" page: the eight pan buttons, "Zero
// Offset", the zone buttons, the position fields, Google Earth, "Abort" and
// "Load". It builds the controls; the main window wires them.

#include <QToolBar>

class QSpinBox;
class QToolButton;

namespace varrow {

class TFloatSpinEdit;

class TMapToolBar : public QToolBar {
    Q_OBJECT
public:
    explicit TMapToolBar(QWidget* parent = nullptr);

    // A button of the bar by its name ("PanUpBtn", "LoadBtn", ...).
    QToolButton* Button(const char* name) const;

    TFloatSpinEdit* EastSpin = nullptr;
    TFloatSpinEdit* NorthSpin = nullptr;
    QSpinBox* ZoneSpin = nullptr;
    QToolButton* GEBtn = nullptr;

signals:
    // A pan button: dx, dy in tiles, +x east, +y north.
    void panClicked(int dx, int dy);
    // The easting or northing field changed.
    void positionEdited();
    void zoneEdited();

private:
    QToolButton* AddButton(const char* name, const QString& text, const QString& hint);
    void AddField(const QString& caption, QWidget* editor);
    TFloatSpinEdit* PositionSpin(const char* name);
};

} // namespace varrow
