#pragma once

// "Settings": the grid type of the grid overlay, and the address of the tile
// service. Created once and kept for the whole run; the grid type is not
// saved between runs, the tile service address is (in "Varrow.ini").

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace varrow {

class TMapSession;

class TSettingsDlg : public QDialog {
    Q_OBJECT
public:
    explicit TSettingsDlg(TMapSession& session, QWidget* parent = nullptr);

    // The "Grid Type" item (TGridType), "7.5 Minute" at start.
    int GridType() const;
    void SetGridType(int item);

    // "&Settings...": shows the dialog modally; however it ends, the chosen
    // grid type goes to the map session and the view is reloaded so that the
    // map carries it.
    int Execute();

    // "Apply": reloads the view with the chosen grid; the dialog stays open.
    void Button1Click();
    // Stores the address typed on the "Tile Service" page and gives it to
    // the map session. False (after telling the user why) when it could not be.
    bool SaveTileServiceClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildGridPage();
    QWidget* BuildTileServicePage();
    void ShowTileService();
    void Reload();
    void ShowError(const QString& message);

    TMapSession& m_session;
    QTabWidget* PageControl1 = nullptr;
    QGroupBox* GridRadio = nullptr;
    QButtonGroup* GridButtons = nullptr;
    QPushButton* Button1 = nullptr;
    QLineEdit* TileServiceEdit = nullptr;
    QLabel* TileServiceInUseDis = nullptr;
    QLabel* TileServiceNoteDis = nullptr;
    QPushButton* SaveTileServiceBtn = nullptr;
    QPushButton* CloseBtn = nullptr;
};

} // namespace varrow
