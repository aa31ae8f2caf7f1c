#pragma once

// "Tile Position": the view's lower-left corner as a tile address (column
// and row of the tile, and the corner's pixel offset in it). Editing any of
// the four fields moves the view there and loads it; "Clear Tile Cache"
// empties the loader's cache. Shown without blocking and kept on top; it
// follows the view while the view changes elsewhere.

#include "tiles/TileLibrary.h"

#include <QDialog>

#include <functional>

class QPushButton;
class QSpinBox;

namespace varrow {

class TMapSession;

class TTilePosDlg : public QDialog {
    Q_OBJECT
public:
    explicit TTilePosDlg(TMapSession& session, QWidget* parent = nullptr);

    // Shows the location's tile and offset without running the change handler.
    void SetSpins(const TTileLocation& location);

    // The change handler of all four fields.
    void TileYSpinChange();
    // "Clear Tile Cache". The map on screen stays as it is.
    void ClearChacheBtnClick();

    // Opens help topic 3; set by the owner of the help window.
    std::function<void(int topic)> OnHelp;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QSpinBox* Spin(const char* name);
    void ViewChanged();

    TMapSession& m_session;
    QSpinBox* TileXSpin = nullptr;
    QSpinBox* TileYSpin = nullptr;
    QSpinBox* XOffSpin = nullptr;
    QSpinBox* YOffSpin = nullptr;
    QPushButton* CloseBtn = nullptr;
    QPushButton* HelpBtn = nullptr;
    QPushButton* ClearChacheBtn = nullptr;
    bool m_applying = false; // our own change of the view is not shown back
    bool m_centred = false;
};

} // namespace varrow
