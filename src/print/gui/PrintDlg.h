#pragma once

// "Print Layout": prints the map at actual size, fitted to the page, at a manual factor or
// at a true map scale (1:24,000 and the like), with a preview of the pages, the map's size,
// the resulting scale in feet per inch and as 1:N, and the mouse position on the sheet.
// Created once and kept for the run, so the choices persist between openings; every change
// of method, factor, ratio or printer rebuilds the pages from the map of that moment.

#include "print/PrintLayout.h"

#include <QDialog>
#include <QPrinter>

#include <array>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace varrow {

class TPrintPreview;
class TProgressDlg;

class TPrintDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPrintDlg(QWidget* parent = nullptr);
    ~TPrintDlg() override;

    // Where the map comes from at each rebuild (the session's mosaic and what describes it).
    void SetMapSource(TPrintMapSource source);
    // Shows help topic 1 when the help button is pressed.
    std::function<void(int topic)> OnHelp;

    // Rebuilds the pages and readouts from the map of the moment, then shows the dialog modally.
    int ShowPrintLayout();
    void BuildPrintPages();
    void UpdatePrintReadouts();

    // Handlers.
    void PrintModeRadioClick();
    void ScaleSpinChange();
    void MapScaleChange();
    void InfoCheckClick();
    void SetupBtnClick();
    void PrintBtnClick();
    // Prints the pages to the printer as it is set now, without asking. False when nothing
    // was printed (cancelled or failed; a failure has been shown).
    bool PrintPages();
    void PrintPreview1ImageMouseMove(int page, const QSize& cell, const QPoint& pos);

    QPrinter& Printer() { return m_printer; }
    TPrintLayout& Layout() { return m_layout; }
    TProgressDlg& Progress() { return *m_progress; }

    QLabel* BMWidthDis = nullptr;
    QLabel* BMHeightDis = nullptr;
    QLabel* ScaleDis = nullptr;
    QLabel* RatioDis = nullptr;
    QGroupBox* PrintModeRadio = nullptr;
    QButtonGroup* PrintModeButtons = nullptr;
    QDoubleSpinBox* ScaleSpin = nullptr;
    QComboBox* MapScaleCombo = nullptr;
    QCheckBox* InfoCheck = nullptr;
    TPrintPreview* PrintPreview1 = nullptr;
    QLabel* MouseXDis = nullptr;
    QLabel* MouseYDis = nullptr;
    QLabel* PaperXDis = nullptr;
    QLabel* PaperYDis = nullptr;
    QPushButton* PrintBtn = nullptr;
    QPushButton* SetupBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* BitBtn1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildChoices();
    QWidget* BuildPreview();
    void TakePrinter();
    void ShowError(const QString& message);

    QPrinter m_printer;
    TPrintLayout m_layout;
    TProgressDlg* m_progress = nullptr;
    // "Print map information" for each method, kept for the run.
    std::array<bool, 4> m_info = {false, false, false, true};
};

} // namespace varrow
