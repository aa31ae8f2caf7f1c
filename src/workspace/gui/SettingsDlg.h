#pragma once

// "Settings": the grid type of the grid overlay, and the map source with
// its disk cache. Created once and kept for the whole run; the grid type is
// not saved between runs, the map source is (in "Varrow.ini").

#include "tiles/MapSources.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
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
    // Stores the map source chosen on the "Map Source" page and gives it to
    // the map session, which loads its tiles from the next load on. False
    // (after telling the user why) when it could not be.
    bool SaveMapSourceClick();
    // Deletes the tiles of the disk cache the chosen source uses.
    void ClearDiskCacheClick();

    // The page's controls as one choice (for the next Save).
    TMapSourceChoice ShownChoice() const;
    void ShowChoice(const TMapSourceChoice& choice);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildGridPage();
    QWidget* BuildMapSourcePage();
    QWidget* BuildCustomXyzBox();
    void ShowMapSource();
    void ShowDiskCache();
    void KindChanged();
    void Reload();
    void ShowError(const QString& message);

    TMapSession& m_session;
    QTabWidget* PageControl1 = nullptr;
    QGroupBox* GridRadio = nullptr;
    QButtonGroup* GridButtons = nullptr;
    QPushButton* Button1 = nullptr;
    QComboBox* MapSourceList = nullptr;
    QLineEdit* TileServiceEdit = nullptr;
    QWidget* TileServiceRow = nullptr;
    QGroupBox* CustomXyzBox = nullptr;
    QLineEdit* XyzTemplateEdits[ThemeCount] = {}; // by TTileTheme value
    QLineEdit* XyzNameEdit = nullptr;
    QLineEdit* XyzAttributionEdit = nullptr;
    QLineEdit* XyzSubdomainsEdit = nullptr;
    QSpinBox* XyzMaxZoomSpin = nullptr;
    QCheckBox* OfflineCheck = nullptr;
    QSpinBox* DiskCacheSpin = nullptr;
    QLabel* DiskCacheDis = nullptr;
    QPushButton* ClearDiskCacheBtn = nullptr;
    QLabel* TileServiceInUseDis = nullptr;
    QLabel* TileServiceNoteDis = nullptr;
    QPushButton* SaveMapSourceBtn = nullptr;
    QPushButton* CloseBtn = nullptr;
};

} // namespace varrow
