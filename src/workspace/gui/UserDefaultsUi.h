#pragma once

// The window side of the user defaults: the "Connection Speed" selector
// ("Broadband", "Dialup") is set from "Varrow.ini" once, at the main window's
// first activation, and written back by "Save User Defaults".

class QButtonGroup;
class QWidget;

namespace varrow {

class TNavigator;

// Selects the stored item among the buttons (ids 0 "Broadband" and 1
// "Dialup"): a missing or unreadable value selects "Broadband", values of 2
// and more "Dialup", -1 and below none. Selecting an item runs the selector's
// own handler; with none selected the loads go one tile at a time, as with
// "Dialup", which the navigator is told here. Returns the item selected.
int LoadUserDefaults(QButtonGroup& speedButtons, TNavigator& navigator);

// Stores the selected item (-1 when none is). A failure is shown in a message
// box over parent ("Unable to write to ..."); the selection stays as it is.
// True when the file was written.
bool SaveUserDefaults(QWidget* parent, const QButtonGroup& speedButtons);

} // namespace varrow
