#include "ExportActions.h"

#include "export/GoogleEarthAPI.h"
#include "export/KmlExport.h"
#include "workspace/MapSession.h"
#include "workspace/gui/SaveProgressDlg.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <exception>

namespace varrow {

namespace {

const char* const ExportTitle = "Export KML/KMZ file";

// The busy cursor for as long as the object lives, whichever way the scope is left.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// Where the next save dialog opens: the current folder until the first export of the run.
QString& LastExportFolder() {
    static QString folder;
    return folder;
}

} // namespace

void ExportKMLKMZfile1Click(QWidget* parent, TMapSession& session, bool placeExactly) {
    const QString folder = LastExportFolder().isEmpty() ? QDir::currentPath() : LastExportFolder();
    const QString fileName = QFileDialog::getSaveFileName(
        parent, QString(), QDir(folder).filePath(QStringLiteral("Varrow.kmz")),
        QObject::tr("kml/kmz (*.kml *.kmz);;All Files (*)"));
    if (fileName.isEmpty()) return;
    if (ExportKmz(parent, session, fileName, placeExactly))
        LastExportFolder() = QFileInfo(fileName).absolutePath();
}

bool ExportKmz(QWidget* parent, TMapSession& session, const QString& fileName,
               bool placeExactly) {
    QString failure;
    {
        const TBusyCursor busy;
        TSaveProgressDlg progress(
            parent, QObject::tr("Exporting %1 ...").arg(QFileInfo(fileName).fileName()));
        try {
            WriteKmzFile(fileName, session.Mosaic(), session.LoadedView(), placeExactly,
                         &progress.Report());
        } catch (const ESaveCancelled&) {
            return false; // the file stays as it was
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
    }
    if (failure.isEmpty()) return true;
    QMessageBox::critical(parent, QObject::tr(ExportTitle), failure);
    return false;
}

void GEBtnClick(QWidget* parent, TMapSession& session) {
    const std::unique_ptr<TApplicationGE> earth = MakeApplicationGE();
    GEBtnClick(parent, session, *earth);
}

void GEBtnClick(QWidget* parent, TMapSession& session, TApplicationGE& earth) {
    const QString title = QObject::tr("Locate In Google Earth");
    try {
        // Before the first load the loaded view is the one the program starts with, and
        // the camera goes there; its width stands in for the missing mosaic's.
        const QSize size =
            session.HasMap() ? session.Mosaic().size() : session.LoadedView().MosaicSize();
        if (LocateInGoogleEarth(earth, session.LoadedView(), size) == TLocateResult::NotInstalled)
            QMessageBox::information(parent, title, QObject::tr("Google Earth Not Installed"));
    } catch (const std::exception& e) {
        QMessageBox::critical(parent, title, QString::fromUtf8(e.what()));
    }
}

} // namespace varrow
