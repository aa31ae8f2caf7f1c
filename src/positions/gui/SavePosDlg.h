#pragma once

// "Save Positions": the user's list of saved positions in a grid, beside the map. Insert the
// current view, rename an entry in place, move entries up and down, delete one, and send the
// map to one (Fetch, or a double click on its row). Every change acts on the program's list
// at once; the list reaches its file when the program ends.
//
// Shown without blocking and kept on top, so it can stay open while the user works the map.
// Created once and kept for the run: closing only hides it.

#include "positions/PositionList.h"

#include <QDialog>

#include <functional>

class QPushButton;
class QToolButton;

namespace varrow {

class TMapSession;
class TPosGrid;
class TPosGridModel;

class TSavePosDlg : public QDialog {
    Q_OBJECT
public:
    // The list is the program's one list and must outlive the dialog. The dialog adds itself
    // to the list's OnLoaded (keeping what was set there before), so a load repaints the grid.
    TSavePosDlg(TMapSession& session, TPositionList& positions, QWidget* parent = nullptr);
    ~TSavePosDlg() override;

    // Grid rows count the header row: the larger of 11 and the number of entries + 1, set on
    // insertion and loading; a deletion leaves the row count as it was.
    int RowCount() const;
    // The current grid row (1 = the first entry's row); the current column is always 1.
    int CurrentRow() const;
    // Whether the cell may become the current one: column 1 of a row that shows an entry.
    bool PosGridSelectCell(int column, int row) const;
    // Makes column 1 of the row current when PosGridSelectCell allows it.
    void SelectRow(int row);
    // The text of a cell as drawn: "#", row numbers, names, longitude and latitude with three
    // decimals in the user's number format; blank rows are empty.
    QString CellText(int column, int row) const;
    // In-place editing of the name (column 1 of an entry's row); other cells edit nothing.
    QString PosGridGetEditText(int column, int row) const;
    void PosGridSetEditText(int column, int row, const QString& text);

    void UseCurrentBtnClick();
    void FetchBtnClick();
    void MoveUpBtnClick();
    void MoveDownBtnClick();
    void DeleteBtnClick();
    void CancelBtnClick();

    // After the list was loaded from its file: row count and grid afresh.
    void PositionsLoaded();

    // Opens a help topic (2) above the given window; set by the owner of the help window.
    std::function<void(int topic, QWidget* over)> OnHelp;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QToolButton* ToolButton(const char* name, const QString& hint, const QIcon& glyph);
    bool RowHasEntry(int row) const;
    void UpdateRowCount();
    void Swap(int row, int otherRow);
    void UpdateButtons();

    TMapSession& m_session;
    TPositionList& m_positions;
    TPosGridModel* m_model = nullptr;
    TPosGrid* PosGrid = nullptr;
    QToolButton* UseCurrentBtn = nullptr;
    QToolButton* FetchBtn = nullptr;
    QToolButton* MoveUpBtn = nullptr;
    QToolButton* MoveDownBtn = nullptr;
    QToolButton* DeleteBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* HelpBtn = nullptr;
    bool m_centred = false;
};

} // namespace varrow
