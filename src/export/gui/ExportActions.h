#pragma once

// The main window's "Export KML/KMZ file..." menu item and its "Locate In Google Earth"
// tool button: each a function the window calls with itself and the map session. Both
// describe the map as loaded (the mosaic and the view it shows), never the fields typed since.

#include <QString>

class QWidget;

namespace varrow {

class TApplicationGE;
class TMapSession;

// The save dialog (its own title, "Varrow.kmz" in the current folder the first time, the
// folder of the last export after that; "kml/kmz" or all files; asks before replacing a
// file), then ExportKmz with the chosen name. Cancelling does nothing.
void ExportKMLKMZfile1Click(QWidget* parent, TMapSession& session, bool placeExactly = true);
// Writes the KMZ archive under the busy cursor, the map warped to lie exactly where it
// belongs unless told otherwise; a failure is shown in a message box and the cursor is
// restored in every case. Returns whether the file was written.
bool ExportKmz(QWidget* parent, TMapSession& session, const QString& fileName,
               bool placeExactly = true);

// "Google Earth Not Installed" (an information message, nothing else) or Google Earth's
// camera onto the map; a failure to start Google Earth is shown with its reason.
void GEBtnClick(QWidget* parent, TMapSession& session);
void GEBtnClick(QWidget* parent, TMapSession& session, TApplicationGE& earth);

} // namespace varrow
