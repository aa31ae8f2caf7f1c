#pragma once

// The user's list of favourite positions and its file "VarrowPosList.xml".
// Failures are thrown as std::runtime_error; what() is the UTF-8 message for
// the user.

#include "tiles/TileLibrary.h"

#include <QString>

#include <functional>
#include <vector>

namespace varrow {

// In the order shown in the dialog and written to the file.
using TPosList = std::vector<TTileLocation>;

extern const char* const PosListFileName; // "VarrowPosList.xml"

// The program's one list, empty at start.
TPosList& PosList();

void AppendPosition(TPosList& list, const TTileLocation& location);
// Removes entry index (from 0); an index outside the list is ignored.
void DeletePosition(TPosList& list, int index);

// Writes the whole list through a temporary file renamed over fileName, so a
// failure leaves any previous file as it was. Returns false on failure, with
// the reason in *errorMessage when given.
bool WritePositionFile(const TPosList& list, const QString& fileName,
                       QString* errorMessage = nullptr);
// Replaces the list's content with the positions in the file. On an error the
// positions read before it stay in the list (a file that cannot be read or
// parsed leaves the list untouched).
void ReadPositionFile(TPosList& list, const QString& fileName);

// "VarrowPosList.xml" in the per-user folder, and the copy kept of a file that
// failed to load.
QString PosListPath();
QString PosListBackupPath();

// Called after LoadPositionList has read a file, also when the read failed
// part way, so the dialog can repaint its grid and row count.
void SetPosListLoadedHandler(std::function<void()> handler);

// Reads the per-user file into PosList() when it exists; returns whether it
// existed. A file that fails to load is first copied to PosListBackupPath(),
// since the save at the end of the run replaces it; the error then names the
// copy. Call once per run.
bool LoadPositionList();
// Writes PosList() to the per-user file; throws "Unable to write to ..." on
// failure. After a failed load it refuses to replace the file unless the
// backup copy is in place.
void SavePositionList();

} // namespace varrow
