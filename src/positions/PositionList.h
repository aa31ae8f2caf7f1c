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
// parsed leaves the list untouched). Returns what of the file was left
// unread without being an error (a document that does not start with the
// list, positions beyond its Count), empty when the list holds it all.
QString ReadPositionFile(TPosList& list, const QString& fileName);

// "VarrowPosList.xml" in the per-user folder.
QString PosListPath();

// The user's list of saved positions and its file, one object for the run:
// read at the first activation of the main window, changed by the saved
// positions dialog, written back when the program ends.
class TPositionList {
public:
    explicit TPositionList(const QString& fileName = PosListPath());

    TPosList& Items() { return m_items; }
    const TPosList& Items() const { return m_items; }
    const QString& FileName() const { return m_fileName; }

    // Called after Load has read the file, also when it failed part way, so
    // that a view of the list can repaint.
    std::function<void()> OnLoaded;

    // Reads the file into the list when it exists; returns whether it existed.
    // Whenever what was read is not everything the file holds (an error, an
    // unexpected document, positions beyond its Count), the file is first
    // copied aside (BackupPath), since the save at the end of the run
    // replaces it, and a std::runtime_error tells the user so, naming the copy.
    bool Load();
    // Writes the list to the file; throws "Unable to write to ..." with the
    // reason on failure. After an incomplete load it refuses to replace the
    // file unless its copy is in place.
    void Save();

    // The copy kept of the file that failed to load ("VarrowPosList.xml.bak",
    // or ".bak1", ".bak2" ... when earlier copies are there: a kept copy is
    // never replaced). Empty when none was kept in this run.
    const QString& BackupPath() const { return m_backup; }

private:
    bool KeepBackup();

    QString m_fileName;
    TPosList m_items;
    bool m_loadIncomplete = false;
    QString m_backup;
};

} // namespace varrow
