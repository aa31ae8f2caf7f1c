#pragma once

// The main window. It builds the controls, mirrors the live view in them and
// hands every user action to the map session or the navigator; the logic of
// the view, the loads and the moves lives there, not here.

#include "measure/Measure.h"
#include "positions/PositionList.h"
#include "workspace/MapSession.h"
#include "workspace/Navigation.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QProgressBar;

namespace varrow {

class TElapsedTimeDisplay;
class THelpWindow;
class TIndexPage;
class TLoaderPage;
class TMapArea;
class TMapToolBar;
class TMeasurePage;
class TPrintDlg;
class TSavePosDlg;
class TPageControl;
class TSettingsDlg;
class TTilePosDlg;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Pages of the left page control.
    static constexpr int LoaderPage = 0;
    static constexpr int MeasurePage = 1;
    // Pages of the main page control.
    static constexpr int IndexPage = 0;
    static constexpr int ImageLoaderPage = 1;

    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    TMapSession& Session() { return *m_session; }
    TNavigator& Navigator() { return *m_navigator; }
    TPositionList& Positions() { return m_positions; }
    THelpWindow* HelpWindow();

    // Writes the mosaic in the format the file name's extension names; a
    // failure is shown in a message box. True when the file was written.
    bool SaveMapImage(const QString& fileName);

    // Handlers, named after their control and event.
    void LoadBtnClick();
    void ComAbortBtnClick();
    void Pan(int dx, int dy);
    void ZeroOffsetBtnClick();
    void WestZoneBtnClick();
    void EastZoneBtnClick();
    void NorthSpinChange();
    void ZoneSpinChange();
    void ScaleRadioClick();
    void ThemeRadioClick();
    void GridChkClick();
    void SpeedRadioClick();
    void TileCountXSpinChange();
    void MagBarChange();
    void ResetBtnClick();
    void TerrainImageMouseDown(Qt::MouseButton button, Qt::MouseButtons buttons,
                               Qt::KeyboardModifiers modifiers, QPoint point, bool doubleClick);
    void TerrainImageMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                               QPoint point);
    void TerrainImageMouseUp(Qt::MouseButton button, QPoint point);
    bool PageControl2Changing();
    void PageControl2Change(int page);
    void SaveBitmap1Click();
    void PrintMapImage1Click();
    void Copy1Click();
    void SaveLocations1Click();
    void SavePositions1Click();
    void ExportKMLKMZfile1Click();
    void GEBtnClick();
    void Settings1Click();
    void SaveUserDefaults1Click();
    void Contents1Click();
    void About1Click();
    // The first activation reads the user defaults, then the saved positions.
    void FormActivate();
    void LoadProgress(const TLoadStats& stats);
    void LoadCompleted(const TLoadStats& stats);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    QWidget* BuildImageLoaderPage();
    void WireToolBar();
    void WireLoaderPage();
    void WireMapArea();
    void BuildStatusBar();

    // Shows the view's values in the controls without firing their handlers.
    void RefreshControls();
    void LoadStarting(bool resetView);
    void ShowSource();
    void MosaicReset();
    void ApplyPageRules(int page);
    // Runs an action; an error it raises is shown, and the program carries on.
    void Run(const std::function<void()>& action);
    void ShowError(const QString& message);
    void ShowLater(const QString& message);
    // Writes the saved positions back; a failure is shown or, when the window
    // is going away, reported on the console.
    void StorePositionList(bool showErrors);

    std::unique_ptr<TMapSession> m_session;
    std::unique_ptr<TNavigator> m_navigator;
    TPositionList m_positions;
    TMeasurement m_measurement;
    THelpWindow* m_help = nullptr;
    TIndexPage* m_indexPage = nullptr;
    TTilePosDlg* TilePosDlg = nullptr;
    TSettingsDlg* SettingsDlg = nullptr;
    TPrintDlg* PrintDlg = nullptr;
    TSavePosDlg* SavePosDlg = nullptr;
    bool m_activated = false;       // the defaults and positions have been read
    bool m_positionsStored = false; // and written back at the close
    bool m_showCorner = false;      // the map being loaded opens at its lower-left corner

    QAction* WriteWorldFiles1 = nullptr;
    QAction* PlaceExactly1 = nullptr;
    TPageControl* PageControl1 = nullptr;
    TMapToolBar* ToolBar = nullptr;
    TPageControl* PageControl2 = nullptr;
    TLoaderPage* LoaderSheet = nullptr;
    TMeasurePage* MeasureSheet = nullptr;
    TMapArea* MapArea = nullptr;

    // Status bar.
    QProgressBar* ProgressGauge = nullptr;
    QLabel* RetryDis = nullptr;
    QLabel* CacheHitDis = nullptr;
    TElapsedTimeDisplay* SubTimer1 = nullptr;
    QLabel* LoadStatusDis = nullptr;
    QLabel* SourceDis = nullptr; // the map source and the credit its maps carry
};

} // namespace varrow
